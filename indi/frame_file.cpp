#include "indi/frame_file.h"

#include <fitsio.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "fits/cards.h"
#include "fits/writer.h"

namespace stellacq::indi {

namespace {

// A character-string card: the quote in column 11, at least eight
// characters between the quotes, the comment after.
std::string string_card(const std::string& key, const std::string& value, const std::string& comment) {
  std::string card = key;
  card.resize(8, ' ');
  std::string quoted = value;
  if (quoted.size() < 8) quoted.resize(8, ' ');
  card += "= '" + quoted + "'";
  if (card.size() < 30) card.resize(30, ' ');
  return card_text(card + " / " + comment);
}

std::string number_card(const char* key, double value, const char* comment) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return value_card(key, text, std::string(" / ") + comment);
}

std::string whole_card(const char* key, long long value, const char* comment) {
  return value_card(key, std::to_string(value), std::string(" / ") + comment);
}

const char* frame_name(FrameType type) {
  switch (type) {
    case FrameType::Bias:
      return "Bias";
    case FrameType::Dark:
      return "Dark";
    case FrameType::Flat:
      return "Flat";
    case FrameType::Light:
      break;
  }
  return "Light";
}

// cfitsio's memory files read back parts of a growing file they have not
// written yet; memory that comes to them zeroed reads as a disk file's
// unwritten end does. Every byte of the block past what the file held is
// kept zero.
void* zeroed_realloc(void* block, std::size_t size) {
  const std::size_t held = block ? malloc_usable_size(block) : 0;
  void* grown = std::realloc(block, size);
  if (grown) {
    const std::size_t usable = malloc_usable_size(grown);
    if (usable > held) std::memset(static_cast<char*>(grown) + held, 0, usable - held);
  }
  return grown;
}

}  // namespace

int exposure_seconds(double requested_seconds) {
  if (!std::isfinite(requested_seconds) || requested_seconds < 1.0) return 1;
  if (requested_seconds > 1e6) return 1'000'000;
  // nearbyint rounds halves to even in the default rounding mode.
  return static_cast<int>(std::nearbyint(requested_seconds));
}

CardTable frame_cards(const FrameDescription& frame) {
  std::tm utc{};
  gmtime_r(&frame.start_utc, &utc);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);

  std::vector<std::string> cards{
      value_card("SIMPLE", "T"),
      integer_card("BITPIX", 16),
      integer_card("NAXIS", 2),
      integer_card("NAXIS1", frame.width),
      integer_card("NAXIS2", frame.height),
      integer_card("BZERO", 32768),
      integer_card("BSCALE", 1),
      string_card("DATE-OBS", date, "UTC start of the exposure"),
      whole_card("EXPTIME", frame.seconds, "Exposure taken [s]"),
      string_card("FRAME", frame_name(frame.type), "Frame type"),
      string_card("IMAGETYP", std::string(frame_name(frame.type)) + " Frame", "Frame type"),
      whole_card("XBINNING", frame.binning, "Binning factor in width"),
      whole_card("YBINNING", frame.binning, "Binning factor in height"),
      number_card("PIXSIZE1", frame.pixel_um, "Pixel width of the head [um]"),
      number_card("PIXSIZE2", frame.pixel_um, "Pixel height of the head [um]"),
      number_card("XPIXSZ", frame.pixel_um * frame.binning, "Binned pixel width [um]"),
      number_card("YPIXSZ", frame.pixel_um * frame.binning, "Binned pixel height [um]"),
      string_card("INSTRUME", "STELLACQ " + frame.head_name, "Camera head"),
  };
  if (frame.ccd_temp_c) cards.push_back(number_card("CCD-TEMP", *frame.ccd_temp_c, "CCD temperature [C]"));
  cards.push_back(whole_card("XORGSUBF", frame.origin_x, "Frame's left column on the binned chip"));
  cards.push_back(whole_card("YORGSUBF", frame.origin_y, "Frame's top row on the binned chip"));

  // INDI's cards go after the camera's own, which they do not repeat. The
  // base class's DATAMIN and DATAMAX describe its own buffer, not this frame;
  // its commentary is about its own writer.
  std::set<std::string> keys;
  for (const std::string& card : cards) keys.insert(card_key(card));
  for (const char* key : {"EXTEND", "BZERO", "BSCALE", "DATAMIN", "DATAMAX", "COMMENT", "HISTORY", "END"})
    keys.insert(card_key(key));
  for (const std::string& card : frame.indi_cards) {
    const std::string key = card_key(card);
    if (key.find_first_not_of(' ') == std::string::npos || !keys.insert(key).second) continue;
    cards.push_back(card_text(card));
  }
  cards.push_back(card_text("END"));

  CardTable table;
  for (std::size_t i = 0; i < cards.size() && i + 1 < table.size(); ++i) table[i + 1] = cards[i];
  return table;
}

