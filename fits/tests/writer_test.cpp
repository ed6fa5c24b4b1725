#include "fits/writer.h"

#include <fitsio.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "app/program_parts.h"
#include "fits/file_operations.h"
#include "fits/header_builder.h"
#include "fits/reader.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using testing::file_bytes;
using testing::pad;
using testing::ScratchDir;
using World = testing::World;

// The first plane as cfitsio reads it (BZERO and BSCALE applied) and its
// size; no values on any cfitsio error.
std::vector<long long> cfitsio_read(const std::string& path, long* size) {
  int status = 0, naxis = 0, bitpix = 0;
  long first[3] = {1, 1, 1};
  fitsfile* f = nullptr;
  if (fits_open_file(&f, path.c_str(), READONLY, &status)) return {};
  fits_get_img_param(f, 2, &bitpix, &naxis, size, &status);
  std::vector<long long> values(static_cast<std::size_t>(size[0] * size[1]));
  fits_read_pix(f, TLONGLONG, first, size[0] * size[1], nullptr, values.data(), nullptr, &status);
  fits_close_file(f, &status);
  return status == 0 ? values : std::vector<long long>{};
}

bool fitsverify_ok(const std::string& path) {
  return std::system(("/usr/bin/fitsverify -q '" + path + "' >/dev/null").c_str()) == 0;
}

// A light frame of the given head and binning, header built, pattern filled.
void take_light(World& w, int head, int binning) {
  w.p.settings.head_model = static_cast<std::int16_t>(head), w.p.frames.binning = binning;
  make_light_header(w.p.headers, w.p.shooting.record_start(w.p.frames.light));
  for (int y = 0; y < w.p.frames.light.height; ++y)
    for (int x = 0; x < w.p.frames.light.width; ++x)
      w.p.frames.light.counts.at(x, y) = (x * 131 + y * 977) % 65536;
  // The last three are clipped, each just past its bound or far from it (a
  // frame read from a file with BZERO 0 can hold -1).
  const int edge[] = {0, 32767, 32768, 65535, -1, 70000, 65536};
  for (int i = 0; i < 7; ++i) w.p.frames.light.counts.at(i, 0) = edge[i];
  w.p.file.file_mode = kSaveLight;
}

// Every frame size, over a longer file: cfitsio reads the counts, the header
// is the built block byte for byte, our reader loads the file back and saves
// it again unchanged; no temporary file is left.
TEST(Writer, EveryFrameSizeRoundTripsThroughCfitsioAndOurReader) {
  ScratchDir dir;
  const std::string path = dir.file("frame.fit"), again = dir.file("again.fit");
  std::ofstream(path, std::ios::binary) << std::string(5'000'000, 'x');
  for (const auto& [head, binning] : {std::pair{4, 1}, {4, 2}, {16, 1}}) {
    World w, other;
    take_light(w, head, binning);
    const int width = w.p.frames.light.width, height = w.p.frames.light.height;
    w.p.file.save_file_name = path;
    ASSERT_TRUE(save_fits(held_frames(w.p), w.p.file, status_line(w.p)));
    EXPECT_EQ(w.ui.statuses, (std::vector<std::string>{" ライトフレーム保存中", " ファイル保存終了"}));

    long size[2];
    const std::vector<long long> values = cfitsio_read(path, size);
    ASSERT_EQ(std::tuple(size[0], size[1], values.size()), std::tuple(width, height, width * height));
    EXPECT_EQ(std::vector(values.begin(), values.begin() + 7),
              (std::vector<long long>{0, 32767, 32768, 65535, 0, 65535, 65535}));
    ASSERT_TRUE(load_fits(held_frames(other.p), other.p.ui, path, kOpenDark));
    int mismatches = 0, low = 65535, high = 0;
    double sum = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int count = std::clamp(w.p.frames.light.counts.at(x, y), 0, 65535);
        mismatches += (values[y * width + x] != count) + (other.p.frames.dark.counts.at(x, y) != count);
        low = std::min(low, count), high = std::max(high, count), sum += count;
      }
    EXPECT_EQ(std::tie(mismatches, other.p.frames.dark.min, other.p.frames.dark.max),
              std::tuple(0, low, high))
        << width << "x" << height;
    ASSERT_TRUE(load_fits(held_frames(other.p), other.p.ui, path, kOpenFlat));
    EXPECT_EQ(other.p.frames.flat_mean, static_cast<int>(std::nearbyint(sum / width / height)));
    EXPECT_EQ(w.p.frames.light.counts.at(5, 0), 70000);  // the frame itself is not clipped

    const std::string bytes = file_bytes(path);
    const std::size_t data_end = 2880 + 2u * width * height;
    EXPECT_EQ(std::tuple(bytes.size(), bytes.find_first_not_of('\0', data_end)),
              std::tuple((data_end + 2879) / 2880 * 2880, std::string::npos));
    for (int slot = 1; slot <= 36; ++slot)
      EXPECT_EQ(bytes.substr((slot - 1) * 80, 80), w.p.headers.light_header[slot]);
    EXPECT_TRUE(fitsverify_ok(path)) << path;
    // Loaded, the header says BZERO 0 (the counts as held); saved again, the same bytes.
    EXPECT_EQ(other.p.headers.dark_header[9], pad("BZERO   =                    0"));
    other.p.file = {kSaveDark, again};
    ASSERT_TRUE(save_fits(held_frames(other.p), other.p.file, status_line(other.p)));
    EXPECT_TRUE(file_bytes(again) == bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
  }
}

