// Number <-> text conversions shared by every subsystem.
//
// The program reads every number the user types and every number the
// control unit replies with the same lenient rule, and writes the numbers it
// shows (rewritten fields, menu captions, the INI file) in one form with a
// sign position: a blank for zero and positive values, "-" for negative ones.
// The leading blank matters: it ends up inside commands sent to the unit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stellacq {

// Lenient numeric value of a text: leading blanks are skipped, then an
// optional sign, digits with at most one decimal point and an optional
// exponent ("1.5E3") are read; reading stops at the first character that
// cannot continue the number. A text without a number gives 0.
double numeric_value(std::string_view text);

// Decimal text with a sign position: shortest form with up to
// `significant_digits` significant digits, no trailing zeros, no zero before
// the point of a value between -1 and 1. 5 -> " 5", 0.5 -> " .5",
// -10 -> "-10", 0 -> " 0". Values too large or too small for plain notation
// use an exponent (" 1E+20").
std::string decimal_text(double value, int significant_digits = 15);

// The same, but always in plain notation, however large or small the value
// (1E+15 -> " 1000000000000000", 1E-20 -> " .00000000000000000001"): the
// settings file holds no exponents.
std::string plain_decimal_text(double value, int significant_digits = 15);

// The same for single-precision values (7 significant digits).
std::string decimal_text_single(float value);

// Rounds to the nearest integer, ties to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2).
double round_half_even(double value);

// Int of the number conventions: rounds towards minus infinity.
double int_floor(double value);

// Converts to a signed 32-bit value, clamping values outside its range and
// mapping NaN to 0. Used wherever a double result is stored as a count.
std::int32_t clamp_to_int32(double value);

}  // namespace stellacq
