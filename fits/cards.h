// FITS header cards: 80-character records "KEYWORD = value / comment".
//
// Helpers shared by the header builders, the writer and the reader. A key is
// columns 1-8 (blank padded); a fixed-format value ends in column 30; the
// reader takes the number in columns 10-30.
#pragma once

#include <string>
#include <string_view>

#include "fits/header_tables.h"

namespace stellacq {

inline constexpr int kCardLength = 80;
inline constexpr int kBlockLength = 2880;  // one FITS record: 36 cards
inline constexpr int kCardsPerBlock = 36;

// The text padded with blanks (or cut) to exactly 80 characters.
std::string card_text(std::string_view text);

// "KEY     =" followed by `value` right-aligned to end in column 30, then
// `comment` (which starts in column 31), padded to 80.
std::string value_card(std::string_view key, std::string_view value, std::string_view comment = {});

// The same with a whole number as value ("NAXIS1  =                 1536").
std::string integer_card(std::string_view key, long long value);

// Columns 1-8 of a card (shorter cards are blank padded).
std::string card_key(std::string_view card);

// The numeric value of columns 10-30, 0 when there is none.
double card_number(std::string_view card);

// The END card: "END" and five blanks as its key.
bool is_end_card(std::string_view card);

// The number text of EXPTIME and TEMPERAT: decimal text with a sign
// position, shortened to fewer significant digits where needed so that it
// fits the 21 columns before column 31.
std::string fixed_number_text(double value);

inline const std::string kLegacyComment = "COMMENT File created by the ASTRIDE software from T.Arven";

}  // namespace stellacq
