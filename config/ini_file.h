// The settings file STELLACQ.INI: 25 lines, one field of the settings record
// each, in record order, every line ended by CR LF. No keys, no comments.
//
// Numbers carry a sign position (" 4", "-1", " .5"); a number field that was
// never set is an empty line; the save folder is written as held. Reading is
// forgiving: blanks around a value are skipped, a leading "." is accepted,
// the folder line ends at its first comma, and a line that is missing, not a
// number, or outside its field's range leaves that field at the value of a
// fresh record (so an unreadable file brings up both port dialogs).
//
// Shared state: Program::settings (read and written), Program::ini_path (read).
#pragma once

#include <string>

#include "config/settings.h"

namespace stellacq {

class Program;

inline constexpr int kSettingsLines = 25;
inline constexpr const char* kSettingsFileName = "STELLACQ.INI";

// start_dir + "/STELLACQ.INI" (no doubled slash when start_dir ends in one).
std::string ini_path_for(const std::string& start_dir);

// The 25 lines of the file for `settings`, each ended by CR LF.
std::string settings_file_text(const Settings& settings);

enum class SettingsFileState {
  Complete,  // all 25 fields read as they stand
  Partial,   // the file was there, but some fields took fresh values
  Missing,   // no readable file; every field took its fresh value
};

// Parses file contents (any of CR LF, LF or CR line ends) into `settings`,
// which starts from a fresh record. Returns Complete only when all 25 lines
// were present and valid.
SettingsFileState parse_settings_text(const std::string& text, Settings& settings);

// Reads the file at `path` into `settings` (see parse_settings_text).
SettingsFileState read_settings_file(const std::string& path, Settings& settings);

// Writes `settings` to `path` safely: the bytes go to a temporary file beside
// it, are flushed to the disk, and the temporary file is then renamed over
// the old one. On failure the old file stays as it was and false is returned.
bool write_settings_file(const std::string& path, const Settings& settings);

// Reads p.ini_path into p.settings. True when the file held all 25 fields.
bool load_settings(Program& p);

// Writes p.settings to p.ini_path. False when the file could not be written;
// the caller then reports it (report_settings_write_failure).
bool save_settings(Program& p);

// Tells the user, in a message box naming the file, that the settings could
// not be written and stay in effect only until the program ends.
void report_settings_write_failure(Program& p);

}  // namespace stellacq
