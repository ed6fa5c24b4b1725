// The program-wide state and the seams the logic talks through.
//
// One Program object lives as long as the main window. It owns the settings
// record, the port addresses, the frames and display levels, the header card
// tables, the file operation, and the run-time state of the camera link, the
// series and guiding, grouped by the subsystem that defines each. Logic
// functions take the Program by reference; the windows read and write the
// same object and show what it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera/port_io.h"
#include "config/settings.h"
#include "core/clock.h"
#include "core/interaction.h"
#include "fits/header_tables.h"
#include "image/frames.h"
#include "core/busy_count.h"

namespace stellacq {

// Texts and ticks of the main window's controls that the logic reads and
// rewrites. The window copies them into its widgets after every handler and
// at every yield; typing into a field writes the field here at once.
struct Form1Fields {
  std::string Text1 = "1998-01-01";  // date-and-time line
  std::string Text3 = "-10";         // set CCD temperature, degrees C
  std::string Text4 = " --.-";       // current CCD temperature, degrees C
  std::string Text5 = "30";          // shutter speed, seconds
  std::string Text6 = "0";           // shooting interval, seconds
  std::string Text7;                 // status line
  std::string Label1;                // cursor readout
  bool Check1 = true;                // display after shooting
  bool Option1 = false;              // binning none
  bool Option2 = true;               // binning 2 x 2

  // Menu captions and enable states that the logic changes.
  std::string range_caption = "レンジ";
  std::string background_caption = "バックグランド";
  bool exp_menu_grab_auto_enabled = true;
  bool exp_menu_grab_auto_stop_enabled = true;
};

struct CameraLinkState {
  std::int16_t camera_connected = 0;
  std::string command_text;  // the command send_command sends
  std::string reply_text;    // one character per received byte
  std::uint8_t count_low = 0;
  std::uint8_t count_high = 0;
  // Set when a handshake with the unit gave up; the periodic temperature
  // query stays silent until the next connection command, so a unit that
  // does not answer cannot freeze the window at every tick.
  bool unit_silent = false;
};

struct ExposureState {
  int display_after_shooting = 1;
};

struct SeriesState {
  int series_running = 0;
  int frames_remaining = -1;  // -1 while no counted series runs
  int guiding_mode = 0;
  std::string interval_text;
  std::string next_shot_text;
  int program_running = 0;
};

struct GuideState {
  std::int16_t guide_locked = 0;
  int guide_x = 0, guide_y = 0;  // locked position, frame pixels
  int star_x = 0, star_y = 0;    // best aperture box of the last measurement
  double star_sum = 0;
  double sky_sum = 0;
};

struct TelescopeState {
  int move_amount = 0;
};

class Program {
 public:
  Program(PortIo& port, Clock& clock, Interaction& ui, BusyCount& busy)
      : port(port), clock(clock), ui(ui), busy(busy) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Seams.
  PortIo& port;
  Clock& clock;
  Interaction& ui;
  BusyCount& busy;

  // Configuration.
  Settings settings;
  PortAddresses ports;
  std::string ini_path;  // fixed at start-up
  SettingsFileStatus ini_status;

  // Main window and subsystems.
  Form1Fields form;
  CameraLinkState link;
  Frames frames;
  Picture picture;
  HeaderTables headers;
  FileState file;
  ExposureState exposure;
  SeriesState series;
  GuideState guide;
  TelescopeState telescope;
};

// Writes the status line: keeps the text in Text7 and shows it at once.
inline void set_status(Program& p, const std::string& text) {
  p.form.Text7 = text;
  p.ui.status(text);
}

}  // namespace stellacq
