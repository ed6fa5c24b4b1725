#include "fits/frame_file.h"

#include <cstdio>
#include <set>

#include "camera/geometry.h"
#include "config/settings.h"
#include "fits/cards.h"
#include "fits/writer.h"

namespace stellacq {

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

}  // namespace

CardTable frame_cards(const Frame& frame, const FrameExtras& extras) {
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
      whole_card("EXPTIME", static_cast<long long>(frame.seconds), "Exposure taken [s]"),
      string_card("FRAME", frame_name(extras.type), "Frame type"),
      string_card("IMAGETYP", std::string(frame_name(extras.type)) + " Frame", "Frame type"),
      whole_card("XBINNING", frame.binning, "Binning factor in width"),
      whole_card("YBINNING", frame.binning, "Binning factor in height"),
      number_card("PIXSIZE1", extras.pixel_um, "Pixel width of the head [um]"),
      number_card("PIXSIZE2", extras.pixel_um, "Pixel height of the head [um]"),
      number_card("XPIXSZ", extras.pixel_um * frame.binning, "Binned pixel width [um]"),
      number_card("YPIXSZ", extras.pixel_um * frame.binning, "Binned pixel height [um]"),
      string_card("INSTRUME", std::string("STELLACQ ") + (frame.head_model == kHeadTx11 ? "TX-11" : "TX-22"),
                  "Camera head"),
  };
  if (frame.ccd_temp_c) cards.push_back(number_card("CCD-TEMP", *frame.ccd_temp_c, "CCD temperature [C]"));
  cards.push_back(whole_card("XORGSUBF", extras.origin_x, "Frame's left column on the binned chip"));
  cards.push_back(whole_card("YORGSUBF", extras.origin_y, "Frame's top row on the binned chip"));

  // The front-end's cards go after the camera's own, which they do not
  // repeat. INDI's DATAMIN and DATAMAX describe its own buffer, not this
  // frame; its commentary is about its own writer.
  std::set<std::string> keys;
  for (const std::string& card : cards) keys.insert(card_key(card));
  for (const char* key : {"EXTEND", "BZERO", "BSCALE", "DATAMIN", "DATAMAX", "COMMENT", "HISTORY", "END"})
    keys.insert(card_key(key));
  for (const std::string& card : extras.extra_cards) {
    const std::string key = card_key(card);
    if (key.find_first_not_of(' ') == std::string::npos || !keys.insert(key).second) continue;
    cards.push_back(card_text(card));
  }
  cards.push_back(card_text("END"));

  CardTable table;
  for (std::size_t i = 0; i < cards.size() && i + 1 < table.size(); ++i) table[i + 1] = cards[i];
  return table;
}

std::string write_frame_file(const std::string& path, const Frame& frame, const FrameExtras& extras,
                             bool flush) {
  WriteOptions options;
  options.flush_to_disk = flush;
  const WriteResult result = write_fits_file(path, frame_cards(frame, extras), frame, options);
  if (result.ok) return {};
  return result.reason.empty() ? "the file could not be written" : result.reason;
}

std::string frame_file_bytes(const Frame& frame, const FrameExtras& extras,
                             std::vector<std::uint8_t>& bytes) {
  auto encoded = fits_file_bytes(frame_cards(frame, extras), frame);
  if (!encoded) return "frame size out of range";
  bytes = std::move(*encoded);
  return {};
}

FitsWriting frame_fits_writing() {
  FitsWriting fits;
  fits.file = [](const std::string& path, const Frame& frame, const FrameExtras& extras) {
    return write_frame_file(path, frame, extras, true);
  };
  fits.bytes = frame_file_bytes;
  return fits;
}

}  // namespace stellacq
