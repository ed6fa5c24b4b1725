// The windowless start of the settings: the settings read from
// STELLACQ.INI in the start folder, and the parallel-port addresses derived
// from them. The run-time state above the settings is set back to its start
// values by its owner before this runs.
//
// Shared state: writes the settings file's path, record and status, and the
// port addresses; may write the status line.
#pragma once

#include <string>

#include "config/settings_store.h"
#include "core/status_line.h"

namespace stellacq {

// Which port dialogs the main window must open (without waiting for them);
// with both, the parallel-port dialog goes in front.
struct StartupDialogs {
  bool open_com_dialog = false;
  bool open_parallel_dialog = false;
};

// Runs the start-up steps in order: sets the file's path from `start_dir`
// and loads the settings;
// reports which port dialogs are needed (a port setting of 0); applies
// parallel_port to the port addresses (left unset for a value other than 1,
// 2 or 3).
// A settings file that exists but could not be read whole is mentioned on
// the status line, one that could not be read at all with the reason (and
// the first save asks before replacing it); a missing file (first start)
// is not mentioned.
StartupDialogs settings_startup(const SettingsFile& file, PortAddresses& ports, const StatusLine& status,
                                const std::string& start_dir);

}  // namespace stellacq
