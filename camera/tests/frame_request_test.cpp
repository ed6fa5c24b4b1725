// What the network front-ends make of a request before the unit and the
// writers see it: whole seconds, and the part of the chip cut from the
// download.
#include "camera/frame_request.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "camera/frame_finishing.h"

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

// The finishing cuts the part before the writers see it, tells them where
// it lay, leaves the frame's record alone, and makes no bytes to send after
// the copy on disk failed.
TEST(FrameRequest, AFinishedFrameIsCutBeforeItsFilesAndAFailedCopySendsNothing) {
  std::vector<std::string> written;  // what each writer saw, in order
  FitsWriting fits;
  std::string copy_error;
  fits.file = [&](const std::string& path, const Frame& frame, const FrameExtras& extras) {
    written.push_back("file " + path + " " + std::to_string(frame.width) + "x" +
                      std::to_string(frame.height) + " at " + std::to_string(extras.origin_x) + "," +
                      std::to_string(extras.origin_y));
    return copy_error;
  };
  fits.bytes = [&](const Frame& frame, const FrameExtras&, std::vector<std::uint8_t>& bytes) {
    written.push_back("bytes " + std::to_string(frame.counts.at(0, 0)));
    bytes.assign(3, 7);
    return std::string();
  };
  const auto finish = [&](const std::string& path) {
    auto frame = std::make_unique<Frame>();
    frame->width = 768;
    frame->height = 512;
    frame->start_utc = 1'700'000'000;
    frame->ccd_temp_c = -12.5;
    frame->counts.at(10, 20) = 4242;
    FrameFinishing finishing;
    finishing.part = {10, 20, 30, 40};
    finishing.copy_path = path;
    finishing.send_bytes = true;
    const FinishedFiles files = finish_frame(*frame, finishing, fits);
    EXPECT_EQ(frame->start_utc, 1'700'000'000);
    EXPECT_EQ(frame->ccd_temp_c, -12.5);
    return files;
  };

  const FinishedFiles kept = finish("/data/a.fits");
  EXPECT_TRUE(kept.copied);
  EXPECT_EQ(kept.error, "");
  EXPECT_EQ(kept.bytes.size(), 3u);
  EXPECT_EQ(written, (std::vector<std::string>{"file /data/a.fits 30x40 at 10,20", "bytes 4242"}));

  written.clear();
  copy_error = "the disk is full";
  const FinishedFiles lost = finish("/data/b.fits");
  EXPECT_FALSE(lost.copied);
  EXPECT_EQ(lost.error, "the disk is full");
  EXPECT_TRUE(lost.bytes.empty());
  EXPECT_EQ(written, (std::vector<std::string>{"file /data/b.fits 30x40 at 10,20"}));
}

}  // namespace
}  // namespace stellacq
