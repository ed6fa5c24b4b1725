// Rendering into the image area and the brightness commands.
//
// The image area is 304 x 201 device pixels; a frame of any size is scaled
// by 384 / width x 0.788 across and 256 / height x 0.78 down, rounding to
// the nearest pixel with ties to even, with no averaging: the last frame
// pixel drawn on a screen pixel is the one that shows.
#include "image/display.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/numeric.h"
#include "image/auto_level.h"

namespace stellacq {

bool light_frame_present(const Frames& frames) { return frames.image_width != 0 && frames.image_height != 0; }

int screen_x(int x, int width) {
  if (width <= 0) return 0;
  return static_cast<int>(round_half_even(static_cast<double>(x) * 384 / width * 0.788));
}

int screen_y(int y, int height) {
  if (height <= 0) return 0;
  return static_cast<int>(round_half_even(static_cast<double>(y) * 256 / height * 0.78));
}

namespace {

// For every screen position along one axis, the last frame index that lands
// there, or -1. Drawing y outer and x inner means the pixel that shows at
// (X, Y) is (last x of X, last y of Y), so only those are drawn.
template <typename Map>
std::vector<int> last_source(int count, int screen_size, Map map) {
  std::vector<int> last(static_cast<std::size_t>(screen_size), -1);
  for (int i = 0; i < count; ++i) {
    const int s = map(i);
    if (s >= 0 && s < screen_size) last[static_cast<std::size_t>(s)] = i;
  }
  return last;
}

// Draws, then ends the busy pointer that the caller started, with one beep.
void draw_and_finish(Program& p, DisplaySource source) {
  const SourceFrame shown = source_frame(p.frames, source);
  draw_frame(p, *shown.frame, shown.width, shown.height);
  p.ui.busy_pointer(false);
  p.ui.beep();
}

// Asks for a level in an input box; false when the box was cancelled or
// left empty, otherwise `value` holds the answer read leniently.
bool ask_level(Program& p, const char* title, std::int32_t current, std::int32_t& value) {
  const std::string answer = p.ui.input_box("", title, decimal_text(current));
  if (answer.empty()) return false;
  value = clamp_to_int32(round_half_even(numeric_value(answer)));
  return true;
}

}  // namespace

void draw_frame(Program& p, const FrameBuffer& frame, int width, int height) {
  p.picture.clear();
  const int columns = std::clamp(width, 0, kFrameColumns);
  const int rows = std::clamp(height, 0, kFrameRows);
  if (columns > 0 && rows > 0) {
    const std::vector<int> xs =
        last_source(columns, Picture::kWidth, [&](int x) { return screen_x(x, columns); });
    const std::vector<int> ys = last_source(rows, Picture::kHeight, [&](int y) { return screen_y(y, rows); });
    for (int sy = 0; sy < Picture::kHeight; ++sy) {
      if (ys[sy] < 0) continue;
      const std::int32_t* row = frame.row(ys[sy]);
      for (int sx = 0; sx < Picture::kWidth; ++sx) {
        if (xs[sx] < 0) continue;
        const auto g = static_cast<std::uint32_t>(grey_level(p.frames, row[xs[sx]]));
        p.picture.at(sx, sy) = 0xFF000000u | g << 16 | g << 8 | g;
      }
    }
  }
  p.ui.picture_changed();
}

void show_level_captions(Program& p) {
  p.form.range_caption = "レンジ  (" + decimal_text(p.frames.display_range) + " )";
  p.form.background_caption = "バックグランド  (" + decimal_text(p.frames.display_background) + " )";
}

void redraw_light_frame(Program& p) {
  if (!light_frame_present(p.frames)) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_level_captions(p);
  draw_and_finish(p, DisplaySource::Light);
}

void show_auto_levelled(Program& p, DisplaySource source, bool captions) {
  Frames& f = p.frames;
  const SourceFrame shown = source_frame(f, source);
  f.scan_max = shown.max;
  f.scan_min = shown.min;
  f.display_source = source;
  auto_level(f);
  if (captions) show_level_captions(p);
  draw_and_finish(p, source);
}

void image_menu_display_auto_Click(Program& p) {
  if (!light_frame_present(p.frames)) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_auto_levelled(p, DisplaySource::Light, true);
}

void image_menu_display_manual_range_Click(Program& p) {
  if (!ask_level(p, "レンジ設定", p.frames.display_range, p.frames.display_range)) return;
  redraw_light_frame(p);
}

void image_menu_display_manual_background_Click(Program& p) {
  if (!ask_level(p, "バックグランド設定", p.frames.display_background, p.frames.display_background)) return;
  redraw_light_frame(p);
}

}  // namespace stellacq
