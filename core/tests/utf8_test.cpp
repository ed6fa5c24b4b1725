#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace stellacq {
namespace {

struct CharacterCase {
  std::string text;
  std::size_t bytes;  // of the character at 0, 0 = none
};

TEST(Utf8, TakesShortestFormsUpToU10FFFFAndNoSurrogates) {
  using namespace std::string_literals;
  const CharacterCase cases[] = {
      // ASCII, control characters and NUL too.
      {"A", 1},
      {"\0"s, 1},
      {"\x01", 1},
      {"\x7F", 1},
      // Two bytes: U+0080, U+07FF; C0 and C1 lead overlong forms.
      {"\xC2\x80", 2},
      {"\xDF\xBF", 2},
      {"\xC0\x80", 0},
      {"\xC1\xBF", 0},
      // Three bytes: U+0800, U+D7FF, U+E000, U+FFFF; overlong U+07FF; the
      // surrogates U+D800 and U+DFFF.
      {"\xE0\xA0\x80", 3},
      {"\xED\x9F\xBF", 3},
      {"\xEE\x80\x80", 3},
      {"\xEF\xBF\xBF", 3},
      {"\xE0\x9F\xBF", 0},
      {"\xED\xA0\x80", 0},
      {"\xED\xBF\xBF", 0},
      // Four bytes: U+10000, U+10FFFF; overlong U+FFFF; U+110000 and above.
      {"\xF0\x90\x80\x80", 4},
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xF0\x8F\xBF\xBF", 0},
      {"\xF4\x90\x80\x80", 0},
      {"\xF5\x80\x80\x80", 0},
      {"\xFF", 0},
      // Cut short, at the end or by a byte that does not continue it; a
      // continuation byte alone.
      {"\xC3", 0},
      {"\xE2\x82", 0},
      {"\xF0\x9F\x98", 0},
      {"\xE2\x82\x41", 0},
      {"\xF0\x9F\x98\0"s, 0},
      {"\xC3\xC3\xA9", 0},
      {"\x80", 0},
      {"\xBF\xBF", 0},
  };
  for (const auto& c : cases) {
    std::string hex;
    for (const unsigned char b : c.text) {
      char two[4];
      std::snprintf(two, sizeof two, "%02X ", b);
      hex += two;
    }
    EXPECT_EQ(utf8_character_bytes(c.text, 0), c.bytes) << hex;
    // The same character further on, and a whole text of it.
    EXPECT_EQ(utf8_character_bytes("ab" + c.text, 2), c.bytes) << hex;
    EXPECT_EQ(is_utf8("x" + c.text + "y"), c.bytes == c.text.size()) << hex;
  }
  EXPECT_EQ(utf8_character_bytes("ab", 2), 0u);  // past the end
  EXPECT_TRUE(is_utf8(""));
  EXPECT_TRUE(is_utf8("h\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"));  // U+00E9, U+20AC, U+1D11E
  EXPECT_FALSE(is_utf8("h\xC3\xA9 \xE2\x82"));
}

}  // namespace
}  // namespace stellacq
