// What the network front-ends make of a request before the unit and the
// writers see it: whole seconds, and the part of the chip cut from the
// download.
#include "camera/frame_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace stellacq {
namespace {

TEST(FrameRequest, ExposureTimesBecomeWholeSecondsFromOne) {
  // Halves go to the even second.
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const std::pair<double, int> cases[] = {
      {1.4, 1}, {1.6, 2}, {2.5, 2}, {3.5, 4}, {0.001, 1}, {-5, 1}, {nan, 1}, {inf, 1}, {1e12, 1'000'000},
  };
  for (const auto& [asked, taken] : cases) EXPECT_EQ(exposure_seconds(asked), taken) << asked;
}

// A subframe asked for in unbinned pixels lies on the binned chip, clipped
// to it, and its pixels move to the top left unchanged, rows in order.
TEST(FrameRequest, ASubframeIsCutFromTheBinnedDownload) {
  const auto box = [](const Subframe& s) { return std::tuple(s.x, s.y, s.width, s.height); };
  EXPECT_EQ(box(binned_subframe(201, 101, 200, 160, 2, 768, 512)), std::tuple(100, 50, 100, 80));
  EXPECT_EQ(box(binned_subframe(1500, 1020, 400, 400, 2, 768, 512)), std::tuple(750, 510, 18, 2));  // edge
  EXPECT_EQ(box(binned_subframe(5000, -3, 0, 1, 1, 1536, 1024)), std::tuple(1535, 0, 1, 1));        // past it

  // Each pixel holds its own place; the cut overlaps its source.
  auto frame = std::make_unique<Frame>();
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 768; ++x) frame->counts.at(x, y) = y * 1000 + x;
  cut_subframe(*frame, {3, 1, 700, 400});
  EXPECT_EQ(std::tuple(frame->width, frame->height), std::tuple(700, 400));
  bool moved = true;
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 700; ++x) moved = moved && frame->counts.at(x, y) == (y + 1) * 1000 + x + 3;
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace stellacq
