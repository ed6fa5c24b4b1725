#include "fits/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "core/durable_file.h"
#include "fits/cards.h"
#include "image/frames.h"

namespace stellacq {

namespace {

// SIMPLE, BITPIX and the NAXIS family are written fresh at the front.
bool is_structure_key(const std::string& key) {
  if (key == "SIMPLE  " || key == "BITPIX  ") return true;
  if (key.compare(0, 5, "NAXIS") != 0) return false;
  std::size_t i = 5;
  while (i < 8 && key[i] >= '0' && key[i] <= '9') ++i;
  while (i < 8 && key[i] == ' ') ++i;
  return i == 8;
}

std::string printable_card(const std::string& slot) {
  std::string card = card_text(slot);
  for (char& c : card)
    if (c < 0x20 || c > 0x7E) c = ' ';
  return card;
}

// The reader keeps at most this many cards, END included; a header the
// writer produces never has more.
constexpr std::size_t kMaxWrittenCards = kHeaderSlots - 1;

bool is_blank_card(const std::string& card) { return card.find_first_not_of(' ') == std::string::npos; }

bool is_commentary_card(const std::string& card) {
  const std::string key = card_key(card);
  return key == "COMMENT " || key == "HISTORY ";
}

// Encodes `width` counts of a row at `out`: each clipped to 0..65535 and
// stored as count - 32768, a signed big-endian 16-bit number (flipping the
// top bit of the clipped count gives that number).
STELLACQ_PIXEL_LOOP void encode_row(const std::int32_t* row, int width, std::uint8_t* out) {
#pragma omp simd
  for (int x = 0; x < width; ++x) {
    const std::int32_t v = row[x];
    const std::uint16_t count = static_cast<std::uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
    const std::uint16_t stored = static_cast<std::uint16_t>((count ^ 0x8000u) << 8 | (count ^ 0x8000u) >> 8);
    std::memcpy(out + 2 * x, &stored, 2);
  }
}

// The file's length for a header of `cards` cards.
std::size_t file_length(std::size_t cards, int width, int height) {
  const std::size_t data_bytes = 2 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  return cards * kCardLength + (data_bytes + kBlockLength - 1) / kBlockLength * kBlockLength;
}

// Hands the header and the data to `put(data, size)` in batches of whole
// rows; the batch buffer is kept between saves. False as soon as a put fails.
template <class Put>
bool put_frame(Put&& put, const std::vector<std::string>& cards, const FrameBuffer& frame, int width,
               int height) {
  std::string header;
  header.reserve(cards.size() * kCardLength);
  for (const std::string& card : cards) header += card;
  if (!put(header.data(), header.size())) return false;

  constexpr std::size_t kBatchBytes = 256 * 1024;
  static std::vector<std::uint8_t> batch(kBatchBytes);
  const std::size_t row_bytes = 2 * static_cast<std::size_t>(width);
  const int rows_per_batch = static_cast<int>(kBatchBytes / row_bytes);
  for (int first = 0; first < height; first += rows_per_batch) {
    const int last = std::min(height, first + rows_per_batch);
    std::uint8_t* out = batch.data();
    for (int y = first; y < last; ++y, out += row_bytes) encode_row(frame.row(y), width, out);
    if (!put(batch.data(), static_cast<std::size_t>(out - batch.data()))) return false;
  }
  // Zero bytes up to the end of the last 2880-byte block.
  const std::size_t data_bytes = row_bytes * static_cast<std::size_t>(height);
  const std::size_t tail = (kBlockLength - data_bytes % kBlockLength) % kBlockLength;
  const std::vector<std::uint8_t> zeros(tail, 0);
  return put(zeros.data(), zeros.size());
}

bool write_frame(int fd, const std::vector<std::string>& cards, const FrameBuffer& frame, int width,
                 int height) {
  return put_frame([fd](const void* data, std::size_t size) { return write_all(fd, data, size); }, cards,
                   frame, width, height);
}

bool size_in_range(int width, int height) {
  return width >= 1 && width <= kFrameColumns && height >= 1 && height <= kFrameRows;
}

}  // namespace

std::vector<std::string> cards_for_write(const CardTable& table, int width, int height, int* left_out) {
  int last = kHeaderSlots - 1;
  for (int slot = 1; slot < kHeaderSlots; ++slot) {
    if (is_end_card(table[slot])) {
      last = slot - 1;
      break;
    }
  }
  // Without an END card, trailing empty or blank slots are not part of the header.
  if (last == kHeaderSlots - 1)
    while (last >= 1 && table[last].find_first_not_of(' ') == std::string::npos) --last;

  std::vector<std::string> cards{
      value_card("SIMPLE", "T"),     integer_card("BITPIX", 16),     integer_card("NAXIS", 2),
      integer_card("NAXIS1", width), integer_card("NAXIS2", height),
  };
  bool have_bzero = false, have_bscale = false;
  for (int slot = 1; slot <= last; ++slot) {
    const std::string card = printable_card(table[slot]);
    const std::string key = card_key(card);
    if (is_structure_key(key)) continue;
    if (key == "BZERO   ") {
      if (!have_bzero) cards.push_back(integer_card("BZERO", 32768));
      have_bzero = true;
    } else if (key == "BSCALE  ") {
      if (!have_bscale) cards.push_back(integer_card("BSCALE", 1));
      have_bscale = true;
    } else {
      cards.push_back(card);
    }
  }
  if (!have_bzero) cards.push_back(integer_card("BZERO", 32768));
  if (!have_bscale) cards.push_back(integer_card("BSCALE", 1));

  // The added cards can push a full table past what the reader keeps: blank
  // cards go first, then commentary, then other cards, each from the end;
  // the five structure cards, BZERO and BSCALE always stay.
  const std::size_t before = cards.size();
  const auto leave_out = [&cards](auto&& may_go) {
    for (std::size_t i = cards.size(); i-- > 5 && cards.size() + 1 > kMaxWrittenCards;) {
      const std::string key = card_key(cards[i]);
      if (key != "BZERO   " && key != "BSCALE  " && may_go(cards[i])) cards.erase(cards.begin() + i);
    }
  };
  leave_out(is_blank_card);
  leave_out(is_commentary_card);
  leave_out([](const std::string&) { return true; });
  if (left_out) *left_out = static_cast<int>(before - cards.size());

  cards.push_back(card_text("END"));
  while (cards.size() % kCardsPerBlock != 0) cards.push_back(std::string(kCardLength, ' '));
  return cards;
}

WriteResult write_fits_file(const std::string& path, const CardTable& table, const Frame& frame,
                            const WriteOptions& options) {
  const int width = frame.width, height = frame.height;
  if (!size_in_range(width, height)) return {false, "frame size out of range", 0, {}, false};
  WriteResult result;
  const std::vector<std::string> cards = cards_for_write(table, width, height, &result.left_out_cards);
  const ReplaceResult replaced =
      replace_file(path, [&](int fd) { return write_frame(fd, cards, frame.counts, width, height); },
                   {options.flush_to_disk, options.unnamed_temporary});
  result.ok = replaced.ok;
  result.reason = replaced.reason;
  return result;
}

WriteResult write_new_fits_file(const NameList& names, const CardTable& table, const Frame& frame,
                                const WriteOptions& options) {
  const int width = frame.width, height = frame.height;
  if (!size_in_range(width, height)) return {false, "frame size out of range", 0, {}, false};
  WriteResult result;
  const std::vector<std::string> cards = cards_for_write(table, width, height, &result.left_out_cards);
  const CreateResult created =
      create_new_file(names, [&](int fd) { return write_frame(fd, cards, frame.counts, width, height); },
                      {options.flush_to_disk, options.unnamed_temporary});
  result.ok = created.ok;
  result.reason = created.reason;
  result.path = created.path;
  result.all_taken = created.all_taken;
  return result;
}

bool write_fits_to(int fd, const CardTable& table, const Frame& frame) {
  const int width = frame.width, height = frame.height;
  if (!size_in_range(width, height)) {
    errno = EINVAL;
    return false;
  }
  return write_frame(fd, cards_for_write(table, width, height), frame.counts, width, height);
}

std::optional<std::vector<std::uint8_t>> fits_file_bytes(const CardTable& table, const Frame& frame) {
  const int width = frame.width, height = frame.height;
  if (!size_in_range(width, height)) return std::nullopt;
  const std::vector<std::string> cards = cards_for_write(table, width, height);
  // Encoded in place: the header, the rows, and the zeros the vector starts with.
  std::vector<std::uint8_t> bytes(file_length(cards.size(), width, height));
  std::uint8_t* out = bytes.data();
  for (const std::string& card : cards) out = std::copy(card.begin(), card.end(), out);
  for (int y = 0; y < height; ++y, out += 2 * static_cast<std::size_t>(width))
    encode_row(frame.counts.row(y), width, out);
  return bytes;
}

}  // namespace stellacq
