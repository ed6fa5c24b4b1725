// What the network front-ends make of a request before the unit and the
// writers see it: whole seconds, and the part of the chip cut from the
// download.
#include "camera/frame_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace stellacq {
namespace {

TEST(FrameRequest, ExposureTimesBecomeWholeSecondsFromOne) {
  EXPECT_EQ(exposure_seconds(1.4), 1);
  EXPECT_EQ(exposure_seconds(1.6), 2);
  // Halves go to the even second.
  EXPECT_EQ(exposure_seconds(2.5), 2);
  EXPECT_EQ(exposure_seconds(3.5), 4);
  EXPECT_EQ(exposure_seconds(0.001), 1);
  EXPECT_EQ(exposure_seconds(-5), 1);
  EXPECT_EQ(exposure_seconds(std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(exposure_seconds(std::numeric_limits<double>::infinity()), 1);
  EXPECT_EQ(exposure_seconds(1e12), 1'000'000);
}

// A subframe asked for in unbinned pixels lies on the binned chip, clipped
// to it, and its pixels move to the top left unchanged, rows in order.
TEST(FrameRequest, ASubframeIsCutFromTheBinnedDownload) {
  const Subframe part = binned_subframe(201, 101, 200, 160, 2, 768, 512);
  EXPECT_EQ(part.x, 100);
  EXPECT_EQ(part.y, 50);
  EXPECT_EQ(part.width, 100);
  EXPECT_EQ(part.height, 80);
  const Subframe edge = binned_subframe(1500, 1020, 400, 400, 2, 768, 512);
  EXPECT_EQ(edge.x, 750);
  EXPECT_EQ(edge.y, 510);
  EXPECT_EQ(edge.width, 18);
  EXPECT_EQ(edge.height, 2);
  const Subframe past = binned_subframe(5000, -3, 0, 1, 1, 1536, 1024);
  EXPECT_EQ(past.x, 1535);
  EXPECT_EQ(past.y, 0);
  EXPECT_EQ(past.width, 1);
  EXPECT_EQ(past.height, 1);

  // Each pixel holds its own place; the cut overlaps its source.
  FrameBuffer counts;
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) counts.at(x, y) = y * 1000 + x;
  cut_subframe(counts, {3, 1, 700, 400});
  bool moved = true;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 700; ++x) moved = moved && counts.at(x, y) == (y + 1) * 1000 + x + 3;
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace stellacq
