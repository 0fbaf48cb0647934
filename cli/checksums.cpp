#include "cli/checksums.h"

#include "util/failure.h"

namespace orvex::cli {

checksum_verdict check_part(const fits::stream& in, std::optional<std::uint32_t> header_sum,
                            const fits::data_span& span) {
  const fits::checksum_cards& cards = span.cards;
  if (!cards.checksum && !cards.datasum) return checksum_verdict::unchecked;
  const std::optional<std::int64_t> end = span.end();
  const std::optional<std::uint32_t> start_sum = span.start_sum ? span.start_sum : in.sum_at(span.start);
  if (!end || !header_sum || !start_sum || in.failed()) return checksum_verdict::unchecked;

  // The running sum after the padding, or the sums it would have with the
  // missing padding of either kind.
  std::optional<std::uint32_t> ends[2] = {in.sum_at(*end), std::nullopt};
  if (!ends[0]) {
    const std::int64_t got = in.delivered();
    if (!in.ended() || got < span.start + *span.size || got > *end) return checksum_verdict::unchecked;
    ends[0] = in.sum_at(got);
    fits::running_sum blanks;
    blanks.add_repeated(got, ' ', *end - got);
    ends[1] = static_cast<std::uint32_t>((std::uint64_t{*ends[0]} + blanks.residue()) % fits::ones_modulus);
  }

  const auto any = [&](auto matches) {
    for (const std::optional<std::uint32_t>& e : ends) {
      if (e && matches(*e)) return true;
    }
    return false;
  };
  if (cards.datasum && !any([&](std::uint32_t e) {
        return fits::sum_between(*start_sum, e) == *cards.datasum % fits::ones_modulus;
      })) {
    return checksum_verdict::data_damaged;
  }
  // A CHECKSUM makes the part's sum all ones: the residue 0.
  if (cards.checksum && !any([&](std::uint32_t e) { return fits::sum_between(*header_sum, e) == 0; })) {
    return checksum_verdict::header_changed;
  }
  return checksum_verdict::intact;
}

void report_checksums(checksum_verdict verdict) {
  if (verdict == checksum_verdict::data_damaged) {
    failure::report_in_part("DATASUM does not match the data: the data unit is damaged");
  } else if (verdict == checksum_verdict::header_changed) {
    failure::note_in_part("CHECKSUM does not match: the header was changed after the checksum was written");
  }
}

}  // namespace orvex::cli
