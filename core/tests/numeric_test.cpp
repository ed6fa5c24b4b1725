#include "core/numeric.h"

#include <gtest/gtest.h>

#include <limits>

namespace stellacq {
namespace {

struct ValueCase {
  const char* text;
  double value;
};

TEST(NumericValue, ReadsTheLongestLeadingNumber) {
  const ValueCase cases[] = {
      {"30", 30},        {"  -10.06", -10.06}, {" .5", 0.5},     {"-.5", -0.5},
      {"+7", 7},         {"1.5E3", 1500},      {"2e-1x", 0.2},   {"1e", 1},
      {"12abc", 12},     {"-100\r\n", -100},   {" --.-", 0},     {"", 0},
      {"abc", 0},        {".", 0},             {"-", 0},         {"1.2.3", 1.2},
      {"768 512", 768},  {"\t42", 42},         {"1e999", 0},     {"0x10", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(numeric_value(c.text), c.value) << '"' << c.text << '"';
}

struct TextCase {
  double value;
  const char* text;
};

TEST(DecimalText, WritesSignPositionAndShortestForm) {
  const TextCase cases[] = {
      {5, " 5"},        {0, " 0"},          {-0.0, " 0"},       {0.5, " .5"},
      {-0.5, "-.5"},    {-10, "-10"},       {-10.1, "-10.1"},   {2.3, " 2.3"},
      {25.3, " 25.3"},  {0.001, " .001"},   {1536, " 1536"},    {-100, "-100"},
      {123456789012345.0, " 123456789012345"},
      {1e20, " 1E+20"}, {0.1 + 0.2, " .3"},
  };
  for (const auto& c : cases) EXPECT_EQ(decimal_text(c.value), c.text) << c.value;
}

TEST(DecimalText, SinglePrecisionKeepsSevenDigits) {
  EXPECT_EQ(decimal_text_single(0.1f), " .1");
  EXPECT_EQ(decimal_text_single(1.5f), " 1.5");
  EXPECT_EQ(decimal_text_single(-3.25f), "-3.25");
}

TEST(DecimalText, RoundTripsThroughNumericValue) {
  for (double v : {0.5, -1.0, 3.14159, -10.06, 65535.0, 1e-5, 0.3333333333})
    EXPECT_DOUBLE_EQ(numeric_value(decimal_text(v)), v) << v;
}

TEST(Rounding, HalfToEvenAndFloor) {
  EXPECT_EQ(round_half_even(2.5), 2);
  EXPECT_EQ(round_half_even(3.5), 4);
  EXPECT_EQ(round_half_even(-2.5), -2);
  EXPECT_EQ(round_half_even(-3.5), -4);
  EXPECT_EQ(round_half_even(1333.3333), 1333);
  EXPECT_EQ(round_half_even(-0.4), 0);
  EXPECT_EQ(int_floor(-0.5), -1);
  EXPECT_EQ(int_floor(1.9), 1);
}

TEST(Rounding, ClampToInt32) {
  EXPECT_EQ(clamp_to_int32(3e9), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(clamp_to_int32(-3e9), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(clamp_to_int32(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(clamp_to_int32(-7.0), -7);
}

}  // namespace
}  // namespace stellacq
