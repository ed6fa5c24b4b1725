#include "core/numeric.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace stellacq {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

double numeric_value(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && is_blank(text[i])) ++i;

  // Collect the longest prefix that forms a number, then let strtod convert
  // exactly that prefix (it would otherwise accept "inf", hex and the like).
  std::string number;
  if (i < n && (text[i] == '+' || text[i] == '-')) number += text[i++];
  bool digits = false;
  while (i < n && is_digit(text[i])) {
    number += text[i++];
    digits = true;
  }
  if (i < n && text[i] == '.') {
    number += text[i++];
    while (i < n && is_digit(text[i])) {
      number += text[i++];
      digits = true;
    }
  }
  if (!digits) return 0.0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    bool exponent_digits = false;
    while (j < n && is_digit(text[j])) {
      exponent += text[j++];
      exponent_digits = true;
    }
    if (exponent_digits) number += exponent;
  }
  const double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0.0;
}

namespace {

std::string decimal_form(double value, int significant_digits, bool exponent_allowed) {
  if (std::isnan(value)) return " 0";
  if (value == 0.0) return " 0";  // also -0.0
  const char* sign = value < 0 ? "-" : " ";
  const double magnitude = std::fabs(value);

  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", significant_digits - 1, magnitude);
  // buffer: d.ddddde[+-]xx ; split mantissa digits and exponent.
  std::string text(buffer);
  const std::size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  const int exponent = std::atoi(text.c_str() + e + 1);
  std::string digits;
  for (char c : mantissa)
    if (is_digit(c)) digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string body;
  if (exponent_allowed && (exponent >= significant_digits || exponent < -significant_digits)) {
    body = digits.substr(0, 1);
    if (digits.size() > 1) body += "." + digits.substr(1);
    char exp_text[16];
    std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    body += exp_text;
  } else if (exponent < 0) {
    body = "." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t integer_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integer_digits) {
      body = digits + std::string(integer_digits - digits.size(), '0');
    } else {
      body = digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
    }
  }
  return sign + body;
}

}  // namespace

std::string decimal_text(double value, int significant_digits) {
  return decimal_form(value, significant_digits, true);
}

std::string plain_decimal_text(double value, int significant_digits) {
  return decimal_form(value, significant_digits, false);
}

std::string decimal_text_single(float value) { return decimal_text(static_cast<double>(value), 7); }

double round_half_even(double value) {
  // Spelled out rather than left to the floating-point rounding mode, so the
  // result never depends on how the process was set up.
  const double floor_value = std::floor(value);
  const double fraction = value - floor_value;
  if (fraction < 0.5) return floor_value;
  if (fraction > 0.5) return floor_value + 1.0;
  return std::fmod(floor_value, 2.0) == 0.0 ? floor_value : floor_value + 1.0;
}

double int_floor(double value) { return std::floor(value); }

std::int32_t clamp_to_int32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace stellacq
