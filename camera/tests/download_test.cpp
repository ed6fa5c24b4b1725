// Image transfer against the simulated unit: block counts, row layouts,
// extremes, and what happens when the unit says more or less than expected.
#include "camera/download.h"

#include <gtest/gtest.h>

#include "camera/connection.h"
#include "camera/link.h"
#include "camera/tests/sim_world.h"

namespace stellacq {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The frame the unit holds: value at (x, y) from a formula that differs
// from pixel to pixel and covers the whole 16-bit range.
std::uint16_t pattern(int x, int y) { return static_cast<std::uint16_t>((x * 131 + y * 977) & 0xFFFF); }

std::vector<std::uint16_t> pattern_frame(int width, int height) {
  std::vector<std::uint16_t> v(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) v[static_cast<std::size_t>(y) * width + x] = pattern(x, y);
  return v;
}

// Sets the camera up as the exposure code would before a download.
void prepare(test::SimWorld& w, std::int16_t unit, std::int16_t head, int binning) {
  w.p.settings.unit_model = unit;
  w.p.settings.head_model = head;
  const int full_w = head == 4 ? 768 : 1536, full_h = head == 4 ? 512 : 1024;
  w.p.frames.image_width = w.p.frames.dark_width = full_w / binning;
  w.p.frames.image_height = w.p.frames.dark_height = full_h / binning;
  w.unit.options().unit_model = unit;
  camera_menu_link_sumi_Click(w.p);  // tells the unit the head size
  w.unit.load_frame(full_w / binning, full_h / binning, pattern_frame(full_w / binning, full_h / binning));
  w.traffic().clear();
  w.ui.statuses.clear();
  w.ui.yields = 0;
}

// The count bytes the PC wrote after the "U" command.
Bytes count_bytes(const sim::Traffic& t) {
  // X\r U\r are the first four bytes written.
  return Bytes(t.received.begin() + 4, t.received.end());
}

Bytes counts(std::initializer_list<std::pair<int, std::pair<std::uint8_t, std::uint8_t>>> runs) {
  Bytes b;
  for (const auto& [times, pair] : runs)
    for (int i = 0; i < times; ++i) {
      b.push_back(pair.first);
      b.push_back(pair.second);
    }
  return b;
}

TEST(Download, BlockCountSequences) {
  struct Case {
    const char* name;
    std::int16_t unit, head;
    int binning;
    Bytes expected;
  };
  const Case cases[] = {
      {"TX-11 binned", 4, 4, 2, counts({{3, {0x00, 0x78}}, {1, {0x00, 0x18}}, {1, {0x00, 0x00}}})},
      {"TX-11 full", 4, 4, 1, counts({{12, {0x00, 0x78}}, {1, {0x00, 0x60}}, {1, {0x00, 0x00}}})},
      {"TX-22 full", 16, 16, 1, counts({{51, {0x00, 0x78}}, {1, {0x00, 0x18}}, {1, {0x00, 0x00}}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimWorld w;
    prepare(w, c.unit, c.head, c.binning);
    ASSERT_TRUE(download_light(w.p));
    EXPECT_EQ(w.traffic().commands, (std::vector<std::string>{"X", "U"}));
    EXPECT_EQ(count_bytes(w.traffic()), c.expected);
    EXPECT_EQ(w.control_register(), kControlIdle);
  }
}

TEST(Download, EverySampleLandsAtItsPixel) {
  test::SimWorld w;
  prepare(w, 16, 16, 2);
  ASSERT_TRUE(download_light(w.p));
  const Frames& f = w.p.frames;
  std::int32_t lo = 65535, hi = 0;
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) {
      ASSERT_EQ(f.light_frame.at(x, y), pattern(x, y)) << x << "," << y;
      lo = std::min<std::int32_t>(lo, pattern(x, y));
      hi = std::max<std::int32_t>(hi, pattern(x, y));
    }
  EXPECT_EQ(f.light_max, hi);
  EXPECT_EQ(f.light_min, lo);
  EXPECT_EQ(f.display_source, kSourceLight);
  EXPECT_EQ(w.ui.statuses, (std::vector<std::string>{kDownloadingMessage, kDownloadDoneMessage}));
  EXPECT_EQ(w.ui.yields, 2);
}

TEST(Download, ExtremeSampleValuesAndAFlatFrame) {
  test::SimWorld w;
  prepare(w, 16, 16, 2);
  std::vector<std::uint16_t> flat(768 * 512, 1234);
  flat[0] = 32767;
  flat[1] = 0;
  flat[2] = 65535;
  w.unit.load_frame(768, 512, flat);
  ASSERT_TRUE(download_dark(w.p));
  const Frames& f = w.p.frames;
  EXPECT_EQ(f.dark_frame.at(0, 0), 32767);
  EXPECT_EQ(f.dark_frame.at(1, 0), 0);
  EXPECT_EQ(f.dark_frame.at(2, 0), 65535);
  EXPECT_EQ(f.dark_max, 65535);
  EXPECT_EQ(f.dark_min, 0);
  EXPECT_EQ(f.display_source, kSourceDark);

  w.unit.load_frame(768, 512, std::vector<std::uint16_t>(768 * 512, 777));
  ASSERT_TRUE(download_dark(w.p));
  EXPECT_EQ(f.dark_max, 777);
  EXPECT_EQ(f.dark_min, 777);
}

TEST(Download, SmallHeadOnLargeUnitDropsTheSecondHalfOfEachRow) {
  test::SimWorld w;
  prepare(w, 16, 4, 2);  // 384 x 256 frame, 768 samples a row on the wire
  w.unit.load_frame(384, 256, std::vector<std::uint16_t>(384 * 256, 5000));
  w.p.frames.light_frame.at(384, 0) = -7;  // just right of the frame
  ASSERT_TRUE(download_light(w.p));
  EXPECT_EQ(w.traffic().samples_sent, 768 * 256);
  EXPECT_EQ(count_bytes(w.traffic()), counts({{6, {0x00, 0x78}}, {1, {0x00, 0x30}}, {1, {0x00, 0x00}}}));
  const Frames& f = w.p.frames;
  EXPECT_EQ(f.light_frame.at(0, 0), 5000);
  EXPECT_EQ(f.light_frame.at(383, 255), 5000);
  EXPECT_EQ(f.light_frame.at(384, 0), -7);  // the dropped half goes nowhere
  EXPECT_EQ(f.light_max, 5000);
  EXPECT_EQ(f.light_min, 5000);  // the dropped half (value 0) is not counted
}

TEST(Download, LongerAnnouncementStopsAfterTheBlockHoldingTheLastRow) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.u_extra_rows = 100;  // 384 x 356 announced for a 384 x 256 frame
  test::SimWorld w(o);
  prepare(w, 4, 4, 2);
  ASSERT_TRUE(download_light(w.p));
  EXPECT_EQ(count_bytes(w.traffic()), counts({{4, {0x00, 0x78}}, {1, {0x00, 0x00}}}));
  EXPECT_EQ(w.p.frames.light_frame.at(383, 255), pattern(383, 255));
  EXPECT_EQ(w.ui.last_status(), kDownloadDoneMessage);
}

TEST(Download, BlockEndingExactlyOnTheLastRowEndsTheTransfer) {
  test::SimWorld w;
  prepare(w, 4, 4, 2);
  w.p.frames.image_height = 80;  // 384 x 80 = one full block
  ASSERT_TRUE(download_light(w.p));
  EXPECT_EQ(count_bytes(w.traffic()), counts({{1, {0x00, 0x78}}, {1, {0x00, 0x00}}}));
  EXPECT_EQ(w.traffic().samples_sent, 30720);
}

TEST(Download, SamplesBeyondTheBufferAreDropped) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.u_extra_rows = 40;
  test::SimWorld w(o);
  prepare(w, 16, 16, 1);
  // The unit sends 1536 x 1064 samples while the frame (and buffer) ends at
  // row 1024; the final block reaches past the spare row.
  w.unit.load_frame(1536, 1064, pattern_frame(1536, 1064));
  ASSERT_TRUE(download_light(w.p));
  EXPECT_EQ(w.traffic().samples_sent, 52LL * 30720);
  EXPECT_EQ(w.p.frames.light_frame.at(1535, 1023), pattern(1535, 1023));
  EXPECT_EQ(w.p.frames.light_frame.at(0, 1024), pattern(0, 1024));  // the spare row
}

TEST(Download, BytesBeforeTheAcknowledgementAreIgnored) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.bytes_before_k = std::string("\x06\x15Z\xDB\n", 5);
  test::SimWorld w(o);
  prepare(w, 4, 4, 2);
  ASSERT_TRUE(download_light(w.p));
  EXPECT_EQ(w.p.frames.light_frame.at(0, 0), pattern(0, 0));
  EXPECT_EQ(w.p.frames.light_frame.at(383, 255), pattern(383, 255));
}

