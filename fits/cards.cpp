#include "fits/cards.h"

#include <string>

#include "core/numeric.h"

namespace stellacq {

std::string card_text(std::string_view text) {
  std::string card(text.substr(0, kCardLength));
  card.resize(kCardLength, ' ');
  return card;
}

std::string value_card(std::string_view key, std::string_view value, std::string_view comment) {
  std::string card(key.substr(0, 8));
  card.resize(8, ' ');
  card += '=';
  const std::size_t value_width = 21;  // columns 10..30
  if (value.size() < value_width) card.append(value_width - value.size(), ' ');
  card += value;
  card += comment;
  return card_text(card);
}

std::string integer_card(std::string_view key, long long value) {
  return value_card(key, std::to_string(value));
}

std::string card_key(std::string_view card) {
  std::string key(card.substr(0, 8));
  key.resize(8, ' ');
  return key;
}

double card_number(std::string_view card) {
  if (card.size() <= 9) return 0.0;
  return numeric_value(card.substr(9, 21));
}

bool is_end_card(std::string_view card) { return card_key(card) == "END     "; }

std::string fixed_number_text(double value) {
  for (int digits = 15; digits > 1; --digits) {
    std::string text = decimal_text(value, digits);
    if (text.size() <= 21) return text;
  }
  return decimal_text(value, 1);
}

}  // namespace stellacq
