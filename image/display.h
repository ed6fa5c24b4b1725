// Drawing a frame into the image area of the main window, the level
// captions of the Image menu, and the brightness commands of that menu.
//
// Reads the frames and display levels (p.frames), writes p.picture, the two
// level captions in p.form and, through the commands, the display levels.
#pragma once

#include "program/program.h"
#include "image/frames.h"

namespace stellacq {

// Texts shown when a command finds no frame to work on.
inline constexpr const char* kNoDataFile = "You do not open the data file";
inline constexpr const char* kNoDarkFile = "You do not open the dark file";
inline constexpr const char* kNoFlatFile = "You do not open the flat field file";

// True when a light frame is in memory (both sizes non-zero).
bool light_frame_present(const Frames& frames);

// Screen column and row of frame pixel (x, y) for a frame of width x height:
// every frame lands in the same area of about 303 x 200 screen pixels.
int screen_x(int x, int width);
int screen_y(int y, int height);

// Clears p.picture, draws `frame` over width x height in grey under the
// current levels and tells the window once that the picture changed. Where
// several frame pixels fall on one screen pixel the one with the largest y,
// then the largest x, shows. Sizes are limited to the buffer's shape.
void draw_frame(Program& p, const FrameBuffer& frame, int width, int height);

// Captions of the range and background menu items with the current levels:
// "レンジ  ( 2000 )", "バックグランド  (-5 )".
void show_level_captions(Program& p);

// Image menu: automatic brightness of the light frame.
void image_menu_display_auto_Click(Program& p);
// Image menu: range and background typed into an input box; an empty answer
// changes nothing, any other answer is read leniently and stored even when
// no light frame is there to redraw.
void image_menu_display_manual_range_Click(Program& p);
void image_menu_display_manual_background_Click(Program& p);

// Shows the light frame with the levels as they stand (no auto_level):
// captions, drawing, busy pointer around it and one beep; the no-data
// message when there is no light frame.
void redraw_light_frame(Program& p);

// Shows the frame `source` names (DisplaySource::Light/Dark/Flat) with fresh
// levels: its own extremes into scan_max/scan_min, display_source, then
// auto_level, the level captions when `captions`, and the drawing; ends
// the busy pointer the caller started after its checks, with one beep.
void show_auto_levelled(Program& p, DisplaySource source, bool captions);

}  // namespace stellacq
