// One gzip member's inflater, header to trailer: zlib's or ISA-L's behind
// one face, so that the gzip source frames members the same way for both
// and can hand a damaged member from one to the other.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace orvex::fits {

class member_inflater {
 public:
  enum class outcome { more, member_end, fault };
  struct step_result {
    std::size_t used = 0;  // input bytes consumed
    std::size_t made = 0;  // output bytes written
    outcome how = outcome::more;
  };

  virtual ~member_inflater() = default;
  // Gets ready for a member whose first byte (1f) comes next.
  virtual void start() = 0;
  // Inflates from `in` into `out` until either is used up, the member's
  // trailer has been checked (member_end) or the data is bad (fault).
  virtual step_result step(const unsigned char* in, std::size_t in_n, unsigned char* out, std::size_t out_n) = 0;
  // After a fault: zlib's reason, or the nearest zlib reason for ISA-L's.
  virtual std::string reason() const = 0;
};

std::unique_ptr<member_inflater> zlib_inflater();
// Null when the build has no ISA-L.
std::unique_ptr<member_inflater> isal_inflater();

}  // namespace orvex::fits
