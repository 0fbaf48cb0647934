#include "cli/orvex_version.h"

namespace orvex::cli {

const char* const Version =
    "orvex Version 1.11 " __DATE__ " " __TIME__ " Build: 0 by the orvex developers";
const char* const Copyright =
    "Copyright (C) 2026 the orvex developers.\n"
    "This is free software: you may copy, change and pass it on.";
const char* const Bugs = "Send bug reports and comments to the orvex issue tracker.";

}  // namespace orvex::cli
