// Image transfer against the simulated unit: block counts, row layouts,
// extremes, and what happens when the unit says more or less than expected.
#include "exposure/download.h"

#include <gtest/gtest.h>

#include "app/program_parts.h"
#include "camera/connection.h"
#include "camera/link.h"
#include "camera/transfer.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// The unit's frame: a value that differs from pixel to pixel, 1..65535,
// never 0 (the value of the dropped half of a doubled row).
std::int32_t pattern(int x, int y) { return 1 + (x * 131 + y * 977) % 65535; }

// The light download of the frame size set in the program.
bool download_light(testing::SimWorld& w) {
  return download_frame(camera_of(w.p), w.p.frames, status_line(w.p), FrameKind::Light,
                        {w.p.frames.light.width, w.p.frames.light.height}) != nullptr;
}

// Tells the unit the head, loads a pattern frame of `rows` rows into it and
// sets the light and dark frame sizes as the exposure code would.
void prepare(testing::SimWorld& w, std::int16_t unit, std::int16_t head, int binning, int rows = 0) {
  w.p.settings.unit_model = unit, w.p.settings.head_model = head;
  w.unit().options().unit_model = unit;
  const int width = (head == 4 ? 768 : 1536) / binning, height = (head == 4 ? 512 : 1024) / binning;
  w.p.frames.light.width = w.p.frames.dark.width = width;
  w.p.frames.light.height = w.p.frames.dark.height = height;
  w.p.connection.camera_menu_link_sumi_Click();
  if (rows == 0) rows = height;
  std::vector<std::uint16_t> v(static_cast<std::size_t>(width) * rows);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width; ++x) v[static_cast<std::size_t>(y) * width + x] = pattern(x, y);
  w.unit().load_frame(width, rows, std::move(v));
  w.traffic().clear();
  w.ui.statuses.clear();
  w.ui.yields = 0;
}

