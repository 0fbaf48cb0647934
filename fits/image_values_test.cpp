// BSCALE, BZERO and BLANK of an image header, read by the FITS rules, and
// the XTENSION value that makes an extension an image.
#include "fits/image_values.h"

#include <gtest/gtest.h>

namespace orvex::fits {
namespace {

TEST(image_values, the_last_readable_card_counts) {
  image_values v;
  EXPECT_EQ(v.bscale(), 1.0);
  EXPECT_EQ(v.bzero(), 0.0);
  EXPECT_EQ(v.blank(), std::nullopt);
  for (const char* card : {"BSCALE  =                  0.5", "BZERO   =               32768.", "BLANK   =          -32768",
                           "BSCALE  = 'two'", "BZERO=7", "BLANK   =                 1.5", "BSCALE1 =  9"}) {
    v.observe(card);
  }
  EXPECT_EQ(v.bscale(), 0.5);
  EXPECT_EQ(v.bzero(), 32768.0);
  EXPECT_EQ(v.blank(), -32768);
}

TEST(image_values, an_image_extension_is_named_IMAGE) {
  for (const char* card : {"XTENSION= 'IMAGE   '           / image", "XTENSION=   'IMAGE'", "XTENSION='IMAGE'"}) {
    EXPECT_TRUE(is_image_extension(card)) << card;
  }
  for (const char* card : {"XTENSION= 'BINTABLE'", "XTENSION= 'IMAGES  '", "XTENSION= ' IMAGE'", "XTENSION= 'IMAGE",
                           "XTENSION= IMAGE", "SIMPLE  = 'IMAGE'", ""}) {
    EXPECT_FALSE(is_image_extension(card)) << card;
  }
}

}  // namespace
}  // namespace orvex::fits
