#include "decoder/image_lines.h"

#include <string>

#include "decoder/row_format.h"
#include "decoder/row_output.h"
#include "util/failure.h"
#include "util/saturating.h"

namespace orvex::decoder {

image_layout layout_of(const fits::data_unit& unit, const fits::image_values& values) {
  image_layout image;
  const std::optional<std::int64_t> axes = unit.axis_count();
  const std::optional<std::int64_t> bitpix = unit.bitpix();
  if (!axes || *axes < 1 || !bitpix) return image;
  image.bitpix = *bitpix;
  if (!known_bitpix(*bitpix)) {
    image.what = image_layout::kind::unknown_bitpix;
    return image;
  }
  // More axes than FITS allows, or an axis without its card, or one that
  // holds no pixel: nothing to write.
  if (*axes > fits::max_axes) return image;
  std::int64_t lines = 1;
  for (int n = 1; n <= *axes; ++n) {
    const std::optional<std::int64_t> length = unit.axis(n);
    if (!length || *length < 1) return image;
    if (n == 1) continue;
    lines = util::saturated_product(lines, *length);
  }
  image.what = image_layout::kind::image;
  image.per_line = *unit.axis(1);
  image.lines = lines;
  image.pixels = pixel_rules(static_cast<int>(*bitpix), values.bscale(), values.bzero(), values.blank());
  return image;
}

void write_image(fits::stream& in, util::output_file* file, const image_layout& image) {
  if (image.what == image_layout::kind::unknown_bitpix) {
    if (file != nullptr) {
      failure::report_in_part("BITPIX = " + std::to_string(image.bitpix) +
                              " is not a FITS pixel type: the image is not written");
    }
    return;
  }
  if (image.what != image_layout::kind::image) return;
  row_formatter f = row_formatter::image_lines(image.pixels, image.per_line, settings_text_form());
  f.choose(choose_rows(rows_of::image, nullptr));
  const std::int64_t done = write_rows(in, file, image.lines, f);
  print_progress(done, image.lines, '\n');
}

void note_image_left_out(const image_layout& image, const fits::data_unit& unit) {
  if (image.what != image_layout::kind::image) return;
  failure::note_in_part("an image of BITPIX " + std::to_string(image.bitpix) + " and NAXIS " +
                        std::to_string(unit.axis_count().value_or(0)) + " is written only with --full");
}

}  // namespace orvex::decoder
