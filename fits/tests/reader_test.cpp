#include "fits/reader.h"

#include <gtest/gtest.h>

#include <fitsio.h>

#include <fstream>
#include <vector>

#include "fits/cards.h"
#include "fits/header_builder.h"
#include "fits/tests/test_world.h"
#include "fits/writer.h"

namespace stellacq {
namespace {

using testing::ScratchDir;
using testing::World;

std::string pad(const std::string& s) { return card_text(s); }

// A FITS file made by hand: the cards, padded to whole blocks unless told
// otherwise, then the data bytes as given.
void write_file(const std::string& path, const std::vector<std::string>& cards, const std::vector<std::uint8_t>& data,
                bool pad_header = true) {
  std::string bytes;
  for (const std::string& c : cards) bytes += pad(c);
  if (pad_header)
    while (bytes.size() % 2880 != 0) bytes += ' ';
  bytes.append(data.begin(), data.end());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> basic_cards(int bitpix, int width, int height, std::vector<std::string> extra = {}) {
  std::vector<std::string> cards = {"SIMPLE  =                    T", value_card("BITPIX", std::to_string(bitpix)),
                                    "NAXIS   =                    2", integer_card("NAXIS1", width),
                                    integer_card("NAXIS2", height)};
  cards.insert(cards.end(), extra.begin(), extra.end());
  cards.push_back("END");
  return cards;
}

// Everything a load may change, to compare before and after a refusal.
struct Snapshot {
  std::vector<std::int32_t> light, dark, flat;
  CardTable light_header, dark_header, flat_header;
  std::vector<double> values;
  std::vector<long long> frame_values;

  explicit Snapshot(const Program& p) {
    const auto copy = [](const FrameBuffer& b) {
      return std::vector<std::int32_t>(b.data(), b.data() + kFrameColumns * kFrameRows);
    };
    light = copy(p.frames.light_frame);
    dark = copy(p.frames.dark_frame);
    flat = copy(p.frames.flat_frame);
    light_header = p.headers.light_header;
    dark_header = p.headers.dark_header;
    flat_header = p.headers.flat_header;
    const HeaderTables& h = p.headers;
    values = {h.light_bitpix, h.light_bzero, h.light_bscale, h.dark_bitpix, h.dark_bzero, h.dark_bscale};
    const Frames& f = p.frames;
    frame_values = {f.image_width, f.image_height, f.dark_width,         f.dark_height,       f.scan_max,
                    f.scan_min,    f.light_max,    f.light_min,          f.dark_max,          f.dark_min,
                    f.flat_max,    f.flat_min,     f.flat_loaded,        f.flat_mean,         f.display_source,
                    f.display_background,          f.display_range};
  }
  bool operator==(const Snapshot&) const = default;
};

class ReaderTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  World w;
};

TEST_F(ReaderTest, OwnFileLoadsBackWithEveryCountAndHeader) {
  w.p.settings.head_model = 4;
  w.p.frames.binning = 1;
  make_light_header(w.p);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) w.p.frames.light_frame.at(x, y) = (x * 7919 + y * 104729) % 65536;
  const int edge[] = {0, 32767, 32768, 65535};
  for (int i = 0; i < 4; ++i) w.p.frames.light_frame.at(i, 511) = edge[i];
  w.p.file.file_mode = kSaveLight;
  w.p.file.save_file_name = dir.file("own.fit");
  ASSERT_TRUE(save_fits(w.p));

