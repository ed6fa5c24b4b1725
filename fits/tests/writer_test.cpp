#include "fits/writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fits/cards.h"
#include "fits/header_builder.h"
#include "fits/tests/cfitsio_oracle.h"
#include "fits/tests/test_world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::World;

std::vector<std::uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string pad(const std::string& s) { return s + std::string(80 - s.size(), ' '); }

class WriterTest : public ::testing::Test {
 protected:
  // A light frame of the given head and binning, header built, pattern filled.
  void take_light(int head, int binning) {
    w.p.settings.head_model = static_cast<std::int16_t>(head);
    w.p.frames.binning = binning;
    w.clock.now_value = {2026, 12, 6, 21, 3, 9};
    make_light_header(w.p);
    for (int y = 0; y < w.p.frames.image_height; ++y)
      for (int x = 0; x < w.p.frames.image_width; ++x) w.p.frames.light_frame.at(x, y) = (x * 131 + y * 977) % 65536;
    const int edge[] = {0, 32767, 32768, 65535};
    for (int i = 0; i < 4; ++i) w.p.frames.light_frame.at(i, 0) = edge[i];
    w.p.file.file_mode = kSaveLight;
  }
  World w;
  ScratchDir dir;
};

TEST_F(WriterTest, EveryFrameSizeReadsBackThroughCfitsioExactly) {
  struct Case {
    int head, binning, width, height;
  };
  const Case cases[] = {{4, 2, 384, 256}, {4, 1, 768, 512}, {16, 2, 768, 512}, {16, 1, 1536, 1024}};
  for (const Case& c : cases) {
    take_light(c.head, c.binning);
    w.p.file.save_file_name = dir.file("frame.fit");
    ASSERT_TRUE(save_fits(w.p));

    const testing::CfitsioImage image = testing::cfitsio_read(w.p.file.save_file_name);
    ASSERT_EQ(image.status, 0) << c.width;
    EXPECT_EQ(image.bitpix, SHORT_IMG);
    EXPECT_EQ(image.equivalent_bitpix, USHORT_IMG);  // BZERO 32768
    ASSERT_EQ(image.width, c.width);
    ASSERT_EQ(image.height, c.height);
    int mismatches = 0;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        if (image.values[static_cast<std::size_t>(y * c.width + x)] != w.p.frames.light_frame.at(x, y)) ++mismatches;
    EXPECT_EQ(mismatches, 0) << c.width << "x" << c.height;
    EXPECT_EQ(image.values[0], 0);
    EXPECT_EQ(image.values[1], 32767);
    EXPECT_EQ(image.values[2], 32768);
    EXPECT_EQ(image.values[3], 65535);

    const std::size_t data = 2u * c.width * c.height;
    EXPECT_EQ(fs::file_size(w.p.file.save_file_name), 2880 + (data + 2879) / 2880 * 2880);
    EXPECT_NE(testing::fitsverify_summary(w.p.file.save_file_name).find("verification OK"), std::string::npos)
        << testing::fitsverify_summary(w.p.file.save_file_name);
  }
}

TEST_F(WriterTest, HeaderIsTheBuiltBlockAndPixelsAreOffsetBigEndian) {
  take_light(4, 2);
  struct Case {
    std::int32_t count;
    std::uint8_t high, low;
  };
  const Case cases[] = {{0, 0x80, 0x00},     {255, 0x80, 0xFF},    {256, 0x81, 0x00}, {32767, 0xFF, 0xFF},
                        {32768, 0x00, 0x00}, {65535, 0x7F, 0xFF},  {-5, 0x80, 0x00},  {70000, 0x7F, 0xFF},
                        {2147483647, 0x7F, 0xFF}, {-2147483647 - 1, 0x80, 0x00}};
  for (int i = 0; i < 10; ++i) w.p.frames.light_frame.at(i, 255) = cases[i].count;
  w.p.file.save_file_name = dir.file("bytes.fit");
  ASSERT_TRUE(save_fits(w.p));

  const std::vector<std::uint8_t> bytes = file_bytes(w.p.file.save_file_name);
  // 384 x 256 x 2 = 196608 data bytes, padded with zeros to 69 blocks.
  ASSERT_EQ(bytes.size(), 2880u + 69u * 2880u);
  const std::string header(bytes.begin(), bytes.begin() + 2880);
  for (int slot = 1; slot <= 36; ++slot)
    EXPECT_EQ(header.substr((slot - 1) * 80, 80), w.p.headers.light_header[slot]) << "slot " << slot;
  const std::size_t row255 = 2880 + 2u * 384u * 255u;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(bytes[row255 + 2 * i], cases[i].high) << cases[i].count;
    EXPECT_EQ(bytes[row255 + 2 * i + 1], cases[i].low) << cases[i].count;
  }
  for (std::size_t i = 2880 + 196608; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;
  // The frame itself is not changed by the clipping.
  EXPECT_EQ(w.p.frames.light_frame.at(7, 255), 70000);
  EXPECT_EQ(w.ui.statuses, (std::vector<std::string>{" ライトフレーム保存中", " ファイル保存終了"}));
}

