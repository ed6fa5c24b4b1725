// Locking and releasing the guide star with a click, and the marker that
// outlines the search window: drawing then erasing leaves the picture as it
// was.
#include "guiding/guide_lock.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "app/program_parts.h"
#include "guiding/marker.h"
#include "image/display.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

struct LockWorld : testing::World {
  int opened = 0, closed = 0;
  TrackingStatusHooks hooks{[this] { ++opened; }, [this] { ++closed; }};
  std::vector<std::uint32_t> before;

  // A frame of `sky`, with up to 49 counts of noise when `noisy`, drawn
  // into the picture in grey.
  void frame(int width, int height, std::int32_t sky, bool noisy = false) {
    set_light(width, height, sky);
    std::mt19937 random(7);
    for (int y = 0; noisy && y < height; ++y)
      for (int x = 0; x < width; ++x) f.light.counts.at(x, y) += static_cast<std::int32_t>(random() % 50);
    f.display_background = sky;
    f.display_range = 50;
    draw_frame(p.picture, f, f.light);
    before = p.picture.pixels;
    p.settings.search_span = 10;
    p.settings.aperture = 2;
    p.settings.threshold = 2;
  }
  PictureClick click(double X, double Y) {
    return p.guiding.Picture1_MouseDown(X, Y, Picture::kWidth, Picture::kHeight, hooks).outcome;
  }
  bool menus() const { return p.form.exp_menu_grab_auto_enabled && p.form.exp_menu_grab_auto_stop_enabled; }
  bool menus_off() const {
    return !p.form.exp_menu_grab_auto_enabled && !p.form.exp_menu_grab_auto_stop_enabled;
  }
};

TEST(GuideLock, LockConfirmThenRelease) {
  LockWorld w;
  EXPECT_EQ(w.click(100, 80), PictureClick::Ignored);  // no frame yet
  w.frame(384, 256, 100);
  w.p.frames.light.counts.at(126, 102) = 1234;
  w.p.frames.light.counts.at(127, 103) = 9000;
  EXPECT_EQ(w.click(100, 80), PictureClick::Locked);
  EXPECT_EQ(w.ui.statuses.front(), " 126 102 1234 Locked");
  EXPECT_EQ(std::pair(w.p.guide.star_x, w.p.guide.star_y), std::pair(125, 101));  // first box holding both
  const TrackingStatusValues& s = w.p.guide.tracking_status;
  EXPECT_EQ(std::tuple(s.Label5, s.Label6, s.Label7, s.Label8),
            std::tuple("10", "2", "2", "5.01"));  // 12534 / 2500
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(std::tuple(w.ui.boxes[0].text, w.ui.boxes[0].title),
            std::tuple("この星を追尾星にします", "自動追尾"));
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::OkCancel);
  EXPECT_TRUE(w.menus());
  EXPECT_EQ(std::pair(w.opened, w.closed), std::pair(1, 0));
  EXPECT_NE(w.p.picture.pixels, w.before);  // the marker

  // A release cancelled keeps everything; a release confirmed undoes it all.
  w.ui.box_answers = {MessageAnswer::Cancel};
  EXPECT_EQ(w.click(10, 10), PictureClick::ReleaseCancelled);
  EXPECT_TRUE(w.menus());
  EXPECT_EQ(std::tuple(w.p.guide.guide_locked, w.closed), std::tuple(1, 0));
  EXPECT_EQ(w.click(10, 10), PictureClick::Released);
  EXPECT_EQ(std::tuple(w.ui.boxes.back().text, w.ui.boxes.back().title),
            std::tuple("追尾星指定を解除します", "自動追尾"));
  EXPECT_EQ(w.ui.last_status(), " UnLocked");
  EXPECT_TRUE(w.menus_off());
  EXPECT_EQ(std::tuple(w.p.guide.guide_locked, w.closed), std::tuple(0, 1));
  EXPECT_EQ(w.p.picture.pixels, w.before);

  // A lock cancelled in its confirmation is undone the same way.
  w.ui.box_answers = {MessageAnswer::Cancel};
  EXPECT_EQ(w.click(100, 80), PictureClick::LockCancelled);
  EXPECT_EQ(w.ui.last_status(), " UnLocked");
  EXPECT_TRUE(w.menus_off());
  EXPECT_EQ(std::tuple(w.p.guide.guide_locked, w.opened, w.closed), std::tuple(0, 2, 2));
  EXPECT_EQ(w.p.picture.pixels, w.before);
}

