#include "image/hcompress.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <vector>

#include "image/bit_reader.h"
#include "image/h_transform.h"

namespace orvex::image {

namespace {

constexpr const char* cut_stream = "the compressed bytes end before the tile is full";
constexpr std::size_t header_size = 2 + 4 + 4 + 4 + 8 + 3;
constexpr int direct_plane = 0x0;
constexpr int quadtree_plane = 0xf;

std::int64_t be_at(const std::uint8_t* p, int size) {
  std::uint64_t v = 0;
  for (int i = 0; i < size; ++i) v = v << 8 | p[i];
  if (size == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return static_cast<std::int64_t>(v);
}

// One quadtree node: which of its four children hold a one, bits 8, 4, 2,
// 1 for the children at (row, column) (0,0), (0,1), (1,0), (1,1). The
// prefix code gives the common one-child nodes 3 bits.
bool read_node(bit_reader& bits, std::uint8_t& node) {
  std::uint32_t code, bit;
  if (!bits.read(3, code)) return false;
  if (code < 4) {
    node = static_cast<std::uint8_t>(1u << code);
    return true;
  }
  if (!bits.read(1, bit)) return false;
  code = code << 1 | bit;
  constexpr std::uint8_t four_bits[] = {3, 5, 10, 12, 15};  // codes 8 to 12
  if (code < 13) {
    node = four_bits[code - 8];
    return true;
  }
  if (!bits.read(1, bit)) return false;
  code = code << 1 | bit;
  constexpr std::uint8_t five_bits[] = {6, 7, 9, 11, 13};  // codes 26 to 30
  if (code < 31) {
    node = five_bits[code - 26];
    return true;
  }
  if (!bits.read(1, bit)) return false;
  node = (code << 1 | bit) == 62 ? 0 : 14;
  return true;
}

// Spreads the nodes of a grid of ((rows + 1) / 2) x ((cols + 1) / 2) (held
// at the start of `g`, rows of (cols + 1) / 2) over the rows x cols grid
// of their children (rows of `cols`), each child 1 or 0. In place: the
// nodes move to their first child's place from the end backwards, where
// no node not yet moved can be overwritten.
void spread_nodes(std::uint8_t* g, std::size_t rows, std::size_t cols) {
  const std::size_t node_rows = (rows + 1) / 2, node_cols = (cols + 1) / 2;
  for (std::size_t r = node_rows; r-- > 0;)
    for (std::size_t c = node_cols; c-- > 0;) g[2 * (r * cols + c)] = g[r * node_cols + c];
  for (std::size_t r = 0; r < rows; r += 2) {
    for (std::size_t c = 0; c < cols; c += 2) {
      const std::size_t s00 = r * cols + c;
      const std::uint8_t node = g[s00];
      g[s00] = node >> 3 & 1;
      if (c + 1 < cols) g[s00 + 1] = node >> 2 & 1;
      if (r + 1 < rows) g[s00 + cols] = node >> 1 & 1;
      if (r + 1 < rows && c + 1 < cols) g[s00 + cols + 1] = node & 1;
    }
  }
}

// Ors bit plane `bit` of a rows x cols quarter (rows of `stride` in `a`)
// from its nodes (rows of (cols + 1) / 2 in `nodes`), one node per 2 x 2.
void insert_plane(const std::uint8_t* nodes, std::size_t rows, std::size_t cols, std::int64_t* a,
                  std::size_t stride, int bit) {
  const auto put = [&](std::size_t at, unsigned one) {
    a[at] = static_cast<std::int64_t>(static_cast<std::uint64_t>(a[at]) | std::uint64_t{one} << bit);
  };
  for (std::size_t r = 0; r < rows; r += 2) {
    for (std::size_t c = 0; c < cols; c += 2) {
      const std::uint8_t node = *nodes++;
      const std::size_t s00 = r * stride + c;
      put(s00, node >> 3 & 1);
      if (c + 1 < cols) put(s00 + 1, node >> 2 & 1);
      if (r + 1 < rows) put(s00 + stride, node >> 1 & 1);
      if (r + 1 < rows && c + 1 < cols) put(s00 + stride + 1, node & 1);
    }
  }
}

// The bit planes of one rows x cols quarter, top plane first. `nodes` has
// room for the largest grid of nodes the quarter's tree can have.
const char* read_quarter(bit_reader& bits, std::int64_t* a, std::size_t stride, std::size_t rows,
                         std::size_t cols, int planes, std::vector<std::uint8_t>& nodes) {
  const std::size_t larger = std::max(rows, cols);
  const int levels = larger <= 1 ? 0 : std::bit_width(larger - 1);
  const std::size_t node_count = ((rows + 1) / 2) * ((cols + 1) / 2);
  for (int bit = planes - 1; bit >= 0; --bit) {
    std::uint32_t kind;
    if (!bits.read(4, kind)) return cut_stream;
    if (kind == direct_plane) {
      for (std::size_t i = 0; i < node_count; ++i) {
        std::uint32_t node;
        if (!bits.read(4, node)) return cut_stream;
        nodes[i] = static_cast<std::uint8_t>(node);
      }
    } else if (kind == quadtree_plane) {
      if (!read_node(bits, nodes[0])) return cut_stream;
      // Grow the tree a level at a time: each side of a level is half the
      // next one's, rounded up, down from the quarter's own.
      std::size_t grid_rows = 1, grid_cols = 1, rows_left = rows, cols_left = cols;
      std::size_t step = std::size_t{1} << levels;
      for (int level = 1; level < levels; ++level) {
        step >>= 1;
        grid_rows <<= 1;
        grid_cols <<= 1;
        if (rows_left <= step) --grid_rows; else rows_left -= step;
        if (cols_left <= step) --grid_cols; else cols_left -= step;
        if (grid_rows * grid_cols > nodes.size()) return "an H-compress quadtree is larger than its quarter";
        spread_nodes(nodes.data(), grid_rows, grid_cols);
        // The encoder wrote each level's nodes last to first.
        for (std::size_t i = grid_rows * grid_cols; i-- > 0;)
          if (nodes[i] != 0 && !read_node(bits, nodes[i])) return cut_stream;
      }
    } else {
      return "an H-compress bit plane has an unknown code";
    }
    insert_plane(nodes.data(), rows, cols, a, stride, bit);
  }
  return nullptr;
}

}  // namespace

const char* hcompress_decode(std::span<const std::uint8_t> in, int width, int height, int smooth,
                             std::span<std::int64_t> out) {
  if (width <= 0 || height <= 0 ||
      out.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return "the H-compress tile has no pixels or a size other than its pixel count";
  if (in.size() < header_size) return cut_stream;
  if (in[0] != 0xdd || in[1] != 0x99) return "the H-compress stream does not start with DD 99";
  if (be_at(&in[2], 4) != height || be_at(&in[6], 4) != width)
    return "the H-compress stream's size is not the tile's";
  const std::int64_t scale = be_at(&in[10], 4);
  const std::int64_t sum = be_at(&in[14], 8);
  const int planes[3] = {in[22], in[23], in[24]};
  for (int p : planes)
    if (p > 64) return "an H-compress bit-plane count is above 64";

  const auto nx = static_cast<std::size_t>(height), ny = static_cast<std::size_t>(width);
  const std::size_t nx2 = (nx + 1) / 2, ny2 = (ny + 1) / 2;
  std::int64_t* const a = out.data();
  std::fill(out.begin(), out.end(), 0);
  std::vector<std::uint8_t> nodes(((nx2 + 1) / 2) * ((ny2 + 1) / 2));

  bit_reader bits(in.subspan(header_size));
  struct quarter {
    std::size_t offset, rows, cols;
    int planes;
  };
  const quarter quarters[] = {
      {0, nx2, ny2, planes[0]},
      {ny2, nx2, ny / 2, planes[1]},
      {ny * nx2, nx / 2, ny2, planes[1]},
      {ny * nx2 + ny2, nx / 2, ny / 2, planes[2]},
  };
  // A quarter of no pixels (a block one pixel wide or high) still has
  // its planes in the stream when it shares their count with the other
  // difference quarter; reading them inserts nothing.
  for (const quarter& q : quarters) {
    if (const char* why = read_quarter(bits, a + q.offset, ny, q.rows, q.cols, q.planes, nodes)) return why;
  }
  std::uint32_t end_code;
  if (!bits.read(4, end_code)) return cut_stream;
  if (end_code != 0) return "the H-compress bit planes do not end where they should";

  bits.align();
  for (std::int64_t& v : out) {
    if (v == 0) continue;
    std::uint32_t negative;
    if (!bits.read(1, negative)) return cut_stream;
    if (negative) v = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(v));
  }
  a[0] = sum;
  if (scale > 1)
    for (std::int64_t& v : out) v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) * static_cast<std::uint64_t>(scale));
  h_inverse(out, nx, ny, smooth != 0, scale);
  return nullptr;
}

}  // namespace orvex::image
