// The program-wide state and the seams the logic talks through.
//
// One Program object lives as long as the main window. It owns the settings
// record, the port addresses, the header card tables, the file operation,
// the camera, and the controllers of the camera connection, the telescope
// panel, the frame display, guiding, single shots, series and program
// shooting, each made with the parts it uses and owning its own run-time
// state (defined in the folder of its subsystem). The windows take the
// controller or the parts they show.
#pragma once

#include <string>

#include "camera/camera.h"
#include "camera/connection.h"
#include "camera/link_state.h"
#include "camera/port_io.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "core/busy_count.h"
#include "core/clock.h"
#include "core/interaction.h"
#include "core/numeric.h"
#include "exposure/program_shooting.h"
#include "exposure/series.h"
#include "exposure/shot_fields.h"
#include "exposure/single.h"
#include "fits/header_tables.h"
#include "guiding/guide_lock.h"
#include "image/frame_display.h"
#include "telescope/mount.h"
#include "telescope/serial_line.h"
#include "telescope/telescope.h"

namespace stellacq {

// Texts and ticks of the main window's controls. The controllers are given
// the ones they write (the status line, the date and temperature lines, the
// captions and menu states) and read the fields they take as numbers
// (FormShotFields, the set temperature as a handler's argument). The window
// copies them into its widgets after every handler and at every yield;
// typing into a field writes the field here at once.
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
  bool exp_menu_grab_auto_enabled = false;  // enabled while a guide star is locked by a click
  bool exp_menu_grab_auto_stop_enabled = false;
};

// The main window's shutter-speed and interval fields as the shootings read
// and write them.
class FormShotFields final : public ShotFields {
 public:
  explicit FormShotFields(Form1Fields& form) : form_(form) {}
  double shutter_seconds() const override { return numeric_value(form_.Text5); }
  double interval_seconds() const override { return numeric_value(form_.Text6); }
  void set_whole_shutter_seconds(int seconds) override { form_.Text5 = decimal_text(seconds); }
  void set_whole_interval_seconds(int seconds) override { form_.Text6 = decimal_text(seconds); }
  void set_program_row(const std::string& shutter, const std::string& interval) override {
    form_.Text5 = shutter;
    form_.Text6 = interval;
  }

 private:
  Form1Fields& form_;
};

// The devices and the person the program talks to. The two programs and the
// test worlds each build one and hand it to Program.
struct Seams {
  Seams(PortIo& port_io, Clock& clock_source, Interaction& person, BusyCount& busy_count, SerialLine& line,
        Clock* line_clock_source = nullptr)
      : port(port_io),
        clock(clock_source),
        ui(person),
        busy(busy_count),
        serial(line),
        line_clock(line_clock_source ? *line_clock_source : clock_source) {}
  PortIo& port;
  Clock& clock;
  Interaction& ui;
  BusyCount& busy;
  SerialLine& serial;  // the mount controller's line
  // The time the mount's replies are waited on: the program's clock, or in
  // a simulated observatory the clock the simulated devices run on.
  Clock& line_clock;
};

class Program {
 public:
  explicit Program(const Seams& seams)
      : port(seams.port),
        clock(seams.clock),
        ui(seams.ui),
        busy(seams.busy),
        serial(seams.serial),
        connection(camera, settings, ports, clock, ui, status, {form.Text1, form.Text3, form.Text4},
                   [this] { return series.state().frames_remaining; }),
        telescope(serial, busy, seams.line_clock, ui, settings, status, [this] { return shooting_runs(); }) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Seams.
  PortIo& port;
  Clock& clock;
  Interaction& ui;
  BusyCount& busy;
  SerialLine& serial;

  // Configuration.
  Settings settings;
  PortAddresses ports;
  std::string ini_path;  // fixed at start-up
  SettingsFileStatus ini_status;

  // The camera on the chosen port; `link` is its link state.
  Camera camera{port, ports, clock, busy};
  CameraLinkState& link = camera.link();

  // Main window and subsystems.
  Form1Fields form;
  FormShotFields shot_fields{form};
  StatusLine status{form.Text7, ui};
  FrameDisplay display{
      ui, status, {form.range_caption, form.background_caption, form.Label1, form.Option1, form.Option2}};
  // The display's state, as the file commands, the camera and the windows
  // reach it.
  Frames& frames = display.state().frames;
  Picture& picture = display.state().picture;
  ProfilePoint& profile = display.state().profile;
  HeaderTables headers;
  FileState file;
  // The camera menu's connection and cooling, and the main window's tick.
  CameraConnection connection;
  // The mount on `serial` with the telescope window's state: every command
  // to the mount goes through it.
  TelescopePanel telescope;
  Guiding guiding{display,
                  telescope,
                  settings,
                  clock,
                  status,
                  {form.exp_menu_grab_auto_enabled, form.exp_menu_grab_auto_stop_enabled},
                  [this] { return shooting_runs(); }};
  GuideState& guide = guiding.state();
  Shooting shooting{camera, settings, display, headers, clock, status, shot_fields};
  ExposureState& exposure = shooting.state();
  // The series runs the main window's timer at once to show a count.
  SeriesShooting series{shooting, display, guiding, settings,    headers,
                        file,     clock,   status,  shot_fields, [this] { connection.Timer1_Timer(); }};
  ProgramShooting program_shooting{series, {ini_path, settings, ini_status}, clock, status, shot_fields};

  // A series or a program shooting runs: the telescope panel and guiding
  // then tell of a lost line on the status line rather than in a box.
  bool shooting_runs() const {
    return series.state().series_running == 1 || series.state().program_running == 1;
  }
};

// The camera, told the head and the unit of the settings as they are now.
inline Camera& camera_of(Program& p) {
  p.camera.set_models(p.settings.head_model, p.settings.unit_model);
  return p.camera;
}

}  // namespace stellacq
