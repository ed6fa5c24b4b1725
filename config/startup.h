// The windowless start of the main window: run-time flags back to their
// start values, the settings read from STELLACQ.INI in the start folder,
// and the parallel-port addresses derived from them.
//
// Shared state: writes Program::link (camera_connected, unit_silent),
// frames (binning, flat_loaded), exposure, series, the two auto-guiding
// menu enable states and the binning/display ticks of form, ini_path,
// settings and ports; may write the status line.
#pragma once

#include <string>

namespace stellacq {

class Program;

// Which port dialogs the main window must open (without waiting for them);
// with both, the parallel-port dialog goes in front.
struct StartupDialogs {
  bool open_com_dialog = false;
  bool open_parallel_dialog = false;
};

// Runs the start-up steps in order: clears the camera link flags; binning
// 2 x 2, display after shooting on, no flat field, no series, no frame
// count; disables exp_menu_grab_auto and exp_menu_grab_auto_stop; sets
// ini_path from `start_dir` and loads the settings; reports which port
// dialogs are needed (a port setting of 0); applies parallel_port to the
// port addresses (left unset for a value other than 1, 2 or 3).
// A settings file that exists but could not be read whole is mentioned on
// the status line, one that could not be read at all with the reason (and
// the first save asks before replacing it); a missing file (first start)
// is not mentioned.
StartupDialogs settings_startup(Program& p, const std::string& start_dir);

}  // namespace stellacq
