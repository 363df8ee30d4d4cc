#include "text/read_number.h"

#include <gtest/gtest.h>

#include "trace_capture.h"

namespace kwl {
namespace {

TEST(ReadNumber, FindsTheNextNumberWithItsSign) {
  testing::TracedRun page;
  double value = 1;
  EXPECT_EQ(ReadNumber(page.proc, "x-12.5y", &value), 6u);
  EXPECT_DOUBLE_EQ(value, -12.5);
  EXPECT_EQ(page.TakeTrace(), "Value -12 found !\n");
  EXPECT_EQ(ReadNumber(page.proc, "  .5,", &value), 4u);
  EXPECT_DOUBLE_EQ(value, 0.5);
  // A minus that does not touch the number does not count.
  ReadNumber(page.proc, "- 3", &value);
  EXPECT_DOUBLE_EQ(value, 3);
  // Reading on from a position.
  EXPECT_EQ(ReadNumber(page.proc, "10-20", &value, 2), 5u);
  EXPECT_DOUBLE_EQ(value, -20);
}

TEST(ReadNumber, NoNumberAndLongNumbers) {
  testing::TracedRun page;
  double value = 7;
  EXPECT_EQ(ReadNumber(page.proc, "abc", &value), 3u);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(page.TakeTrace(), "Value not found !\n");
  // A run longer than fifteen characters is read whole.
  EXPECT_EQ(ReadNumber(page.proc, "12345678901234567890 5", &value), 20u);
  EXPECT_DOUBLE_EQ(value, 12345678901234567890.0);
  EXPECT_EQ(page.TakeTrace(), "Value 2147483647 found !\n");
  EXPECT_EQ(ReadNumber(page.proc, "1.2.3", &value), 5u);
  EXPECT_DOUBLE_EQ(value, 1.2);
  EXPECT_EQ(ReadNumber(page.proc, "1.2.3", &value, 0, NumberRun::kOnePoint), 3u);
  EXPECT_EQ(ReadNumber(page.proc, "1.2.3", &value, 3, NumberRun::kOnePoint), 5u);
  EXPECT_DOUBLE_EQ(value, 0.3);
}

}  // namespace
}  // namespace kwl
