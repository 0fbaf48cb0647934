// The constant texts at the end of the full help: the version banner, the
// notice of rights and the contact line.
#pragma once

namespace orvex::cli {

// "orvex Version 1.11 <build date> <build time> Build: 0" and the credit.
extern const char* const Version;
// Two lines, without a final line end.
extern const char* const Copyright;
// Where reports and comments go.
extern const char* const Bugs;

}  // namespace orvex::cli