  World other;
  ASSERT_TRUE(load_fits(other.p, dir.file("own.fit"), kOpenDark));
  EXPECT_TRUE(other.ui.boxes.empty());
  EXPECT_EQ(other.p.frames.dark_width, 768);
  EXPECT_EQ(other.p.frames.dark_height, 512);
  int mismatches = 0;
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) mismatches += other.p.frames.dark_frame.at(x, y) != w.p.frames.light_frame.at(x, y);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(other.p.frames.dark_max, 65535);
  EXPECT_EQ(other.p.frames.dark_min, 0);
  EXPECT_EQ(other.p.headers.dark_bzero, 32768);
  // The kept header describes the counts as held: BZERO 0.
  for (int slot = 1; slot <= 36; ++slot) {
    const std::string expected = slot == 9 ? pad("BZERO   =                    0") : w.p.headers.light_header[slot];
    EXPECT_EQ(other.p.headers.dark_header[slot], expected) << slot;
  }
  // Saved again, the file is the same byte for byte.
  other.p.file.file_mode = kSaveDark;
  other.p.file.save_file_name = dir.file("again.fit");
  ASSERT_TRUE(save_fits(other.p));
  std::ifstream a(dir.file("own.fit"), std::ios::binary), b(dir.file("again.fit"), std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
}

TEST_F(ReaderTest, FilesMadeByCfitsioHoldWhatCfitsioSays) {
  struct Case {
    const char* name;
    int bitpix;                 // image type given to cfitsio
    std::vector<long long> values;  // physical values written through cfitsio
    int axes;                   // 2 or 3
    int extra_keys;             // long headers
    double bscale, bzero;       // scaling for the 8-bit case (raw bytes written)
  };
  const Case cases[] = {
      {"u16.fits", USHORT_IMG, {0, 1, 32767, 32768, 65534, 65535}, 2, 0, 1, 0},
      {"s16.fits", SHORT_IMG, {-32768, -1, 0, 1, 32767, 100}, 2, 0, 1, 0},
      {"s32.fits", LONG_IMG, {-2147483647 - 1, -70000, 0, 70000, 2147483647, 5}, 2, 0, 1, 0},
      {"u8.fits", BYTE_IMG, {0, 1, 127, 128, 255, 3}, 2, 0, 2, 10},
      {"long_header.fits", SHORT_IMG, {9, 8, 7, 6, 5, 4}, 2, 40, 1, 0},
      {"cube.fits", SHORT_IMG, {1, 2, 3, 4, 5, 6}, 3, 0, 1, 0},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, path.c_str(), &status);
    long axes[3] = {3, 2, 2};
    fits_create_img(f, c.bitpix, c.axes, axes, &status);
    for (int k = 0; k < c.extra_keys; ++k) {
      const std::string key = "KEY" + std::to_string(k);
      fits_write_key_lng(f, key.c_str(), k, "filler", &status);
    }
    std::vector<long long> data = c.values;
    if (c.axes == 3)  // second plane must not show
      for (long long v : c.values) data.push_back(v + 1000);
    if (c.bitpix == BYTE_IMG) {
      fits_write_key_dbl(f, "BSCALE", c.bscale, -6, "", &status);
      fits_write_key_dbl(f, "BZERO", c.bzero, -6, "", &status);
      fits_set_bscale(f, 1.0, 0.0, &status);  // the values are the raw bytes
    }
    long first[3] = {1, 1, 1};
    fits_write_pix(f, TLONGLONG, first, static_cast<LONGLONG>(data.size()), data.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << c.name;

    // What cfitsio says the file holds.
    fits_open_file(&f, path.c_str(), READONLY, &status);
    std::vector<long long> physical(6);
    fits_read_pix(f, TLONGLONG, first, 6, nullptr, physical.data(), nullptr, &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0) << c.name;

    World fresh;
    ASSERT_TRUE(load_fits(fresh.p, path, kOpenLight)) << c.name;
    EXPECT_EQ(fresh.p.frames.image_width, 3);
    EXPECT_EQ(fresh.p.frames.image_height, 2);
    std::vector<long long> ours;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) ours.push_back(fresh.p.frames.light_frame.at(x, y));
    EXPECT_EQ(ours, physical) << c.name;
    if (c.bitpix == BYTE_IMG) {
      EXPECT_EQ(ours[4], 2 * 255 + 10);
    }
    EXPECT_EQ(fresh.p.frames.light_max, *std::max_element(physical.begin(), physical.end())) << c.name;
    EXPECT_EQ(fresh.p.frames.light_min, *std::min_element(physical.begin(), physical.end())) << c.name;
    EXPECT_EQ(fresh.p.headers.light_bitpix, c.bitpix == USHORT_IMG ? 16 : c.bitpix) << c.name;
    if (c.extra_keys > 0) {  // a two-block header is kept whole
      int end_slot = 0;
      for (int slot = 1; slot <= 144 && end_slot == 0; ++slot)
        if (is_end_card(fresh.p.headers.light_header[slot])) end_slot = slot;
      EXPECT_GT(end_slot, 36);
      EXPECT_EQ(fresh.p.headers.light_header[end_slot - 1].substr(0, 6), "KEY39 ");
    }
  }
}

TEST_F(ReaderTest, DataStartAfterTheBlockHoldingEnd) {
  // END in slot 37: the data begin at 5760; END in slot 36: at 2880.
  struct Case {
    int fillers;
    std::size_t header_bytes;
  };
  for (const Case c : {Case{31, 5760}, Case{30, 2880}}) {
    std::vector<std::string> extra(static_cast<std::size_t>(c.fillers), "COMMENT filler");
    std::vector<std::string> cards = basic_cards(16, 2, 1, extra);
    write_file(dir.file("h.fit"), cards, {0x00, 0x05, 0xFF, 0xFE});
    ASSERT_EQ(std::filesystem::file_size(dir.file("h.fit")), c.header_bytes + 4);
    World fresh;
    ASSERT_TRUE(load_fits(fresh.p, dir.file("h.fit"), kOpenDark));
    EXPECT_EQ(fresh.p.frames.dark_frame.at(0, 0), 5);
    EXPECT_EQ(fresh.p.frames.dark_frame.at(1, 0), -2);  // signed 16-bit
  }
}

