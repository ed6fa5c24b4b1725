// The driver's texts as INDI carries them: messages in pieces that libindi
// sends whole, and the characters a client's text may hold.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace stellacq::indi {

// Longest text taken from a client: a path, a name or a header value.
// libindi 1.9.9 fails when it echoes texts of some 100 kB.
inline constexpr std::size_t kLongestText = 4096;

// Bytes of the well-formed UTF-8 character at `i` that XML allows (tab and
// the printable ones), 0 when none starts there.
std::size_t character_bytes(const std::string& text, std::size_t i);

// A text as messages: one a line, a long line cut after the last sentence
// end, comma or blank that leaves a piece of at least half the size (else
// between two characters); bytes that are no character become '?'.
std::vector<std::string> message_pieces(const std::string& text);

}  // namespace stellacq::indi
