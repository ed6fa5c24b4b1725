#include "image/commands.h"

#include "core/numeric.h"
#include "image/auto_level.h"
#include "image/correction.h"
#include "image/cursor.h"
#include "image/display.h"
#include "program/program.h"

namespace stellacq {

namespace {

// Draws, then ends the busy pointer that the caller started, with one beep.
void draw_and_finish(Program& p, DisplaySource source) {
  const SourceFrame shown = source_frame(p.frames, source);
  draw_frame(p.picture, p.frames, *shown.frame, shown.width, shown.height);
  p.ui.picture_changed();
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

void image_menu_display_dark_Click(Program& p) {
  if (p.frames.dark_width == 0 || p.frames.dark_height == 0) {
    p.ui.message_box(kNoDarkFile);
    return;
  }
  p.ui.busy_pointer(true);
  show_auto_levelled(p, DisplaySource::Dark, false);
}

// The corrected light frame is shown like a fresh download: its new
// extremes, fresh levels, the captions left as they were.
void image_menu_display_dark_sub_Click(Program& p) {
  const Frames& f = p.frames;
  if (!light_frame_present(f) || f.dark_width == 0 || f.dark_height == 0) {
    p.ui.message_box(kNoDataFile);
    return;
  }
  p.ui.busy_pointer(true);
  subtract_dark(p.frames);
  show_auto_levelled(p, DisplaySource::Light, false);
}

void image_menu_display_flat_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  show_auto_levelled(p, DisplaySource::Flat, true);
}

void image_menu_display_flat_sub_Click(Program& p) {
  if (!flat_ready(p)) return;
  p.ui.busy_pointer(true);
  divide_flat(p.frames);
  show_auto_levelled(p, DisplaySource::Light, false);
}

void histogram_ok(Program& p, const std::string& background_text, const std::string& range_text) {
  p.frames.display_background = clamp_to_int32(round_half_even(numeric_value(background_text)));
  p.frames.display_range = clamp_to_int32(round_half_even(numeric_value(range_text)));
  redraw_light_frame(p);
}

void Picture1_MouseMove(Program& p, double X, double Y, double W, double H) {
  int cx = 0;
  int cy = 0;
  if (!frame_position(p.frames, X, Y, W, H, cx, cy)) return;
  p.form.Label1 = decimal_text(cx) + decimal_text(cy) + decimal_text(p.frames.light_frame.at(cx, cy));
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
