#include "image/commands.h"

#include "core/numeric.h"
#include "image/auto_level.h"
#include "image/correction.h"
#include "image/cursor.h"
#include "image/display.h"
#include "program/parts.h"
#include "program/program.h"

namespace stellacq {

namespace {

// Draws, then ends the busy pointer that the caller started, with one beep.
void draw_and_finish(const ShownFrames& shown, Interaction& ui, DisplaySource source) {
  const Frame& drawn = source_frame(shown.frames, source);
  draw_frame(shown.picture, shown.frames, drawn);
  ui.picture_changed();
  ui.busy_pointer(false);
  ui.beep();
}

// The menu items show the captions of the levels drawn.
void show_level_captions(Program& p, const std::optional<LevelCaptions>& captions) {
  if (!captions) return;
  p.form.range_caption = captions->range;
  p.form.background_caption = captions->background;
}

// Asks for a level in an input box; false when the box was cancelled or
// left empty, otherwise `value` holds the answer read leniently.
bool ask_level(Program& p, const char* title, std::int32_t current, std::int32_t& value) {
  const std::string answer = p.ui.input_box("", title, decimal_text(current));
  if (answer.empty()) return false;
  value = clamp_to_int32(round_half_even(numeric_value(answer)));
  return true;
}

// The flat commands need a flat field and, with it, a frame size.
bool flat_ready(Program& p) {
  if (p.frames.flat_loaded == 0) {
    p.ui.message_box(kNoFlatFile);
    return false;
  }
  if (!light_frame_present(p.frames)) {
    p.ui.message_box(kNoDataFile);
    return false;
  }
  return true;
}

}  // namespace

LevelCaptions level_captions(const Frames& frames) {
  return {"レンジ  (" + decimal_text(frames.display_range) + " )",
          "バックグランド  (" + decimal_text(frames.display_background) + " )"};
}

std::optional<LevelCaptions> redraw_light_frame(const ShownFrames& shown, Interaction& ui) {
  if (!light_frame_present(shown.frames)) {
    ui.message_box(kNoDataFile);
    return std::nullopt;
  }
  ui.busy_pointer(true);
  const LevelCaptions captions = level_captions(shown.frames);
  draw_and_finish(shown, ui, DisplaySource::Light);
  return captions;
}

void show_auto_levelled(const ShownFrames& shown, Interaction& ui, DisplaySource source) {
  Frames& f = shown.frames;
  const Frame& levelled = source_frame(f, source);
  f.scan_max = levelled.max;
  f.scan_min = levelled.min;
  f.display_source = source;
  auto_level(f);
  draw_and_finish(shown, ui, source);
}

void image_menu_display_auto_Click(Program& p) {
  if (!light_frame_present(p.frames)) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_auto_levelled(shown_frames(p), p.ui, DisplaySource::Light);
  show_level_captions(p, level_captions(p.frames));
}

void image_menu_display_manual_range_Click(Program& p) {
  if (!ask_level(p, "レンジ設定", p.frames.display_range, p.frames.display_range)) return;
  show_level_captions(p, redraw_light_frame(shown_frames(p), p.ui));
}

void image_menu_display_manual_background_Click(Program& p) {
  if (!ask_level(p, "バックグランド設定", p.frames.display_background, p.frames.display_background)) return;
  show_level_captions(p, redraw_light_frame(shown_frames(p), p.ui));
}

void image_menu_display_dark_Click(Program& p) {
  if (p.frames.dark.width == 0 || p.frames.dark.height == 0) {
    p.ui.message_box(kNoDarkFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_auto_levelled(shown_frames(p), p.ui, DisplaySource::Dark);
}

// The corrected light frame is shown like a fresh download: its new
// extremes, fresh levels, the captions left as they were.
void image_menu_display_dark_sub_Click(Program& p) {
  const Frames& f = p.frames;
  if (!light_frame_present(f) || f.dark.width == 0 || f.dark.height == 0) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  subtract_dark(p.frames);
  show_auto_levelled(shown_frames(p), p.ui, DisplaySource::Light);
}

void image_menu_display_flat_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  show_auto_levelled(shown_frames(p), p.ui, DisplaySource::Flat);
  show_level_captions(p, level_captions(p.frames));
}

void image_menu_display_flat_sub_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  divide_flat(p.frames);
  show_auto_levelled(shown_frames(p), p.ui, DisplaySource::Light);
}

std::optional<LevelCaptions> histogram_ok(const ShownFrames& shown, Interaction& ui,
                                          const std::string& background_text, const std::string& range_text) {
  shown.frames.display_background = clamp_to_int32(round_half_even(numeric_value(background_text)));
  shown.frames.display_range = clamp_to_int32(round_half_even(numeric_value(range_text)));
  return redraw_light_frame(shown, ui);
}

void Picture1_MouseMove(Program& p, double X, double Y, double W, double H) {
  int cx = 0;
  int cy = 0;
  if (!frame_position(p.frames, X, Y, W, H, cx, cy)) return;
  p.form.Label1 = decimal_text(cx) + decimal_text(cy) + decimal_text(p.frames.light.counts.at(cx, cy));
}

void Option1_Click(Program& p) {
  p.form.Option1 = true;
  p.form.Option2 = false;
  p.frames.binning = 1;
  set_status(p, "ビニング なし");
}

void Option2_Click(Program& p) {
  p.form.Option1 = false;
  p.form.Option2 = true;
  p.frames.binning = 2;
  set_status(p, "ビニング あり");
}

}  // namespace stellacq
