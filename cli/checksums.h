// The checks of a part's CHECKSUM and DATASUM cards against the bytes that
// the stream delivered (fits/checksum.h), made once the stream has passed
// the part's end: when the next part's first card has been read, or at the
// end of the input.
#pragma once

#include <cstdint>
#include <optional>

#include "fits/data_unit.h"
#include "fits/stream.h"

namespace orvex::cli {

enum class checksum_verdict {
  // No card to check, or nothing to check them against: a header or data
  // unit cut by the end of the stream (reported as a cut), a read error, a
  // part that does not begin on a block boundary, sums passed too long ago.
  unchecked,
  intact,
  // The data unit's sum differs from DATASUM.
  data_damaged,
  // The data are intact, or carry no DATASUM, but the whole part does not
  // sum to all ones.
  header_changed,
};

// The verdict on the part whose header began at the stream's running sum
// `header_sum` and whose data unit is `span`. A stream that ended after
// the data but before the end of their padding is checked with the
// missing padding taken as zeros or as blanks (ASCII tables pad with
// blanks), either of which may match.
checksum_verdict check_part(const fits::stream& in, std::optional<std::uint32_t> header_sum,
                            const fits::data_span& span);

// Reports the verdict for the current part (failure::set_position): a
// damaged data unit as a failure, a changed header as a note, which leaves
// the exit status as it is.
void report_checksums(checksum_verdict verdict);

}  // namespace orvex::cli
