// The image subsystem's commands: the Image menu (brightness, dark frame
// and flat field), the histogram window's OK, the cursor readout over the
// image area and the binning selector.
//
// FrameDisplay owns the frames and display levels, the picture of the image
// area and the profile point; its commands write the level captions, Label1,
// Option1/Option2 and the status line of the main window through the
// references it is made with, and tell the user when a frame is missing.
// The drawing steps below the commands take only the frames and the picture
// and hand the level captions back; the commands show them.
#pragma once

#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/status_line.h"
#include "image/frames.h"
#include "image/profile.h"

namespace stellacq {

// The frames with the picture of the image area they are drawn into.
struct ShownFrames {
  Frames& frames;
  Picture& picture;
};

// Texts shown when a command finds no frame to work on.
inline constexpr const char* kNoDataFile = "You do not open the data file";
inline constexpr const char* kNoDarkFile = "You do not open the dark file";
inline constexpr const char* kNoFlatFile = "You do not open the flat field file";

// Captions of the range and background menu items with the current levels:
// "レンジ  ( 2000 )", "バックグランド  (-5 )".
struct LevelCaptions {
  std::string range;
  std::string background;
};
LevelCaptions level_captions(const Frames& frames);

// Shows the light frame with the levels as they stand (no auto_level):
// drawing, busy pointer around it and one beep; the no-data message when
// there is no light frame. Returns the captions of the levels drawn, for
// the caller to show; none without a light frame.
std::optional<LevelCaptions> redraw_light_frame(const ShownFrames& shown, Interaction& ui);

// Shows the frame `source` names (DisplaySource::Light/Dark/Flat) with fresh
// levels: its own extremes into scan_max/scan_min, display_source, then
// auto_level and the drawing; ends the busy pointer the caller started
// after its checks, with one beep. The handlers that show the new levels
// take them from level_captions.
void show_auto_levelled(const ShownFrames& shown, Interaction& ui, DisplaySource source);

// OK: stores the two field texts (read leniently, rounded with ties to
// even) as display_background and display_range, then redraws the light
// frame with them, or shows the no-data message without a light frame.
// Returns the captions of the levels drawn, as redraw_light_frame.
std::optional<LevelCaptions> histogram_ok(const ShownFrames& shown, Interaction& ui,
                                          const std::string& background_text, const std::string& range_text);

// The main window's texts and ticks the display commands write.
struct DisplayFields {
  std::string& range_caption;
  std::string& background_caption;
  std::string& Label1;  // cursor readout
  bool& Option1;        // binning none
  bool& Option2;        // binning 2 x 2
};

// What the display keeps: the frames in memory with their levels, the
// picture of the image area and the point of the line profile.
struct DisplayState {
  Frames frames;
  Picture picture;
  ProfilePoint profile;
};

class FrameDisplay {
 public:
  FrameDisplay(Interaction& ui, StatusLine status, DisplayFields fields)
      : ui_(ui), status_(status), fields_(fields) {}
  FrameDisplay(const FrameDisplay&) = delete;
  FrameDisplay& operator=(const FrameDisplay&) = delete;

  DisplayState& state() { return state_; }
  const DisplayState& state() const { return state_; }
  ShownFrames shown() { return {state_.frames, state_.picture}; }

  // Image menu: automatic brightness of the light frame.
  void image_menu_display_auto_Click();
  // Image menu: range and background typed into an input box; an empty
  // answer changes nothing, any other answer is read leniently and stored
  // even when no light frame is there to redraw.
  void image_menu_display_manual_range_Click();
  void image_menu_display_manual_background_Click();

  // Dark frame and flat field: showing them, and correcting the light frame
  // with them. The correcting commands redraw the light frame with fresh
  // levels, like a fresh download; the captions stay as they were.
  void image_menu_display_dark_Click();
  void image_menu_display_dark_sub_Click();
  void image_menu_display_flat_Click();
  void image_menu_display_flat_sub_Click();

  // The histogram window's OK (histogram_ok), the captions of the levels
  // drawn shown in the menu. False without a light frame.
  bool histogram_ok(const std::string& background_text, const std::string& range_text);

  // Shows " cx cy count" of the light frame under the pointer in Label1,
  // each number with its sign position; leaves Label1 as it is without a
  // frame.
  void Picture1_MouseMove(double X, double Y, double W, double H);

  // Binning none (1) or 2 x 2 (2) for the next exposure; the frames in
  // memory stay as they are.
  void Option1_Click();
  void Option2_Click();

 private:
  void show_level_captions(const std::optional<LevelCaptions>& captions);
  bool ask_level(const char* title, std::int32_t& level);
  bool flat_ready();

  Interaction& ui_;
  StatusLine status_;
  DisplayFields fields_;
  DisplayState state_;
};

}  // namespace stellacq
