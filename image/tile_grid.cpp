#include "image/tile_grid.h"

#include "util/saturating.h"

namespace orvex::image {

using util::saturated_product;

tile_grid::tile_grid(std::vector<std::int64_t> axes, std::vector<std::int64_t> tiles)
    : axes_(std::move(axes)), tiles_(std::move(tiles)) {
  if (axes_.size() < 2) {
    axes_.resize(2, 1);
    tiles_.resize(2, 1);
  }
  const std::size_t n = axes_.size();
  counts_.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    if (tiles_[k] > axes_[k]) tiles_[k] = axes_[k];
    // A ceiling division that cannot overflow.
    counts_[k] = axes_[k] / tiles_[k] + (axes_[k] % tiles_[k] != 0 ? 1 : 0);
    tile_count_ = saturated_product(tile_count_, counts_[k]);
    if (k >= 1) lines_ = saturated_product(lines_, axes_[k]);
  }
  for (std::size_t k = n; k-- > 1;) {
    if (tiles_[k] > 1) {
      band_axis_ = static_cast<int>(k);
      break;
    }
  }
  const auto m = static_cast<std::size_t>(band_axis_);
  strides_.resize(m + 1);
  std::int64_t stride = 1;
  for (std::size_t k = 0; k <= m; ++k) {
    strides_[k] = stride;
    stride = saturated_product(stride, axes_[k]);
    if (k < m) band_tiles_ = saturated_product(band_tiles_, counts_[k]);
    if (k >= 1 && k < m) unit_lines_ = saturated_product(unit_lines_, axes_[k]);
  }
  band_count_ = counts_[m];
  for (std::size_t k = m + 1; k < n; ++k) band_count_ = saturated_product(band_count_, axes_[k]);
}

std::int64_t tile_grid::band_first_line(std::int64_t b) const {
  const auto m = static_cast<std::size_t>(band_axis_);
  const std::int64_t along = b % counts_[m];
  const std::int64_t above = b / counts_[m];
  // Lines before the band: whole blocks of the axes above, then the tiles
  // before it along the band axis.
  const std::int64_t steps = saturated_product(above, axes_[m]) + along * tiles_[m];
  return saturated_product(steps, unit_lines_);
}

std::int64_t tile_grid::band_lines(std::int64_t b) const {
  const auto m = static_cast<std::size_t>(band_axis_);
  const std::int64_t along = b % counts_[m];
  const std::int64_t left = axes_[m] - along * tiles_[m];
  return saturated_product(left < tiles_[m] ? left : tiles_[m], unit_lines_);
}

void tile_grid::place(std::int64_t b, std::int64_t i, tile_place& t) const {
  const std::size_t n = axes_.size();
  const auto m = static_cast<std::size_t>(band_axis_);
  t.start.assign(n, 0);
  t.extent.assign(n, 1);
  // The tile's indices: axes before the band axis from i, the band axis
  // and the axes above it from b.
  std::int64_t index_number = 0;  // the tile's number - 1, built from the last axis down
  std::vector<std::int64_t>& start = t.start;
  std::int64_t rest = i;
  for (std::size_t k = 0; k < m; ++k) {
    const std::int64_t index = rest % counts_[k];
    rest /= counts_[k];
    start[k] = index * tiles_[k];
    const std::int64_t left = axes_[k] - start[k];
    t.extent[k] = left < tiles_[k] ? left : tiles_[k];
  }
  const std::int64_t along = b % counts_[m];
  std::int64_t above = b / counts_[m];
  {
    const std::int64_t left = axes_[m] - along * tiles_[m];
    t.extent[m] = left < tiles_[m] ? left : tiles_[m];
    start[m] = 0;
  }
  // The number: the index along each axis, the first fastest (the axes
  // above the band axis have tiles of one pixel).
  std::int64_t scale = 1;
  for (std::size_t k = 0; k < n; ++k) {
    std::int64_t index = along;
    if (k < m) {
      index = start[k] / tiles_[k];
    } else if (k > m) {
      index = above % axes_[k];
      above /= axes_[k];
    }
    index_number = util::saturated_sum(index_number, saturated_product(index, scale));
    scale = saturated_product(scale, counts_[k]);
  }
  t.number = index_number + 1;
  t.width = t.extent[0];
  t.height = t.extent[1];
  t.pixels = 1;
  for (std::size_t k = 0; k < n; ++k) t.pixels = saturated_product(t.pixels, t.extent[k]);
}

}  // namespace orvex::image
