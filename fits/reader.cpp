#include "fits/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#include "core/numeric.h"
#include "fits/cards.h"
#include "image/auto_level.h"

namespace stellacq {

namespace {

constexpr int kMaxCards = kHeaderSlots - 1;  // slots 1..144

class FileHandle {
 public:
  // Without blocking: opening a named pipe for reading would otherwise wait
  // for a writer that never comes. Reads of a regular file are unaffected.
  explicit FileHandle(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly `size` bytes at `offset`; false on an error or an early end.
bool read_at(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

std::string error_text(int error) { return std::error_code(error, std::generic_category()).message(); }

// What a successful parse hands to the commit.
struct Parsed {
  CardTable cards;  // slots 1..last_slot filled
  int last_slot = 0;
  double bitpix = -1, naxis1 = -1, naxis2 = -1, bzero = 0, bscale = 1;
  int width = 0, height = 0;
  bool unsigned16 = false;                          // an earlier own file, see above
  const std::vector<std::uint8_t>* data = nullptr;  // the stored pixels, all read
};

// The stored number of the pixel at `b`: unsigned for 8 bits (and for an
// earlier own 16-bit file), signed two's complement for 16 and 32 bits.
std::int64_t stored_number(const std::uint8_t* b, int bytes_per_pixel, bool unsigned16) {
  if (bytes_per_pixel == 1) return b[0];
  if (bytes_per_pixel == 2) {
    const std::uint16_t u = static_cast<std::uint16_t>((b[0] << 8) | b[1]);
    return unsigned16 ? std::int64_t{u} : std::int64_t{static_cast<std::int16_t>(u)};
  }
  const std::uint32_t u = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                          (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
  return static_cast<std::int32_t>(u);
}

// Parses and decodes the file; the text of the message to show on failure.
std::optional<std::string> parse_file(const std::string& path, Parsed& out) {
  const std::string cannot_open = "ファイルを開けません : " + path + "\n(";
  // The kind of file is checked before it is opened (a pipe or a device
  // could hold the open) and again on the open file, which is what is read.
  struct stat st {};
  const auto refusal = [&]() -> std::optional<std::string> {
    if (S_ISDIR(st.st_mode)) return cannot_open + error_text(EISDIR) + ")";
    if (!S_ISREG(st.st_mode)) return cannot_open + "not a regular file)";
    return std::nullopt;
  };
  if (::stat(path.c_str(), &st) != 0) return cannot_open + error_text(errno) + ")";
  if (auto refused = refusal()) return refused;
  FileHandle file(path);
  if (file.fd() < 0) return cannot_open + error_text(errno) + ")";
  if (::fstat(file.fd(), &st) != 0) return cannot_open + error_text(errno) + ")";
  if (auto refused = refusal()) return refused;
  const std::int64_t length = st.st_size;

  // Header cards, up to the card table's 144 slots.
  const std::int64_t cards_in_file = length / kCardLength;
  const int cards_to_read = static_cast<int>(std::min<std::int64_t>(cards_in_file, kMaxCards));
  std::vector<std::uint8_t> head(static_cast<std::size_t>(cards_to_read) * kCardLength);
  if (!read_at(file.fd(), head.data(), head.size(), 0))
    return cannot_open + error_text(errno ? errno : EIO) + ")";
  int end_slot = 0;
  for (int n = 1; n <= cards_to_read; ++n) {
    out.cards[n].assign(reinterpret_cast<const char*>(head.data()) + (n - 1) * kCardLength, kCardLength);
    out.last_slot = n;
    if (is_end_card(out.cards[n])) {
      end_slot = n;
      break;
    }
  }
  if (end_slot == 0 && cards_in_file >= kMaxCards)
    return "ヘッダーが長すぎます : " + path + "\n(144 枚のカードの中に END がありません)";
  const int keyed_slots = out.last_slot;

  bool legacy_comment = false;
  for (int n = 1; n <= keyed_slots; ++n) {
    std::string& card = out.cards[n];
    const std::string key = card_key(card);
    if (key == "BITPIX  ") {
      out.bitpix = card_number(card);
    } else if (key == "NAXIS1  ") {
      out.naxis1 = card_number(card);
    } else if (key == "NAXIS2  ") {
      out.naxis2 = card_number(card);
    } else if (key == "BZERO   ") {
      out.bzero = card_number(card);
      card = integer_card("BZERO", 0);
    } else if (key == "BSCALE  ") {
      out.bscale = card_number(card);
      card = integer_card("BSCALE", 1);
    } else if (card == card_text(kLegacyComment)) {
      legacy_comment = true;
    }
  }

  if (out.bitpix == -1) return std::string("BITPIX error");
  if (out.bitpix != 8 && out.bitpix != 16 && out.bitpix != 32)
    return "BITPIX error : BITPIX =" + decimal_text(out.bitpix);
  if (out.naxis1 == -1) return std::string("NAXIS1 error");
  if (out.naxis2 == -1) return std::string("NAXIS2 error");
  const auto whole_in = [](double v, int high) { return v == std::floor(v) && v >= 1 && v <= high; };
  if (!whole_in(out.naxis1, kFrameColumns) || !whole_in(out.naxis2, kFrameRows))
    return "画像の大きさが扱えません : NAXIS1 =" + decimal_text(out.naxis1) +
           ", NAXIS2 =" + decimal_text(out.naxis2) + "\n(最大 1537 x 1025)";
  if (end_slot == 0) return "ヘッダーに END がありません : " + path;
  out.width = static_cast<int>(out.naxis1);
  out.height = static_cast<int>(out.naxis2);

  // Pixel data begin at the next whole block after the END card.
  const std::int64_t data_offset =
      static_cast<std::int64_t>((end_slot + kCardsPerBlock - 1) / kCardsPerBlock) * kBlockLength;
  const std::size_t pixel_count = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
  const std::size_t data_bytes = pixel_count * static_cast<std::size_t>(out.bitpix / 8);
  if (length - data_offset < static_cast<std::int64_t>(data_bytes))
    return "画像データが足りません : " + path +
           "\n(NAXIS1 x NAXIS2 =" + decimal_text(static_cast<double>(pixel_count)) +
           " 画素のデータがありません)";

  // All stored bytes are read before anything is changed; decoding them
  // cannot fail. The buffer is kept between loads (3 MB for a full frame).
  static std::vector<std::uint8_t> bytes;
  bytes.resize(data_bytes);
  if (!read_at(file.fd(), bytes.data(), data_bytes, static_cast<off_t>(data_offset)))
    return cannot_open + error_text(errno ? errno : EIO) + ")";
  out.unsigned16 = legacy_comment && out.bzero == 0;
  out.data = &bytes;
  return std::nullopt;
}

struct Scan {
  std::int32_t max = -1;
  std::int32_t min = std::numeric_limits<std::int32_t>::max();
  std::int64_t sum = 0;
};

// Decodes one row of the usual file (see decode_into) and folds it into the
// scan. A row's sum cannot overflow: |value| <= 65536 over 1537 columns.
STELLACQ_PIXEL_LOOP void decode_plain16_row(const std::uint8_t* in, int width, std::int32_t zero,
                                            std::int32_t* out, Scan& scan) {
  std::int32_t max = scan.max, min = scan.min, sum = 0;
#pragma omp simd reduction(max : max) reduction(min : min) reduction(+ : sum)
  for (int x = 0; x < width; ++x) {
    std::uint16_t big_endian;
    std::memcpy(&big_endian, in + 2 * x, 2);
    const auto stored =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(big_endian << 8 | big_endian >> 8));
    const std::int32_t value = stored + zero;
    out[x] = value;
    max = value > max ? value : max;
    min = value < min ? value : min;
    sum += value;
  }
  scan.max = max;
  scan.min = min;
  scan.sum += sum;
}

// Decodes the stored pixels into [0, width) x [0, height) of `frame`.
Scan decode_into(const Parsed& parsed, FrameBuffer& frame) {
  const int bytes_per_pixel = static_cast<int>(parsed.bitpix) / 8;
  const double bzero = parsed.bzero, bscale = parsed.bscale;
  // The usual file: signed 16-bit, unit scale and a whole offset that cannot
  // overflow; no rounding needed.
  const bool plain16 = bytes_per_pixel == 2 && !parsed.unsigned16 && bscale == 1 &&
                       bzero == std::floor(bzero) && bzero >= -32768 && bzero <= 32768;
  const std::int32_t plain_zero = plain16 ? static_cast<std::int32_t>(bzero) : 0;

  Scan scan;
  const std::uint8_t* b = parsed.data->data();
  if (plain16) {
    const std::size_t row_bytes = 2 * static_cast<std::size_t>(parsed.width);
    for (int y = 0; y < parsed.height; ++y, b += row_bytes)
      decode_plain16_row(b, parsed.width, plain_zero, frame.row(y), scan);
    return scan;
  }
  // Stores one row through `value_at` and folds it into the scan.
  const auto decode_row = [&](std::int32_t* out, auto value_at) {
    std::int32_t max = scan.max, min = scan.min;
    std::int64_t sum = 0;
    for (int x = 0; x < parsed.width; ++x, b += bytes_per_pixel) {
      const std::int32_t value = value_at(b);
      out[x] = value;
      max = value > max ? value : max;
      min = value < min ? value : min;
      sum += value;
    }
    scan.max = max;
    scan.min = min;
    scan.sum += sum;
  };
  for (int y = 0; y < parsed.height; ++y) {
    decode_row(frame.row(y), [&](const std::uint8_t* at) {
      return clamp_to_int32(round_half_even(
          bzero + bscale * static_cast<double>(stored_number(at, bytes_per_pixel, parsed.unsigned16))));
    });
  }
  return scan;
}

}  // namespace

std::optional<std::string> read_fits_frame(const std::string& path, int target_mode, HeaderTables& h,
                                           Frames& f) {
  if (target_mode != kOpenLight && target_mode != kOpenDark && target_mode != kOpenFlat)
    return "File mode " + std::to_string(target_mode) + " does not load a frame";

  Parsed parsed;
  if (std::optional<std::string> error = parse_file(path, parsed)) return error;

  const bool dark = target_mode == kOpenDark;
  CardTable& table = target_mode == kOpenLight ? h.light_header : dark ? h.dark_header : h.flat_header;
  for (int slot = 0; slot <= kCardsPerBlock; ++slot) table[slot] = std::string(kCardLength, ' ');
  for (int slot = 1; slot <= parsed.last_slot; ++slot) table[slot] = parsed.cards[slot];

  (dark ? h.dark_bitpix : h.light_bitpix) = parsed.bitpix;
  (dark ? h.dark_bzero : h.light_bzero) = parsed.bzero;
  (dark ? h.dark_bscale : h.light_bscale) = parsed.bscale;
  // A flat field gives the light frame its size (Frames::flat).
  (dark ? f.dark.width : f.light.width) = parsed.width;
  (dark ? f.dark.height : f.light.height) = parsed.height;

  Frame& frame = target_mode == kOpenLight ? f.light : dark ? f.dark : f.flat;
  const Scan scan = decode_into(parsed, frame.counts);
  frame.width = parsed.width;
  frame.height = parsed.height;
  frame.max = scan.max;
  frame.min = scan.min;
  frame.kind = dark ? FrameKind::Dark : FrameKind::Light;

  f.scan_max = scan.max;
  f.scan_min = scan.min;
  if (target_mode == kOpenLight) {
    f.display_source = DisplaySource::Light;
    auto_level(f);
  } else if (!dark) {
    f.flat_mean =
        clamp_to_int32(round_half_even(static_cast<double>(scan.sum) / parsed.width / parsed.height));
    f.flat_loaded = 1;
  }
  return std::nullopt;
}

}  // namespace stellacq
