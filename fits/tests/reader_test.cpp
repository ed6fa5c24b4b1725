#include "fits/reader.h"

#include <fcntl.h>
#include <fitsio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>

#include "app/program_parts.h"
#include "fits/cards.h"
#include "fits/file_operations.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::pad;
using testing::ScratchDir;
using World = testing::World;

// A FITS file made by hand: SIMPLE, BITPIX, NAXIS1, NAXIS2 (each left out
// when -1), `cards`, END, blanks to a whole block, then the data.
std::string fits_text(int bitpix, int width, int height, const std::vector<std::string>& cards,
                      const std::string& data) {
  std::string bytes = pad("SIMPLE  =                    T");
  for (const auto& [key, value] : {std::pair{"BITPIX", bitpix}, {"NAXIS1", width}, {"NAXIS2", height}})
    if (value != -1) bytes += integer_card(key, value);
  for (const std::string& c : cards) bytes += pad(c);
  bytes += pad("END");
  return bytes + std::string((2880 - bytes.size() % 2880) % 2880, ' ') + data;
}

TEST(Reader, FilesMadeByCfitsioHoldWhatCfitsioSays) {
  struct Case {
    const char* name;
    int bitpix;                     // image type given to cfitsio
    std::vector<long long> values;  // written through cfitsio, which chooses BZERO
  };
  const Case cases[] = {
      {"u16.fits", USHORT_IMG, {0, 1, 32767, 32768, 65534, 65535}},
      {"s16.fits", SHORT_IMG, {-32768, -1, 0, 1, 32767, 100}},
      {"s32.fits", LONG_IMG, {-2147483647 - 1, -70000, 0, 70000, 2147483647, 5}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    int status = 0;
    fitsfile* f = nullptr;
    long axes[2] = {3, 2}, first[2] = {1, 1};
    fits_create_file(&f, path.c_str(), &status);
    fits_create_img(f, c.bitpix, 2, axes, &status);
    std::vector<long long> values = c.values;
    fits_write_pix(f, TLONGLONG, first, 6, values.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << c.name;

    World w;
    ASSERT_TRUE(load_fits(held_frames(w.p), w.p.ui, path, kOpenLight)) << c.name;
    EXPECT_EQ(std::tie(w.p.frames.light.width, w.p.frames.light.height), std::tuple(3, 2));
    const std::int32_t* row0 = w.p.frames.light.counts.row(0);
    const std::vector<long long> ours = {
        row0[0], row0[1], row0[2], row0[kFrameColumns], row0[kFrameColumns + 1], row0[kFrameColumns + 2]};
    EXPECT_EQ(ours, c.values) << c.name;
    const auto [low, high] = std::ranges::minmax(c.values);
    EXPECT_EQ(std::tuple(w.p.frames.light.min, w.p.frames.light.max), std::tuple(low, high)) << c.name;
  }
}

TEST(Reader, HandMadeFilesDecodeByTheStandardScaling) {
  struct Case {
    const char* what;
    int bitpix;
    std::vector<std::string> cards;
    std::string data;
    std::vector<std::int32_t> expected;
  };
  const std::vector<std::string> fill31(31, "COMMENT filler"), fill32(32, "COMMENT filler");
  const std::string bzero0 = "BZERO   =                    0";
  const Case cases[] = {
      {"END in slot 36: data at 2880", 16, fill31, {"\x00\x05\xFF\xFE", 4}, {5, -2}},
      {"END in slot 37: data at 5760", 16, fill32, {"\x00\x05\xFF\xFE", 4}, {5, -2}},
      {"halves to even", 16, {"BSCALE  = 0.5"}, {"\0\1\0\3\0\5\xFF\xFF", 8}, {0, 2, 2, 0}},
      {"clipped both", 32, {"BSCALE  = 1000"}, {"\x7F\0\0\0\x80\0\0\0", 8}, {2147483647, INT32_MIN}},
      {"earlier own file", 16, {bzero0, kLegacyComment}, {"\x9C\x40\x00\x10", 4}, {40000, 16}},
      {"another program", 16, {bzero0}, {"\x9C\x40\x00\x10", 4}, {-25536, 16}},
      {"first plane", 16, {"NAXIS3  = 2"}, {"\0\1\0\2\0\3\0\4", 8}, {1, 2}},
      {"own, offset", 16, {"BZERO   = 32768", kLegacyComment}, {"\x9C\x40\x00\x10", 4}, {7232, 32784}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const int count = static_cast<int>(c.expected.size());
    std::ofstream(dir.file("h.fit"), std::ios::binary) << fits_text(c.bitpix, count, 1, c.cards, c.data);
    World w;
    ASSERT_TRUE(load_fits(held_frames(w.p), w.p.ui, dir.file("h.fit"), kOpenLight)) << c.what;
    EXPECT_EQ(std::vector(w.p.frames.light.counts.row(0), w.p.frames.light.counts.row(0) + count), c.expected)
        << c.what;
  }
}

TEST(Reader, ScalingCardsAreRewrittenToDescribeTheCountsAsHeld) {
  ScratchDir dir;
  std::ofstream(dir.file("s.fit"), std::ios::binary)
      << fits_text(8, 2, 1, {"BSCALE  = 2.5 / scaled", "OBJECT  = 'M 42'", "BZERO   = -7"}, "\x02\x04");
  World w;
  ASSERT_TRUE(load_fits(held_frames(w.p), w.p.ui, dir.file("s.fit"), kOpenDark));
  const CardTable& t = w.p.headers.dark_header;
  EXPECT_EQ(std::vector(t.begin() + 5, t.begin() + 9),
            (std::vector<std::string>{pad("BSCALE  =                    1"), pad("OBJECT  = 'M 42'"),
                                      pad("BZERO   =                    0"), pad("END")}));
  EXPECT_EQ(std::tuple(w.p.headers.dark_bscale, w.p.headers.dark_bzero), std::tuple(2.5, -7.0));
  EXPECT_EQ(std::tuple(w.p.frames.dark.counts.at(0, 0), w.p.frames.dark.counts.at(1, 0)), std::tuple(-2, 3));
}

TEST(Reader, APipeIsRefusedWithoutWaitingForAWriter) {
  ScratchDir dir;
  const std::string path = dir.file("pipe.fit");
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  World w;
  auto load =
      std::async(std::launch::async, [&] { return load_fits(held_frames(w.p), w.p.ui, path, kOpenLight); });
  if (load.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // lets the stuck open return
    load.wait();
    FAIL() << "the load waited for a writer on the pipe";
  }
  EXPECT_FALSE(load.get());
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].text, "ファイルを開けません : " + path + "\n(not a regular file)");
}

TEST(Reader, FlatLoadSetsTheLightSizeMeanAndFlag) {
  ScratchDir dir;
  World w;
  Frames& f = w.p.frames;
  f.light.width = 768, f.light.counts.at(0, 0) = 1234;
  std::ofstream(dir.file("flat.fit")) << fits_text(8, 4, 1, {}, "\x64\x65\x64\x65");  // mean 100.5 -> 100
  ASSERT_TRUE(load_fits(held_frames(w.p), w.p.ui, dir.file("flat.fit"), kOpenFlat));
  EXPECT_EQ((std::vector{f.light.width, f.light.height, f.flat_mean, f.flat_loaded, f.flat.max, f.flat.min,
                         f.light.counts.at(0, 0)}),
            (std::vector{4, 1, 100, 1, 101, 100, 1234}));
  EXPECT_EQ(std::tuple(w.p.headers.light_bitpix, w.p.headers.flat_header[5], w.p.headers.light_header[1]),
            std::tuple(8, pad("END"), ""));
}

TEST(Reader, EveryRefusalExplainsAndChangesNothing) {
  std::string no_end = pad("BITPIX  = 8") + pad("NAXIS1  = 1") + pad("NAXIS2  = 1");
  const std::string big = "画像の大きさが扱えません : NAXIS1 =", zeros(2000, '\0');
  struct Case {
    const char* name;
    std::string file_text;  // "" = no file at that path, "<dir>" = a folder
    std::string message_start;
  };
  const Case cases[] = {
      {"missing.fit", "", "ファイルを開けません : "},
      {"folder.fit", "<dir>", "ファイルを開けません : "},
      {"no_bitpix.fit", pad("SIMPLE  =                    T"), "BITPIX error"},
      {"float.fit", fits_text(-32, 2, 2, {}, zeros), "BITPIX error : BITPIX =-32"},
      {"no_naxis1.fit", fits_text(16, -1, 2, {}, zeros), "NAXIS1 error"},
      {"wide.fit", fits_text(8, 1538, 1, {}, zeros), big + " 1538, NAXIS2 = 1"},
      {"empty.fit", fits_text(8, 0, 5, {}, zeros), big + " 0"},
      {"short.fit", fits_text(16, 3, 2, {}, zeros.substr(0, 11)), "画像データが足りません : "},
      {"unended.fit", no_end, "ヘッダーに END がありません : "},
      {"long_header.fit", no_end + std::string(147 * 80, ' '), "ヘッダーが長すぎます : "},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    if (c.file_text == "<dir>") std::filesystem::create_directory(path);
    if (c.file_text.size() > 5) std::ofstream(path, std::ios::binary) << c.file_text;
    for (const int target : {kOpenLight, kOpenDark, kOpenFlat}) {
      World w;
      Frames& f = w.p.frames;
      HeaderTables& h = w.p.headers;
      f.light.width = 10, f.dark.width = 30, f.scan_max = 5, f.flat_loaded = 1, f.flat_mean = 77;
      f.light.counts.at(0, 0) = 11, f.dark.counts.at(0, 0) = 12, f.flat.counts.at(0, 0) = 13;
      h.light_header[1] = "light", h.dark_header[2] = "dark", h.flat_header[3] = "flat", h.dark_bzero = 3;
      const auto state = [&] {  // everything a load may change
        std::vector<std::int32_t> v;
        for (const FrameBuffer* b : {&f.light.counts, &f.dark.counts, &f.flat.counts})
          v.insert(v.end(), b->data(), b->data() + kFrameColumns * kFrameRows);
        v.insert(v.end(),
                 {f.light.width, f.light.height, f.dark.width, f.dark.height, f.scan_max, f.scan_min,
                  f.light.max, f.light.min, f.dark.max, f.dark.min, f.flat.max, f.flat.min, f.flat_loaded,
                  f.flat_mean, static_cast<int>(f.display_source), f.display_background, f.display_range});
        return std::tuple(v, h.light_header, h.dark_header, h.flat_header, h.light_bitpix, h.light_bzero,
                          h.light_bscale, h.dark_bitpix, h.dark_bzero, h.dark_bscale);
      };
      const auto before = state();
      EXPECT_FALSE(load_fits(held_frames(w.p), w.p.ui, path, target)) << c.name;
      ASSERT_EQ(w.ui.boxes.size(), 1u) << c.name;
      EXPECT_TRUE(w.ui.boxes[0].text.starts_with(c.message_start)) << c.name << ": " << w.ui.boxes[0].text;
      EXPECT_TRUE(state() == before) << c.name << " target " << target;
    }
  }
}

}  // namespace
}  // namespace stellacq
