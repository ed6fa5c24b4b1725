#include "core/utf8.h"

namespace stellacq {

// The lead byte narrows the range of the next: after E0 a byte below A0 and
// after F0 one below 90 would make an overlong form, after ED one above 9F a
// surrogate, after F4 one above 8F a code point above U+10FFFF. C0, C1 and
// F5..FF lead only overlong or too large forms.
std::size_t utf8_character_bytes(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  if (at >= text.size()) return 0;
  const unsigned c = byte(at);
  if (c < 0x80) return 1;
  unsigned low = 0x80, high = 0xBF;
  std::size_t bytes = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    bytes = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    bytes = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    bytes = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t k = 2; k < bytes; ++k)
    if (byte(at + k) < 0x80 || byte(at + k) > 0xBF) return 0;
  return bytes;
}

bool is_utf8(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t bytes = utf8_character_bytes(text, at);
    if (bytes == 0) return false;
    at += bytes;
  }
  return true;
}

}  // namespace stellacq