TEST(GuideLock, ClickAtTheRightEdgeOfAFullFrame) {
  // 304 units x 1536 / 304 x 384 / 382 is column 1544, beyond the last one:
  // the status line shows the nearest pixel inside, the search the
  // candidates inside.
  LockWorld w;
  w.frame(1536, 1024, 0);
  w.p.frames.light.counts.at(1535, 500) = 5000;
  EXPECT_EQ(w.click(304, 97.5), PictureClick::Locked);
  EXPECT_EQ(w.ui.statuses.front(), " 1544 500 5000 Locked");
  EXPECT_EQ(std::pair(w.p.guide.star_x, w.p.guide.star_y), std::pair(1534, 498));
}

// The marker of the lock as it stands, with the configured span.
void draw_marker(testing::World& w) {
  draw_guide_marker(w.p.guide, shown_frames(w.p), configured_span(w.p.settings), w.p.ui);
}

TEST(GuideMarker, DrawnAlongTheOutlineAndErasedWithoutTrace) {
  const struct {
    int width, height, gx, gy, span;
  } rows[] = {
      {384, 256, 100, 100, 10}, {1536, 1024, 0, 0, 62},    {1536, 1024, 1544, 1030, 1024},
      {768, 512, 400, 300, 3},  {1536, 1024, 768, 512, 0}, {384, 256, -500, 50, 20},
  };
  for (const auto& row : rows) {
    LockWorld w;
    w.frame(row.width, row.height, 100, true);
    w.p.settings.search_span = row.span;
    w.p.guide.guide_x = row.gx;
    w.p.guide.guide_y = row.gy;
    w.p.guide.guide_locked = 1;
    draw_marker(w);
    const std::vector<SavedPoint>& saved = w.p.guide.marker_saved;
    for (const SavedPoint& s : saved) ASSERT_EQ(w.p.picture.at(s.x, s.y), kMarkerGreen);
    EXPECT_EQ(saved.empty(), row.gx == -500) << row.gx;
    if (row.width == 384 && row.gx == 100) {
      // kx = 1.2698, ky = 1.2836: the left column x = 90 lands on picture
      // column 71, from row 70 (y = 90) down; the centre stays.
      EXPECT_EQ(std::pair(saved.front().x, saved.front().y), std::pair(71, 70));
      EXPECT_NE(w.p.picture.at(79, 78), kMarkerGreen);
    }
    draw_marker(w);  // drawn again on the same picture
    w.p.guide.guide_locked = 0;
    draw_marker(w);
    EXPECT_EQ(w.p.picture.pixels, w.before) << row.width << " span " << row.span;

    // Drawn on a frame drawn anew, then erased: the new frame stays whole.
    w.p.guide.guide_locked = 1;
    draw_marker(w);
    draw_frame(w.p.picture, w.p.frames, w.p.frames.light);
    draw_marker(w);
    w.p.guide.guide_locked = 0;
    draw_marker(w);
    EXPECT_EQ(w.p.picture.pixels, w.before);
    EXPECT_TRUE(saved.empty());
    // Erased after the frame was drawn anew without it: nothing is painted back.
    w.p.guide.guide_locked = 1;
    draw_marker(w);
    w.p.frames.display_background -= 10;  // every grey changes
    draw_frame(w.p.picture, w.p.frames, w.p.frames.light);
    const std::vector<std::uint32_t> redrawn = w.p.picture.pixels;
    w.p.guide.guide_locked = 0;
    draw_marker(w);
    EXPECT_EQ(w.p.picture.pixels, redrawn);
  }
}

}  // namespace
}  // namespace stellacq
