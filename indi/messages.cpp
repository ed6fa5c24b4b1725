#include "indi/messages.h"

#include "core/utf8.h"

namespace stellacq::indi {

namespace {

// libindi cuts a message at 256 bytes wherever that falls, inside a
// character too, which a strict XML client takes as a broken stream. The
// driver's messages go out in pieces well below that, prefix and all.
constexpr std::size_t kMessageBytes = 200;

}  // namespace

std::size_t character_bytes(const std::string& text, std::size_t i) {
  const unsigned c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  if (c < 0x80) return c == '\t' || c >= 0x20 ? 1 : 0;
  return utf8_character_bytes(text, i);
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
