#include "indi/messages.h"

namespace stellacq::indi {

namespace {

// libindi cuts a message at 256 bytes wherever that falls, inside a
// character too, which a strict XML client takes as a broken stream. The
// driver's messages go out in pieces well below that, prefix and all.
constexpr std::size_t kMessageBytes = 200;

}  // namespace

std::size_t character_bytes(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  const unsigned c = at(i);
  if (c == '\t' || (c >= 0x20 && c < 0x80)) return 1;
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
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < bytes; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return bytes;
}

std::vector<std::string> message_pieces(const std::string& text) {
  std::vector<std::string> pieces;
  std::string line;
  const auto flush = [&] {
    while (!line.empty()) {
      if (line.size() <= kMessageBytes) {
        if (line.find_first_not_of(' ') != std::string::npos) pieces.push_back(line);
        line.clear();
        break;
      }
      std::size_t cut = 0;
      for (const std::string mark : {"。", "、", ". ", ", ", " "}) {
        const std::size_t at = line.rfind(mark, kMessageBytes - mark.size());
        if (at != std::string::npos && at + mark.size() >= kMessageBytes / 2) {
          cut = at + mark.size();
          break;
        }
      }
      if (cut == 0) {
        cut = kMessageBytes;
        while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      }
      const std::size_t last = line.find_last_not_of(' ', cut - 1);
      if (last != std::string::npos) pieces.push_back(line.substr(0, last + 1));
      const std::size_t next = line.find_first_not_of(' ', cut);
      line.erase(0, next == std::string::npos ? line.size() : next);
    }
  };
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      flush();
      ++i;
    } else if (const std::size_t bytes = character_bytes(text, i); bytes > 0) {
      line.append(text, i, bytes);
      i += bytes;
    } else {
      if (text[i] != '\r') line += '?';
      ++i;
    }
  }
  flush();
  return pieces;
}

}  // namespace stellacq::indi
