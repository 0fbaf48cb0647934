#include "decoder/cell_format.h"

#include <system_error>

namespace orvex::decoder::format {
char* put_g(char* p, char* limit, double v, std::int32_t width, std::int32_t precision) {
  if (precision < 0) precision = 6;
  if (precision == 0) precision = 1;
  // Past the longest exact expansion more precision adds no digit.
  if (precision > longest_g_text) precision = longest_g_text;
  std::int64_t w = width < 0 ? -std::int64_t{width} : width;
  char* start = p;
  char text[longest_g_text + 32];
  std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, precision);
  if (r.ec != std::errc{}) r.ptr = text;
  p = put_text(p, limit, text, static_cast<std::size_t>(r.ptr - text));
  return pad_to(p, limit, start, w);
}

}  // namespace orvex::decoder::format