TEST(Download, UnitThatNeverAcknowledgesIsAbandoned) {
  sim::ControlUnitOptions o = test::SimWorld::default_options();
  o.bytes_before_k = std::string(kMaxBytesBeforeAck + 10, 'A');
  test::SimWorld w(o);
  prepare(w, 4, 4, 2);
  EXPECT_FALSE(download_light(w.p));
  EXPECT_EQ(w.ui.last_status(), kNoBlockAckMessage);
  EXPECT_EQ(w.control_register(), kControlIdle);
}

TEST(Download, SilentUnitEndsTheDownload) {
  test::SimWorld w;
  prepare(w, 4, 4, 2);
  w.p.frames.light_max = 99;
  w.unit.options().powered = false;
  EXPECT_FALSE(download_light(w.p));
  EXPECT_TRUE(w.p.link.unit_silent);
  EXPECT_EQ(w.p.frames.light_max, 99);  // the frame's extremes are not replaced
  EXPECT_EQ(w.ui.last_status().rfind(" カメラが応答しません", 0), 0u);
}

TEST(Download, FrameSizeOutsideTheBufferIsRefused) {
  for (const auto& [width, height] : {std::pair{0, 0}, std::pair{1538, 10}, std::pair{10, 1026}}) {
    test::SimWorld w;
    prepare(w, 4, 4, 2);
    w.p.frames.image_width = width;
    w.p.frames.image_height = height;
    EXPECT_FALSE(download_light(w.p));
    EXPECT_TRUE(w.traffic().controls.empty());
    EXPECT_EQ(w.ui.last_status(), kBadFrameSizeMessage);
  }
}

TEST(Download, RenderedExposureArrivesWhole) {
  test::SimWorld w;
  prepare(w, 16, 16, 2);
  for (const char* command : {"S 5000", "N 2 2", "V"}) {
    w.p.link.command_text = command;
    ASSERT_TRUE(send_command(w.p) && read_reply(w.p, kReplyFramed));
  }
  ASSERT_TRUE(download_light(w.p));
  const std::vector<std::uint16_t>& truth = w.unit.frame();
  ASSERT_EQ(truth.size(), 768u * 512u);
  for (int y = 0; y < 512; y += 7)
    for (int x = 0; x < 768; x += 5) ASSERT_EQ(w.p.frames.light_frame.at(x, y), truth[y * 768 + x]);
  EXPECT_GT(w.p.frames.light_max, 3000);  // stars above the sky
  EXPECT_GT(w.p.frames.light_min, 400);   // bias 1000, read noise about 100 counts
}

}  // namespace
}  // namespace stellacq
