#include "decoder/cell_format.h"

#include <system_error>

namespace orvex::decoder::format {

char* put_g(char* p, double v, std::int32_t width, std::int32_t precision) {
  if (precision < 0) precision = 6;
  if (precision == 0) precision = 1;
  // Past the longest exact expansion more precision adds no digit.
  if (precision > longest_g_text) precision = longest_g_text;
  const std::int64_t w = display_width(width);
  char* start = p;
  std::to_chars_result r = std::to_chars(p, p + longest_g_text + 32, v, std::chars_format::general, precision);
  p = r.ec == std::errc{} ? r.ptr : p;
  return pad_to(p, start, w);
}

}  // namespace orvex::decoder::format
