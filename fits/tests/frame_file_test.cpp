// The header of a frame the network front-ends send and save: what the
// camera took, where the subframe lies, and the front-end's own cards
// without a keyword twice.
#include "fits/frame_file.h"

#include <gtest/gtest.h>

#include <map>

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
  FrameDescription frame;
  frame.type = FrameType::Bias;
  frame.seconds = 1;
  frame.binning = 2;
  frame.width = 100;
  frame.height = 80;
  frame.pixel_um = 9.0;
  frame.head_name = "TX-22";
  frame.start_utc = 1709672829;  // 2024-03-05 21:07:09 UTC
  frame.origin_x = 120;
  frame.origin_y = 45;
  frame.extra_cards = {
      "TELESCOP= 'Scope A'", "EXPTIME =                  5.0", "DATAMIN =                    0",
      "TELESCOP= 'Scope B'", "COMMENT made by INDI",           "OBJECT  = 'M 1'"};

  Header header = read(frame_cards(frame));
  EXPECT_EQ(header.value["NAXIS1"], "100");
  EXPECT_EQ(header.value["NAXIS2"], "80");
  EXPECT_EQ(header.value["DATE-OBS"], "'2024-03-05T21:07:09'");
  EXPECT_EQ(header.value["EXPTIME"], "1");
  EXPECT_EQ(header.value["FRAME"], "'Bias    '");
  EXPECT_EQ(header.value["IMAGETYP"], "'Bias Frame'");
  EXPECT_EQ(header.value["XBINNING"], "2");
  EXPECT_EQ(header.value["XPIXSZ"], "18.00");
  EXPECT_EQ(header.value["PIXSIZE1"], "9.00");
  EXPECT_EQ(header.value["INSTRUME"], "'STELLACQ TX-22'");
  EXPECT_EQ(header.value["XORGSUBF"], "120");
  EXPECT_EQ(header.value["YORGSUBF"], "45");
  EXPECT_EQ(header.count["CCD-TEMP"], 0);  // no reading before the exposure
  // The front-end's cards come after, never repeating a keyword.
  EXPECT_EQ(header.value["TELESCOP"], "'Scope A'");
  EXPECT_EQ(header.value["OBJECT"], "'M 1'");
  EXPECT_EQ(header.count["DATAMIN"], 0);
  EXPECT_EQ(header.count["COMMENT"], 0);
  for (const auto& [key, count] : header.count) EXPECT_LE(count, 1) << key;
  EXPECT_EQ(header.last, "END");

  frame.ccd_temp_c = -10.25;
  frame.type = FrameType::Flat;
  header = read(frame_cards(frame));
  EXPECT_EQ(header.value["CCD-TEMP"], "-10.25");
  EXPECT_EQ(header.value["FRAME"], "'Flat    '");
}

}  // namespace
}  // namespace stellacq
