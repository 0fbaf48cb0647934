#include "image/tile_keywords.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::image {
namespace {

tile_keywords keywords_of(const std::vector<std::string>& cards) {
  tile_keywords k;
  for (const std::string& c : cards) k.observe(c);
  return k;
}

TEST(tile_keywords, defaults_and_values) {
  const tile_keywords k = keywords_of({
      "ZIMAGE  =                    T", "ZNAXIS  =                    3", "ZNAXIS1 =                  100",
      "ZNAXIS2 =                   40", "ZTILE3  =                    2", "ZCMPTYPE= 'RICE_ONE'",
      "ZNAME1  = 'BLOCKSIZE'",          "ZVAL1   =                   16", "ZNAME2  = 'SMOOTH  '",
      "ZVAL2   =                  1.0", "ZQUANTIZ= 'SUBTRACTIVE_DITHER_2'",
  });
  EXPECT_TRUE(k.compressed_image());
  EXPECT_EQ(k.ztile_n(1), 100);  // the whole first axis
  EXPECT_EQ(k.ztile_n(2), 1);
  EXPECT_EQ(k.ztile_n(3), 2);
  EXPECT_EQ(k.algorithm(), codec::rice);
  EXPECT_EQ(k.parameter("BLOCKSIZE"), 16);
  EXPECT_EQ(k.parameter("SMOOTH"), 1);
  EXPECT_EQ(k.parameter("BYTEPIX"), std::nullopt);
  EXPECT_EQ(k.quantize_method(), quantizing::dither2);
  EXPECT_EQ(k.zdither0(), 1);
  // Without ZQUANTIZ a quantized image was not dithered.
  EXPECT_EQ(keywords_of({}).quantize_method(), quantizing::no_dither);
  EXPECT_FALSE(keywords_of({"ZIMAGE  = 'T'"}).compressed_image());
  EXPECT_TRUE(keywords_of({"ZQUANTIZ= 'DITHER_9'"}).unknown_quantize_method());
}

TEST(tile_keywords, string_values) {
  const struct {
    const char* value;
    std::optional<std::string> text;
  } cases[] = {
      {" 'GZIP_1  '  / c", "GZIP_1"}, {"'O''Neil'", "O'Neil"}, {"'  '", ""}, {"  12", std::nullopt}, {"'open", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(string_value(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace orvex::image
