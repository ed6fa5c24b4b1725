// What the OK buttons of the port and model dialogs do to the settings:
// store the choice in the record (and, for the parallel port, in the port
// addresses at once), then write the whole settings file.
//
// Shared state: writes Program::settings and Program::ports; writes the file
// at Program::ini_path. Each returns save_settings' result; on false the
// caller reports it (report_settings_write_failure), the new values stay in
// effect for this run.
#pragma once

namespace stellacq {

class Program;

// option 1, 2, 3 = 0x278, 0x378, 0x3BC; 0 (none chosen) changes nothing.
bool confirm_parallel_port(Program& p, int option);

// option 1, 2, 3 = COM1..COM3; 0 (none chosen) changes nothing.
bool confirm_com_port(Program& p, int option);

// TU-11 / TX-11 are model 4, TU-22 / TX-22 model 16.
bool confirm_models(Program& p, bool unit_is_tu11, bool head_is_tx11);

inline constexpr int kModel11 = 4;
inline constexpr int kModel22 = 16;

}  // namespace stellacq