TEST(Writer, LoadedTableIsRewrittenToDescribeTheData) {
  // As a reader leaves it for an 8-bit, three-axis file: NAXIS2 out of order, an extra axis, two BZERO
  // and no BSCALE card, a non-ASCII byte, an ENDTIME card, cards beyond slot 36 and after END.
  World w;
  ScratchDir dir;
  CardTable& t = w.p.headers.dark_header;
  const std::vector<std::string> loaded = {"SIMPLE  = T",   "BITPIX  = 8",      "NAXIS   = 3",
                                           "NAXIS1  = 100", "OBJECT  = 'M 42'", "NAXIS2  = 50",
                                           "NAXIS3  = 3",   "BZERO   = 0",      "HISTORY caf\xC3\xA9",
                                           "BZERO   = 0",   "ENDTIME = 'x'"};
  std::copy(loaded.begin(), loaded.end(), t.begin() + 1);
  std::fill(t.begin() + 12, t.begin() + 40, "HISTORY filler");  // up to slot 39
  t[40] = "END", t[41] = "COMMENT after the end";
  w.p.frames.dark.width = 100, w.p.frames.dark.height = 50;
  w.p.file = {kSaveDark, dir.file("dark.fts")};
  ASSERT_TRUE(save_fits(held_frames(w.p), w.p.file, status_line(w.p)));

  std::string header;
  for (const char* card :
       {"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
        "NAXIS1  =                  100", "NAXIS2  =                   50", "OBJECT  = 'M 42'",
        "BZERO   =                32768", "HISTORY caf  ", "ENDTIME = 'x'"})
    header += pad(card);
  for (int i = 0; i < 28; ++i) header += pad("HISTORY filler");
  header += pad("BSCALE  =                    1") + pad("END");
  header.resize(5760, ' ');  // two header blocks
  const std::string bytes = file_bytes(w.p.file.save_file_name);
  EXPECT_EQ(std::tuple(bytes.size(), bytes.substr(0, 5760)),
            std::tuple(5760u + 4u * 2880u, header));  // 10000 data bytes: four blocks
  long size[2];
  EXPECT_EQ(cfitsio_read(w.p.file.save_file_name, size).size(), 5000u);
  EXPECT_TRUE(fitsverify_ok(w.p.file.save_file_name));
}

