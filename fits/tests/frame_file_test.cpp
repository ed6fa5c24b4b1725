// The header of a frame the network front-ends send and save: what the
// camera took, where the subframe lies, and the front-end's own cards
// without a keyword twice.
#include "fits/frame_file.h"

#include <gtest/gtest.h>

#include <map>

#include "camera/geometry.h"
#include "config/settings.h"
#include "fits/cards.h"

namespace stellacq {
namespace {

// Each keyword's value field (columns 11 onwards, up to the comment) and how
// often the keyword came; "END" must be the last card.
struct Header {
  std::map<std::string, std::string> value;
  std::map<std::string, int> count;
  std::string last;
};

Header read(const CardTable& table) {
  Header header;
  for (const std::string& card : table) {
    if (card.empty()) continue;
    std::string key = card_key(card);
    key.erase(key.find_last_not_of(' ') + 1);
    ++header.count[key];
    header.last = key;
    if (card.size() > 10 && card.compare(8, 2, "= ") == 0) {
      std::string value = card.substr(10, card.find(" /", 10) - 10);
      value.erase(0, value.find_first_not_of(' '));
      value.erase(value.find_last_not_of(' ') + 1);
      header.value[key] = value;
    }
  }
  return header;
}

TEST(FrameCards, TheHeaderSaysWhatWasTakenAndKeepsEachKeywordOnce) {
  Frame frame;
  FrameExtras extras;
  frame.seconds = 1, frame.binning = 2, frame.width = 100, frame.height = 80, frame.head_model = kHeadTx22;
  frame.start_utc = 1709672829;  // 2024-03-05 21:07:09 UTC
  extras.type = FrameType::Bias, extras.pixel_um = 9.0, extras.origin_x = 120, extras.origin_y = 45;
  extras.extra_cards = {
      "TELESCOP= 'Scope A'", "EXPTIME =                  5.0", "DATAMIN =                    0",
      "TELESCOP= 'Scope B'", "COMMENT made by INDI",           "OBJECT  = 'M 1'"};

  Header header = read(frame_cards(frame, extras));
  // The front-end's cards come after the camera's, never repeating a keyword.
  // clang-format off
  const std::map<std::string, std::string> values = {
      {"NAXIS1", "100"}, {"NAXIS2", "80"}, {"DATE-OBS", "'2024-03-05T21:07:09'"}, {"EXPTIME", "1"},
      {"FRAME", "'Bias    '"}, {"IMAGETYP", "'Bias Frame'"}, {"XBINNING", "2"}, {"XPIXSZ", "18.00"},
      {"PIXSIZE1", "9.00"}, {"INSTRUME", "'STELLACQ TX-22'"}, {"XORGSUBF", "120"}, {"YORGSUBF", "45"},
      {"TELESCOP", "'Scope A'"}, {"OBJECT", "'M 1'"}};
  // clang-format on
  for (const auto& [key, value] : values) EXPECT_EQ(header.value[key], value) << key;
  // No reading before the exposure; the front-end's DATAMIN and COMMENT are left out.
  EXPECT_EQ(std::tuple(header.count["CCD-TEMP"], header.count["DATAMIN"], header.count["COMMENT"]),
            std::tuple(0, 0, 0));
  for (const auto& [key, count] : header.count) EXPECT_LE(count, 1) << key;
  EXPECT_EQ(header.last, "END");

  frame.ccd_temp_c = -10.25;
  extras.type = FrameType::Flat;
  header = read(frame_cards(frame, extras));
  EXPECT_EQ(header.value["CCD-TEMP"] + " " + header.value["FRAME"], "-10.25 'Flat    '");
}

}  // namespace
}  // namespace stellacq