TEST_F(ReaderTest, ScalingRoundsHalfToEvenAndClipsToThirtyTwoBits) {
  struct Case {
    const char* bscale;
    const char* bzero;
    int bitpix;
    std::vector<std::uint8_t> data;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {"0.5", "0", 16, {0, 1, 0, 3, 0, 5, 0xFF, 0xFF}, {0, 2, 2, 0}},  // .5 1.5 2.5 -.5
      {"1", "0.5", 16, {0, 0, 0, 1, 0, 2, 0, 3}, {0, 2, 2, 4}},         // .5 1.5 2.5 3.5
      {"1", "2147483647", 32, {0, 0, 0, 1, 0x80, 0, 0, 0}, {2147483647, -1}},
      {"1000", "0", 32, {0x7F, 0, 0, 0, 0x80, 0, 0, 0}, {2147483647, -2147483647 - 1}},
      {"1", "-10", 8, {0, 255, 9, 10}, {-10, 245, -1, 0}},
  };
  for (const Case& c : cases) {
    const int count = static_cast<int>(c.expected.size());
    write_file(dir.file("s.fit"),
               basic_cards(c.bitpix, count, 1, {"BSCALE  = " + std::string(c.bscale), "BZERO   = " + std::string(c.bzero)}),
               c.data);
    World fresh;
    ASSERT_TRUE(load_fits(fresh.p, dir.file("s.fit"), kOpenLight)) << c.bscale << " " << c.bzero;
    for (int x = 0; x < count; ++x)
      EXPECT_EQ(fresh.p.frames.light_frame.at(x, 0), c.expected[x]) << c.bscale << " " << c.bzero << " x=" << x;
    EXPECT_EQ(fresh.p.headers.light_header[6], pad("BSCALE  =                    1"));
    EXPECT_EQ(fresh.p.headers.light_header[7], pad("BZERO   =                    0"));
  }
}

TEST_F(ReaderTest, EarlierOwnFilesWithoutOffsetAreReadUnsigned) {
  const std::vector<std::uint8_t> data = {0x9C, 0x40, 0x00, 0x10};  // 40000, 16
  write_file(dir.file("old.fit"), basic_cards(16, 2, 1, {"BZERO   =                    0", kLegacyComment}), data);
  write_file(dir.file("other.fit"), basic_cards(16, 2, 1, {"BZERO   =                    0"}), data);
  // Only with BZERO 0: with the standard offset, the offset rules.
  write_file(dir.file("new.fit"), basic_cards(16, 2, 1, {"BZERO   =                32768", kLegacyComment}), data);
  struct Case {
    const char* name;
    std::int32_t first, second;
  };
  for (const Case c : {Case{"old.fit", 40000, 16}, Case{"other.fit", -25536, 16}, Case{"new.fit", 7232, 32784}}) {
    World fresh;
    ASSERT_TRUE(load_fits(fresh.p, dir.file(c.name), kOpenLight)) << c.name;
    EXPECT_EQ(fresh.p.frames.light_frame.at(0, 0), c.first) << c.name;
    EXPECT_EQ(fresh.p.frames.light_frame.at(1, 0), c.second) << c.name;
  }
}

TEST_F(ReaderTest, FlatLoadSetsTheLightSizeMeanAndFlag) {
  w.p.frames.image_width = 768;
  w.p.frames.image_height = 512;
  w.p.frames.light_frame.at(0, 0) = 1234;
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 384 * 256; ++i) {
    const int stored = (i % 2 ? 101 : 100) - 32768;  // 100 and 101: mean 100.5 rounds to 100
    data.push_back(static_cast<std::uint8_t>((stored >> 8) & 0xFF));
    data.push_back(static_cast<std::uint8_t>(stored & 0xFF));
  }
  write_file(dir.file("flat.fit"), basic_cards(16, 384, 256, {"BZERO   =                32768"}), data);
  ASSERT_TRUE(load_fits(w.p, dir.file("flat.fit"), kOpenFlat));
  EXPECT_EQ(w.p.frames.image_width, 384);
  EXPECT_EQ(w.p.frames.image_height, 256);
  EXPECT_EQ(w.p.frames.flat_mean, 100);
  EXPECT_EQ(w.p.frames.flat_loaded, 1);
  EXPECT_EQ(w.p.frames.flat_max, 101);
  EXPECT_EQ(w.p.frames.flat_min, 100);
  EXPECT_EQ(w.p.frames.light_frame.at(0, 0), 1234);
  EXPECT_EQ(w.p.headers.light_bitpix, 16);
  EXPECT_TRUE(is_end_card(w.p.headers.flat_header[7]));
  EXPECT_EQ(w.p.headers.light_header[1], "");
}

