// Random groups under --full: a primary unit with GROUPS = T and NAXIS1 = 0
// (the form of interferometry's UVFITS files) holds GCOUNT groups, each
// PCOUNT parameters followed by NAXIS2 x ... x NAXISm data values, all of
// type BITPIX. Each group is written as one line: its parameters, each
// scaled by its PSCALn and PZEROn, then its data values scaled by BSCALE
// and BZERO (BLANK written "nan"), through the image-line formatter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fits/data_unit.h"
#include "fits/image_values.h"
#include "fits/stream.h"
#include "util/output_file.h"

namespace orvex::image {

// The cards of random groups beside the data-unit collector's: GROUPS and
// each parameter's PTYPEn, PSCALn and PZEROn. An observer of every card of
// the primary header, as fits/image_values.h is.
class group_keywords {
 public:
  void observe(std::string_view card);
  bool groups() const { return groups_; }
  // Parameter n (from 1): its name ("" without PTYPEn), scale (1) and zero (0).
  std::string name(std::int64_t n) const;
  double scale(std::int64_t n) const;
  double zero(std::int64_t n) const;

 private:
  struct parameter {
    std::string name;
    double scale = 1.0;
    double zero = 0.0;
  };
  parameter& at(std::int64_t n);
  const parameter* find(std::int64_t n) const;
  bool groups_ = false;
  std::vector<parameter> parameters_;  // [n - 1], as far as cards name them
};

// Whether the primary unit described by `unit` and `keywords` is random
// groups that can be written: GROUPS = T, NAXIS1 = 0, a FITS BITPIX, and
// the other axes, PCOUNT and GCOUNT at least 0.
bool writable_groups(const fits::data_unit& unit, const group_keywords& keywords);

// Writes the groups from `in` (at the first data byte) into `file` (when
// not null) with the progress figures, counted in groups. A stream that
// ends inside the groups keeps the groups that arrived whole and is
// reported as a cut image for a written part.
void write_groups(fits::stream& in, util::output_file* file, const fits::data_unit& unit,
                  const fits::image_values& values, const group_keywords& keywords);

}  // namespace orvex::image
