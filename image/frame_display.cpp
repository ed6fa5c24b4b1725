#include "image/frame_display.h"

#include "core/numeric.h"
#include "image/auto_level.h"
#include "image/correction.h"
#include "image/cursor.h"
#include "image/display.h"

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

std::optional<LevelCaptions> histogram_ok(const ShownFrames& shown, Interaction& ui,
                                          const std::string& background_text, const std::string& range_text) {
  shown.frames.display_background = clamp_to_int32(round_half_even(numeric_value(background_text)));
  shown.frames.display_range = clamp_to_int32(round_half_even(numeric_value(range_text)));
  return redraw_light_frame(shown, ui);
}

// The menu items show the captions of the levels drawn.
void FrameDisplay::show_level_captions(const std::optional<LevelCaptions>& captions) {
  if (!captions) return;
  fields_.range_caption = captions->range;
  fields_.background_caption = captions->background;
}

// Asks for a level in an input box; false when the box was cancelled or
// left empty, otherwise `level` holds the answer read leniently.
bool FrameDisplay::ask_level(const char* title, std::int32_t& level) {
  const std::string answer = ui_.input_box("", title, decimal_text(level));
  if (answer.empty()) return false;
  level = clamp_to_int32(round_half_even(numeric_value(answer)));
  return true;
}

// The flat commands need a flat field and, with it, a frame size.
bool FrameDisplay::flat_ready() {
  if (state_.frames.flat_loaded == 0) {
    ui_.message_box(kNoFlatFile);
    return false;
  }
  if (!light_frame_present(state_.frames)) {
    ui_.message_box(kNoDataFile);
    return false;
  }
  return true;
}

void FrameDisplay::image_menu_display_auto_Click() {
  if (!light_frame_present(state_.frames)) {
    ui_.message_box(kNoDataFile);
    return;
  }
  ui_.busy_pointer(true);
  show_auto_levelled(shown(), ui_, DisplaySource::Light);
  show_level_captions(level_captions(state_.frames));
}

void FrameDisplay::image_menu_display_manual_range_Click() {
  if (!ask_level("レンジ設定", state_.frames.display_range)) return;
  show_level_captions(redraw_light_frame(shown(), ui_));
}

void FrameDisplay::image_menu_display_manual_background_Click() {
  if (!ask_level("バックグランド設定", state_.frames.display_background)) return;
  show_level_captions(redraw_light_frame(shown(), ui_));
}

void FrameDisplay::image_menu_display_dark_Click() {
  if (state_.frames.dark.width == 0 || state_.frames.dark.height == 0) {
    ui_.message_box(kNoDarkFile);
    return;
  }
  ui_.busy_pointer(true);
  show_auto_levelled(shown(), ui_, DisplaySource::Dark);
}

// The corrected light frame is shown like a fresh download: its new
// extremes, fresh levels, the captions left as they were.
void FrameDisplay::image_menu_display_dark_sub_Click() {
  const Frames& f = state_.frames;
  if (!light_frame_present(f) || f.dark.width == 0 || f.dark.height == 0) {
    ui_.message_box(kNoDataFile);
    return;
  }
  ui_.busy_pointer(true);
  subtract_dark(state_.frames);
  show_auto_levelled(shown(), ui_, DisplaySource::Light);
}

void FrameDisplay::image_menu_display_flat_Click() {
  if (!flat_ready()) return;
  ui_.busy_pointer(true);
  show_auto_levelled(shown(), ui_, DisplaySource::Flat);
  show_level_captions(level_captions(state_.frames));
}

void FrameDisplay::image_menu_display_flat_sub_Click() {
  if (!flat_ready()) return;
  ui_.busy_pointer(true);
  divide_flat(state_.frames);
  show_auto_levelled(shown(), ui_, DisplaySource::Light);
}

bool FrameDisplay::histogram_ok(const std::string& background_text, const std::string& range_text) {
  const std::optional<LevelCaptions> captions =
      stellacq::histogram_ok(shown(), ui_, background_text, range_text);
  show_level_captions(captions);
  return captions.has_value();
}

void FrameDisplay::Picture1_MouseMove(double X, double Y, double W, double H) {
  int cx = 0;
  int cy = 0;
  if (!frame_position(state_.frames, X, Y, W, H, cx, cy)) return;
  if (const std::optional<std::string> readout = cursor_readout(state_.frames, cx, cy))
    fields_.Label1 = *readout;
}

void FrameDisplay::Option1_Click() {
  fields_.Option1 = true;
  fields_.Option2 = false;
  state_.frames.binning = 1;
  status_.show("ビニング なし");
}

void FrameDisplay::Option2_Click() {
  fields_.Option1 = false;
  fields_.Option2 = true;
  state_.frames.binning = 2;
  status_.show("ビニング あり");
}

}  // namespace stellacq
