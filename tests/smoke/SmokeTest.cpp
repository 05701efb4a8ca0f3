#include <gtest/gtest.h>
#include "Platform.h"
TEST(Smoke, ErrorCodesHaveWin32Values) {
  EXPECT_EQ(1392, ERROR_FILE_CORRUPT);
  EXPECT_EQ(2000, ERROR_INVALID_PIXEL_FORMAT);
}
