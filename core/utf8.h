// Well-formed UTF-8, as the network front-ends take a client's text: the
// Alpaca server checks a request's parameters, the INDI driver its texts and
// messages. Well-formed means the shortest form of a code point, no
// surrogate halves (U+D800..U+DFFF), nothing above U+10FFFF and no sequence
// cut short.
#pragma once

#include <cstddef>
#include <string>

namespace stellacq {

// Bytes of the well-formed UTF-8 character that starts at `at` (1 to 4),
// 0 when none does or `at` is past the end. An ASCII byte, a control
// character or NUL too, is a character of 1 byte.
std::size_t utf8_character_bytes(const std::string& text, std::size_t at);

// Whether all of `text` is well-formed UTF-8.
bool is_utf8(const std::string& text);

}  // namespace stellacq
