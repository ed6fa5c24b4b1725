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
      {"  -10.06", -10.06}, {" .5", 0.5}, {"+7", 7}, {"1.5E3", 1500}, {"2e-1x", 0.2},   {"1e", 1},
      {"-100\r\n", -100},   {" --.-", 0}, {"", 0},   {"1.2.3", 1.2},  {"768 512", 768}, {"1e999", 0},
      {"0x10", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(numeric_value(c.text), c.value) << '"' << c.text << '"';
}

struct TextCase {
  double value;
  const char* text;
};

TEST(DecimalText, WritesSignPositionAndShortestForm) {
  const TextCase cases[] = {
      {5, " 5"},          {0, " 0"},
      {-0.0, " 0"},       {0.5, " .5"},
      {-0.5, "-.5"},      {-10.1, "-10.1"},
      {0.001, " .001"},   {1e20, " 1E+20"},
      {0.1 + 0.2, " .3"}, {123456789012345.0, " 123456789012345"},
  };
  for (const auto& c : cases) EXPECT_EQ(decimal_text(c.value), c.text) << c.value;
}

TEST(PlainDecimalText, NeverWritesAnExponent) {
  const TextCase cases[] = {
      {1e15, " 1000000000000000"},
      {-1e20, "-100000000000000000000"},
      {1.5e-20, " .000000000000000000015"},
      {123456789012345.0, " 123456789012345"},
      {0.5, " .5"},
      {0, " 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(plain_decimal_text(c.value), c.text) << c.value;
  EXPECT_EQ(plain_decimal_text(3e38, 7), " 300000000000000000000000000000000000000");
}

TEST(Rounding, HalfToEvenFloorAndClamp) {
  EXPECT_EQ(std::tuple(round_half_even(2.5), round_half_even(3.5), round_half_even(-2.5)),
            std::tuple(2, 4, -2));
  EXPECT_EQ(int_floor(-0.5), -1);
  EXPECT_EQ(clamp_to_int32(-3e9), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(clamp_to_int32(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace stellacq
