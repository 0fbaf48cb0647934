// Element texts as JSON arrays: nested by a shape, flat when the shape does
// not hold them, complex pairs, the non-finite values and negative zero as
// Python's json module reads them, strings escaped.
#include "decoder/json_text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvex::decoder {
namespace {

TEST(elements_as_json, nests_by_the_shape) {
  struct json_case {
    const char* texts;
    std::vector<std::int64_t> shape;
    int group;
    const char* json;
  };
  const json_case cases[] = {
      {"1 2 3 ", {3}, 1, "[1,2,3]"},
      {"1 2 3 4 5 6 ", {2, 3}, 1, "[[1,2,3],[4,5,6]]"},
      {"1 2 3 4 5 6 7 8 ", {2, 2, 2}, 1, "[[[1,2],[3,4]],[[5,6],[7,8]]]"},
      {"nan inf -inf -0 0 null ", {6}, 1, "[NaN,Infinity,-Infinity,-0.0,0,null]"},
      // A shape that does not hold the texts (a variable-length array).
      {"1 2 ", {3}, 1, "[1,2]"},
      {"", {}, 1, "[]"},
      {"7 ", {}, 1, "[7]"},
      // Complex elements: the real and imaginary part of each.
      {"1 2 3 -4 ", {2}, 2, "[[1,2],[3,-4]]"},
      {"1 2 3 ", {}, 2, "[1,2,3]"},
      {"\"a b\" null \"c\\\" d\" ", {3}, 1, "[\"a b\",null,\"c\\\" d\"]"},
  };
  for (const json_case& c : cases) {
    text_buffer text;
    text.append("x,");
    text.append(c.texts);
    elements_as_json(text, 2, c.shape, c.group);
    EXPECT_EQ(text.view(), std::string("x,") + c.json) << c.texts;
  }
}

TEST(put_json_string, escapes_quotes_backslashes_and_other_bytes) {
  text_buffer text;
  put_json_string(text, "say \"hi\"");
  put_json_string(text, std::string("a\\b\n\x01\xe9", 6));
  EXPECT_EQ(text.view(), "\"say \\\"hi\\\"\" \"a\\\\b\\u000a\\u0001\\u00e9\" ");
}

}  // namespace
}  // namespace orvex::decoder
