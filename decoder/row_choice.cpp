#include "decoder/row_choice.h"

#include <utility>

namespace orvex::decoder {
namespace {

row_choice_maker& installed() {
  static row_choice_maker maker;
  return maker;
}

}  // namespace

void set_row_choice_maker(row_choice_maker maker) { installed() = std::move(maker); }

std::shared_ptr<const row_choice> choose_rows(rows_of kind, const extension_header* h) {
  return installed() ? installed()(kind, h) : nullptr;
}

}  // namespace orvex::decoder