TEST_F(WriterTest, LoadedTableIsRewrittenToDescribeTheData) {
  // A table as a reader leaves it for an 8-bit, three-axis file from another
  // program: structure cards out of order, an extra axis, a second BZERO,
  // no BSCALE, a non-ASCII byte, cards beyond slot 36.
  CardTable& t = w.p.headers.dark_header;
  const char* loaded[] = {
      "SIMPLE  =                    T",      "BITPIX  =                    8",
      "NAXIS   =                    3",      "NAXIS1  =                  100",
      "OBJECT  = 'M 42'",                    "NAXIS2  =                   50",
      "NAXIS3  =                    3",      "BZERO   =                    0",
      "HISTORY caf\xC3\xA9",                 "BZERO   =                    0",
      "ENDTIME = '12:00:00'",
  };
  for (int i = 0; i < 11; ++i) t[i + 1] = pad(loaded[i]);
  for (int slot = 12; slot <= 39; ++slot) t[slot] = pad("COMMENT filler");
  t[40] = pad("END");
  t[41] = pad("COMMENT after the end");
  w.p.frames.dark_width = 100;
  w.p.frames.dark_height = 50;
  w.p.file.file_mode = kSaveDark;
  w.p.file.save_file_name = dir.file("dark.fts");
  ASSERT_TRUE(save_fits(w.p));

  const std::vector<std::uint8_t> bytes = file_bytes(w.p.file.save_file_name);
  // 39 cards -> two header blocks; 10000 data bytes -> four blocks.
  ASSERT_EQ(bytes.size(), 2u * 2880u + 4u * 2880u);
  std::vector<std::string> expected = {
      "SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
      "NAXIS1  =                  100", "NAXIS2  =                   50", "OBJECT  = 'M 42'",
      "BZERO   =                32768", "HISTORY caf  ",                   "ENDTIME = '12:00:00'",
  };
  for (int i = 0; i < 28; ++i) expected.push_back("COMMENT filler");
  expected.push_back("BSCALE  =                    1");
  expected.push_back("END");
  while (expected.size() < 72) expected.push_back("");
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(std::string(bytes.begin() + i * 80, bytes.begin() + i * 80 + 80), pad(expected[i])) << "card " << i + 1;

  const testing::CfitsioImage image = testing::cfitsio_read(w.p.file.save_file_name);
  EXPECT_EQ(image.status, 0);
  EXPECT_EQ(image.width, 100);
  EXPECT_EQ(image.height, 50);
  EXPECT_NE(testing::fitsverify_summary(w.p.file.save_file_name).find("verification OK"), std::string::npos)
      << testing::fitsverify_summary(w.p.file.save_file_name);
}

TEST_F(WriterTest, OverwritesALongerFileCompletelyAndLeavesNoTemporaryFile) {
  const std::string path = dir.file("same.fit");
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(5'000'000, 'x');
  }
  take_light(4, 2);
  w.p.file.save_file_name = path;
  ASSERT_TRUE(save_fits(w.p));
  EXPECT_EQ(fs::file_size(path), 2880u + 69u * 2880u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(testing::cfitsio_read(path).status, 0);
}

TEST_F(WriterTest, UnwritableTargetsAreReportedAndLeaveNothingBehind) {
  take_light(4, 2);
  { std::ofstream(dir.file("plain")) << "x"; }
  fs::create_directory(dir.file("folder"));
  const std::string targets[] = {
      dir.file("plain") + "/frame.fit",    // parent is a regular file
      dir.file("missing") + "/frame.fit",  // parent folder missing
      dir.file("folder"),                  // target is a folder
      "",                                  // no name at all
  };
  for (const std::string& target : targets) {
    World fresh;
    fresh.p.frames = w.p.frames;
    fresh.p.headers = w.p.headers;
    fresh.p.file.file_mode = kSaveLight;
    fresh.p.file.save_file_name = target;
    EXPECT_FALSE(save_fits(fresh.p)) << target;
    ASSERT_EQ(fresh.ui.boxes.size(), 1u) << target;
    EXPECT_NE(fresh.ui.boxes[0].text.find("ファイルを保存できません : " + target), std::string::npos);
    EXPECT_EQ(fresh.ui.last_status(), " ファイル保存失敗");
  }
  // Only what the test made: no temporary file left in the folders.
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"folder", "plain"}));
}

TEST_F(WriterTest, AFrameKindNeverTakenOrLoadedIsRefusedByName) {
  struct Case {
    int mode;
    const char* text;
  };
  const Case cases[] = {{kSaveLight, "You do not open the data file"},
                        {kSaveDark, "You do not open the dark file"},
                        {kOpenFlat, "You do not open the dark file"}};
  for (const Case& c : cases) {
    World fresh;
    fresh.p.file.file_mode = c.mode;
    fresh.p.file.save_file_name = dir.file("never.fit");
    EXPECT_FALSE(save_fits(fresh.p));
    ASSERT_EQ(fresh.ui.boxes.size(), 1u);
    EXPECT_EQ(fresh.ui.boxes[0].text, c.text);
    EXPECT_TRUE(fresh.ui.statuses.empty());
    EXPECT_FALSE(fs::exists(dir.file("never.fit")));
  }
}

}  // namespace
}  // namespace stellacq