TEST(Download, BlocksLayoutAndExtremes) {
  // The counts sent: `full` blocks of 30720 (0x00, 0x78), then `last` if not
  // 0, then (0x00, 0x00).
  struct Case {
    const char* name;
    std::int16_t unit, head;
    int binning, unit_rows, frame_rows;  // rows the unit holds and image_height (0: the full frame)
    int full;
    std::uint8_t last_low, last_high;
    std::string before_k = "";  // bytes the unit sends before each "K"
  };
  const Case cases[] = {
      {"TX-11 binned", 4, 4, 2, 0, 0, 3, 0x00, 0x18},
      {"TX-22 full", 16, 16, 1, 0, 0, 51, 0x00, 0x18},
      {"TX-11 on TU-22, rows doubled", 16, 4, 2, 0, 0, 6, 0x00, 0x30},
      {"three rows", 4, 4, 2, 3, 3, 0, 0x80, 0x04},
      {"block ends on the last row", 4, 4, 2, 0, 80, 1, 0, 0},
      {"more announced than the frame", 4, 4, 2, 356, 0, 4, 0, 0},
      {"more than the buffer holds", 16, 16, 1, 1064, 0, 52, 0, 0},
      {"bytes before K", 4, 4, 2, 0, 0, 3, 0x00, 0x18, std::string("\x06\x15Z\xDB\n", 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SimWorld w;
    w.unit().options().bytes_before_k = c.before_k;
    prepare(w, c.unit, c.head, c.binning, c.unit_rows);
    Frames& f = w.p.frames;
    if (c.frame_rows) f.light.height = c.frame_rows;
    const int width = f.light.width, wire_width = c.head == 4 && c.unit != 4 ? 2 * width : width;
    f.light.counts.at(width, 0) = -7;  // just right of the frame
    ASSERT_TRUE(download_light(w));

    EXPECT_EQ(w.traffic().commands, (std::vector<std::string>{"X", "U"}));
    Bytes expected{'X', '\r', 'U', '\r'};
    for (int i = 0; i < c.full; ++i) expected.insert(expected.end(), {0x00, 0x78});
    if (c.last_low || c.last_high) expected.insert(expected.end(), {c.last_low, c.last_high});
    expected.insert(expected.end(), {0x00, 0x00});
    EXPECT_EQ(w.traffic().received, expected);
    EXPECT_EQ(
        std::tuple(w.control_register(), w.ui.statuses, w.ui.yields, f.display_source),
        std::tuple(kControlIdle, Lines{kDownloadingMessage, kDownloadDoneMessage}, 2, DisplaySource::Light));

    // Every row that arrived is stored, up to the buffer's spare row, and
    // counts in the extremes; the dropped half of a doubled row does not.
    const int rows = std::min<long long>(w.traffic().samples_sent / wire_width, kFrameRows);
    std::int32_t lo = 65535, hi = 0;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(f.light.counts.at(x, y), pattern(x, y)) << x << "," << y;
        lo = std::min(lo, pattern(x, y)), hi = std::max(hi, pattern(x, y));
      }
    EXPECT_EQ(std::tuple(f.light.max, f.light.min, f.light.counts.at(width, 0)), std::tuple(hi, lo, -7));
  }
}

TEST(Download, FailuresEndTheTransferAndKeepTheFramesExtremes) {
  testing::SimWorld w;
  prepare(w, 4, 4, 2);
  w.p.frames.light.max = 99;
  w.unit().options().bytes_before_k = std::string(kMaxBytesBeforeAck + 10, 'A');
  EXPECT_FALSE(download_light(w));
  EXPECT_EQ(std::tuple(w.ui.last_status(), w.control_register()),
            std::tuple(kNoBlockAckMessage, kControlIdle));
  w.unit().options().bytes_before_k.clear();
  w.unit().options().powered = false;
  EXPECT_FALSE(download_light(w));
  EXPECT_TRUE(w.ui.last_status().starts_with(" カメラが応答しません")) << w.ui.last_status();
  EXPECT_EQ(w.p.frames.light.max, 99);

  for (const auto& [width, height] : {std::pair{0, 0}, std::pair{1538, 10}, std::pair{10, 1026}}) {
    w.traffic().clear();
    w.p.frames.light.width = width, w.p.frames.light.height = height;
    EXPECT_FALSE(download_light(w));
    EXPECT_EQ(std::tuple(w.traffic().controls.size(), w.ui.last_status()),
              std::tuple(0u, kBadFrameSizeMessage));
  }
}

// A size reply that announces no samples, or fewer than the frame needs, is
// never a new frame: the transfer closes at once, the old frame and its
// extremes stay, the status line names both sizes, and the next download
// runs in step.
TEST(Download, ASizeReplyShortOfTheFrameIsNoNewFrame) {
  struct Case {
    const char* reply;
    std::int16_t unit;
    long long announced, expected;
  };
  const Case cases[] = {
      {"abc", 4, 0, 384 * 256},
      {"384 0", 4, 0, 384 * 256},
      {"384 255", 4, 384 * 255, 384 * 256},
      {"-384 256", 4, 0, 384 * 256},
      {"384 256", 16, 384 * 256, 768 * 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    testing::SimWorld w;
    prepare(w, c.unit, 4, 2);
    Frames& f = w.p.frames;
    testing::fill(f.light, 384, 256, 5);
    f.light.max = f.light.min = 5;
    f.display_source = DisplaySource::Dark;
    w.unit().options().size_reply = c.reply;
    EXPECT_FALSE(download_light(w));
    EXPECT_EQ(std::tuple(w.ui.statuses, w.traffic().received, w.traffic().samples_sent, w.control_register()),
              std::tuple(Lines{kDownloadingMessage, short_frame_text(c.announced, c.expected)},
                         Bytes{'X', '\r', 'U', '\r', 0x00, 0x00}, 0, kControlIdle));
    EXPECT_EQ(std::tuple(f.light.counts.at(0, 0), f.light.counts.at(383, 255), f.light.max, f.light.min,
                         f.display_source),
              std::tuple(5, 5, 5, 5, DisplaySource::Dark));

    w.unit().options().size_reply.reset();
    EXPECT_TRUE(download_light(w));
    EXPECT_EQ(f.light.counts.at(383, 255), pattern(383, 255));
  }
  EXPECT_EQ(short_frame_text(0, 98304),
            " 画像サイズの応答が不正です（カメラの知らせた画素数 0、この画像に必要な画素数 98304）。"
            "画像は受信していません");
}

}  // namespace
}  // namespace stellacq