Subframe binned_subframe(int x, int y, int width, int height, int binning, int chip_width, int chip_height) {
  binning = std::max(binning, 1);
  Subframe part;
  part.x = std::clamp(x / binning, 0, chip_width - 1);
  part.y = std::clamp(y / binning, 0, chip_height - 1);
  part.width = std::clamp(width / binning, 1, chip_width - part.x);
  part.height = std::clamp(height / binning, 1, chip_height - part.y);
  return part;
}

void cut_subframe(FrameBuffer& counts, const Subframe& part) {
  if (part.x == 0 && part.y == 0) return;
  // Each row moves up and left, so rows taken in order never overwrite
  // one still to be moved.
  for (int row = 0; row < part.height; ++row)
    std::memmove(counts.row(row), counts.row(part.y + row) + part.x,
                 static_cast<std::size_t>(part.width) * sizeof(std::int32_t));
}

std::string write_frame_file(const std::string& path, const FrameDescription& frame,
                             const FrameBuffer& counts, bool flush) {
  WriteOptions options;
  options.flush_to_disk = flush;
  const WriteResult result =
      write_fits_file(path, frame_cards(frame), counts, frame.width, frame.height, options);
  if (result.ok) return {};
  return result.reason.empty() ? "the file could not be written" : result.reason;
}

std::string frame_file_bytes(const FrameDescription& frame, const FrameBuffer& counts,
                             std::vector<std::uint8_t>& bytes) {
  auto encoded = fits_file_bytes(frame_cards(frame), counts, frame.width, frame.height);
  if (!encoded) return "frame size out of range";
  bytes = std::move(*encoded);
  return {};
}

std::string compress_fits(const std::vector<std::uint8_t>& fits, std::vector<std::uint8_t>& compressed) {
  int status = 0;
  char reason[FLEN_STATUS] = "";
  // cfitsio reads the input in place and grows the output with realloc.
  void* in_memory = const_cast<std::uint8_t*>(fits.data());
  std::size_t in_size = fits.size();
  fitsfile* in = nullptr;
  if (fits_open_memfile(&in, "frame.fits", READONLY, &in_memory, &in_size, 0, nullptr, &status)) {
    fits_get_errstatus(status, reason);
    return std::string("the frame could not be read for compression: ") + reason;
  }
  void* out_memory = nullptr;
  std::size_t out_size = 0;
  fitsfile* out = nullptr;
  if (!fits_create_memfile(&out, &out_memory, &out_size, fits.size() / 2 + 2880, zeroed_realloc, &status)) {
    fits_set_compression_type(out, RICE_1, &status);
    fits_img_compress(in, out, &status);
    int closed = 0;
    fits_close_file(out, &closed);
    if (!status) status = closed;
  }
  int closed = 0;
  fits_close_file(in, &closed);
  // The memory block is larger than the file: the file ends where its image
  // extension does, as the finished header says.
  LONGLONG end = 0;
  if (!status) {
    fitsfile* packed = nullptr;
    if (!fits_open_memfile(&packed, "frame.fits.fz", READONLY, &out_memory, &out_size, 0, nullptr, &status)) {
      LONGLONG header_start = 0, data_start = 0;
      fits_movabs_hdu(packed, 2, nullptr, &status);
      fits_get_hduaddrll(packed, &header_start, &data_start, &end, &status);
      closed = 0;
      fits_close_file(packed, &closed);
    }
  }
  if (!status && end > 0 && static_cast<std::size_t>(end) <= out_size) {
    const auto* bytes = static_cast<const std::uint8_t*>(out_memory);
    compressed.assign(bytes, bytes + end);
  }
  std::free(out_memory);
  if (status) {
    fits_get_errstatus(status, reason);
    return std::string("the frame could not be compressed: ") + reason;
  }
  if (compressed.empty()) return "the frame could not be compressed";
  return {};
}

}  // namespace stellacq::indi
