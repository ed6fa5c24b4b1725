// The program's settings and their file: reading STELLACQ.INI at start,
// writing it after an OK, and telling the user when it could not be written.
//
// Reads and writes Program::settings, Program::ini_status and the file at
// Program::ini_path (fixed at start-up).
#pragma once

namespace stellacq {

class Program;

// Reads p.ini_path into p.settings. True when the file held all 25 fields.
// Notes in p.ini_status when the file exists but could not be read.
bool load_settings(Program& p);

// Writes p.settings to p.ini_path. When the file could not be read at start,
// asks first whether to replace it. False when the file was not written
// (p.ini_status says why); the caller then reports it
// (report_settings_write_failure).
bool save_settings(Program& p);

// Tells the user, in a message box naming the file and the reason, that the
// settings were not written and stay in effect only until the program ends.
void report_settings_write_failure(Program& p);

}  // namespace stellacq