TEST_F(ReaderTest, EveryRefusalExplainsAndChangesNothing) {
  struct Case {
    const char* name;
    std::string file_text;  // "" = no file at that path
    std::string message_start;
  };
  const auto file_of = [](const std::vector<std::string>& cards, std::size_t data_bytes, bool pad_header = true) {
    std::string bytes;
    for (const std::string& c : cards) bytes += pad(c);
    if (pad_header)
      while (bytes.size() % 2880 != 0) bytes += ' ';
    return bytes + std::string(data_bytes, '\0');
  };
  std::vector<std::string> no_end(150, "COMMENT no end");
  no_end.insert(no_end.begin(), {"SIMPLE  =                    T", "BITPIX  =                   16",
                                 "NAXIS1  =                    1", "NAXIS2  =                    1"});
  const Case cases[] = {
      {"missing.fit", "", "ファイルを開けません : "},
      {"no_bitpix.fit", pad("SIMPLE  =                    T"), "BITPIX error"},
      {"float.fit", file_of(basic_cards(-32, 2, 2), 16), "BITPIX error : BITPIX =-32"},
      {"double.fit", file_of(basic_cards(64, 2, 2), 32), "BITPIX error : BITPIX = 64"},
      {"no_naxis1.fit", file_of({"BITPIX  =                   16", "NAXIS2  =                    2", "END"}, 8),
       "NAXIS1 error"},
      {"no_naxis2.fit", file_of({"BITPIX  =                   16", "NAXIS1  =                    2", "END"}, 8),
       "NAXIS2 error"},
      {"wide.fit", file_of(basic_cards(8, 1538, 1), 1538), "画像の大きさが扱えません : NAXIS1 = 1538, NAXIS2 = 1"},
      {"tall.fit", file_of(basic_cards(8, 1, 1026), 1026), "画像の大きさが扱えません : NAXIS1 = 1, NAXIS2 = 1026"},
      {"empty.fit", file_of(basic_cards(8, 0, 5), 0), "画像の大きさが扱えません : NAXIS1 = 0"},
      {"short.fit", file_of(basic_cards(16, 3, 2), 11), "画像データが足りません : "},
      {"long_header.fit", file_of(no_end, 2, false), "ヘッダーが長すぎます : "},
      {"unended.fit", file_of({"BITPIX  =                    8", "NAXIS1  =                    1",
                               "NAXIS2  =                    1"}, 0, false),
       "ヘッダーに END がありません : "},
      {"folder.fit", "<dir>", "ファイルを開けません : "},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    if (c.file_text == "<dir>") {
      std::filesystem::create_directory(path);
    } else if (!c.file_text.empty()) {
      std::ofstream(path, std::ios::binary) << c.file_text;
    }
    for (int target : {kOpenLight, kOpenDark, kOpenFlat}) {
      World fresh;
      Frames& f = fresh.p.frames;
      f.image_width = 10, f.image_height = 20, f.dark_width = 30, f.dark_height = 40;
      f.light_frame.at(0, 0) = 11, f.dark_frame.at(0, 0) = 12, f.flat_frame.at(0, 0) = 13;
      f.scan_max = 5, f.scan_min = 4, f.light_max = 99, f.dark_min = -3, f.flat_loaded = 1, f.flat_mean = 77;
      fresh.p.headers.light_header[1] = pad("OBJECT  = 'light'");
      fresh.p.headers.dark_header[2] = pad("OBJECT  = 'dark'");
      fresh.p.headers.flat_header[3] = pad("OBJECT  = 'flat'");
      fresh.p.headers.light_bitpix = 16, fresh.p.headers.dark_bzero = 32768;
      const Snapshot before(fresh.p);
      EXPECT_FALSE(load_fits(fresh.p, path, target)) << c.name;
      ASSERT_EQ(fresh.ui.boxes.size(), 1u) << c.name;
      EXPECT_EQ(fresh.ui.boxes[0].text.rfind(c.message_start, 0), 0u) << c.name << ": " << fresh.ui.boxes[0].text;
      EXPECT_TRUE(Snapshot(fresh.p) == before) << c.name << " target " << target;
    }
  }
}

TEST_F(ReaderTest, LoadUsesTheFileOperationOfTheProgram) {
  write_file(dir.file("d.fit"), basic_cards(8, 1, 1), {42});
  w.p.file.save_file_name = dir.file("d.fit");
  w.p.file.file_mode = kOpenDark;
  ASSERT_TRUE(load_fits(w.p));
  EXPECT_EQ(w.p.frames.dark_frame.at(0, 0), 42);
  w.p.file.file_mode = kSaveLight;  // not an open operation
  EXPECT_FALSE(load_fits(w.p));
  EXPECT_EQ(w.p.frames.light_frame.at(0, 0), 0);
}

}  // namespace
}  // namespace stellacq
