// What the OK buttons of the port and model dialogs do to the settings:
// store the choice in the record (and, for the parallel port, in the port
// addresses at once), then write the whole settings file.
//
// Writes the settings record and, for the parallel port, the port
// addresses; writes the settings file. Each returns save_settings' result;
// on false the caller reports it (report_settings_write_failure), the new
// values stay in effect for this run.
#pragma once

#include "config/settings_store.h"

namespace stellacq {

// option 1, 2, 3 = 0x278, 0x378, 0x3BC; 0 (none chosen) changes nothing.
bool confirm_parallel_port(const SettingsFile& file, PortAddresses& ports, Interaction& ui, int option);

// option 1, 2, 3 = COM1..COM3; 0 (none chosen) changes nothing.
bool confirm_com_port(const SettingsFile& file, Interaction& ui, int option);

// TU-11 / TX-11 are model 4, TU-22 / TX-22 model 16.
bool confirm_models(const SettingsFile& file, Interaction& ui, bool unit_is_tu11, bool head_is_tx11);

inline constexpr int kModel11 = 4;
inline constexpr int kModel22 = 16;

}  // namespace stellacq