TEST(Writer, FailuresAreReportedAndLeaveNothingBehind) {
  ScratchDir dir;
  std::ofstream(dir.file("plain")) << "x";
  fs::create_directory(dir.file("folder"));
  struct Case {
    int mode;
    std::string target, message;  // a target with no frame taken first when the message is English
  };
  const std::string cannot = "ファイルを保存できません : ", failed = " ファイル保存失敗";
  const Case cases[] = {
      {kSaveLight, dir.file("plain") + "/frame.fit", cannot + dir.file("plain")},
      {kSaveLight, dir.file("folder"), cannot + dir.file("folder")},
      {kSaveLight, "", cannot},
      {kSaveLight, dir.file("never.fit"), "You do not open the data file"},
      {kSaveDark, dir.file("never.fit"), "You do not open the dark file"},
      {kOpenFlat, dir.file("never.fit"), "You do not open the dark file"},  // not 1: the dark frame
  };
  for (const Case& c : cases) {
    World w;
    const bool taken = c.message.starts_with(cannot);
    if (taken) take_light(w, 4, 2);
    w.p.file = {c.mode, c.target};
    EXPECT_FALSE(save_fits(held_frames(w.p), w.p.file, status_line(w.p))) << c.target;
    ASSERT_EQ(w.ui.boxes.size(), 1u) << c.target;
    EXPECT_TRUE(w.ui.boxes[0].text.starts_with(c.message)) << w.ui.boxes[0].text;
    EXPECT_EQ(w.ui.statuses.empty() ? "" : w.ui.last_status(), taken ? failed : "");
  }
  // Only what the test made: no temporary file left behind.
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path()), {}), 2);
}

TEST(Writer, WhatItWritesLoadsBackAt143To146Cards) {
  // A table of the structure cards, `history` HISTORY cards and END, with or
  // without BZERO and BSCALE (which the writer adds). The reader keeps 144
  // cards; the writer leaves out the last commentary cards that do not fit.
  struct Case {
    int history;
    bool scaling;  // BZERO and BSCALE in the table
    int written;   // cards through END
  };
  const Case cases[] = {{135, true, 143}, {136, true, 144}, {137, true, 144}, {138, false, 144}};
  ScratchDir dir;
  for (const Case& c : cases) {
    World w, other;
    CardTable& t = w.p.headers.light_header;
    std::vector<std::string> cards = {"SIMPLE  = T", "BITPIX  = 16", "NAXIS   = 2", "NAXIS1  = 3",
                                      "NAXIS2  = 2"};
    if (c.scaling) cards.insert(cards.end(), {"BZERO   = 0", "BSCALE  = 1"});
    for (int i = 0; i < c.history; ++i) cards.push_back("HISTORY " + std::to_string(i));
    if (cards.size() < 144) cards.push_back("END");
    std::transform(cards.begin(), cards.end(), t.begin() + 1, pad);
    w.p.frames.light.width = 3, w.p.frames.light.height = 2, w.p.frames.light.counts.at(2, 1) = 60000;
    w.p.file = {kSaveLight, dir.file("long.fit")};
    SCOPED_TRACE(c.history);

    ASSERT_TRUE(save_fits(held_frames(w.p), w.p.file, status_line(w.p)));
    const int left_out = 7 + c.history + 1 - c.written;
    EXPECT_EQ(w.ui.last_status(),
              left_out ? " ファイル保存終了 (ヘッダーカード " + std::to_string(left_out) + " 枚を省略)"
                       : " ファイル保存終了");
    ASSERT_TRUE(load_fits(held_frames(other.p), other.p.ui, w.p.file.save_file_name, kOpenLight))
        << other.ui.boxes[0].text;
    const CardTable& loaded = other.p.headers.light_header;
    const int last_history = c.written - (c.scaling ? 1 : 3);  // BZERO and BSCALE added before END
    EXPECT_EQ(std::tuple(loaded[c.written], loaded[last_history], other.p.frames.light.counts.at(2, 1)),
              std::tuple(pad("END"), pad("HISTORY " + std::to_string(c.history - left_out - 1)), 60000));
  }
}

TEST(Writer, ASaveKilledHalfwayLeavesTheOldFileAndNothingElse) {
  // The child is killed by the file-size signal in the middle of the pixel
  // rows, as by kill -9 during a save.
  ScratchDir dir;
  const std::string path = dir.file("frame.fit");
  std::ofstream(path) << "old frame";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit no_core{0, 0}, size{100'000, RLIM_INFINITY};
    ::setrlimit(RLIMIT_CORE, &no_core);
    ::setrlimit(RLIMIT_FSIZE, &size);
    World w;
    take_light(w, 4, 1);
    w.p.file.save_file_name = path;
    save_fits(held_frames(w.p), w.p.file, status_line(w.p));
    ::_exit(0);  // not reached: the save dies first
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_EQ(file_bytes(path), "old frame");
  EXPECT_EQ(testing::folder_names(dir.path()), std::vector<std::string>{"frame.fit"});
}

}  // namespace
}  // namespace stellacq
