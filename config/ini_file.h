// The settings file STELLACQ.INI: 25 lines, one field of the settings record
// each, in record order, every line ended by CR LF. No keys, no comments.
//
// Numbers carry a sign position (" 4", "-1", " .5"); a number field that was
// never set is an empty line; the save folder is written as held, or in
// double quotes when it holds a comma (or would otherwise lose characters on
// reading). Reading is forgiving: blanks around a value are skipped, a
// leading "." is accepted, a folder line in double quotes is read whole and
// any other folder line ends at its first comma, and a line that is missing, not a
// number, or outside its field's range (a repeat count below 1 included)
// leaves that field at the value of a fresh record (so an unreadable file
// brings up both port dialogs).
//
// Reading and writing take the settings record and the path; the program's
// own file is handled by config/settings_store.h.
#pragma once

#include <string>

#include "config/settings.h"
#include "core/durable_file.h"

namespace stellacq {

inline constexpr int kSettingsLines = 25;
inline constexpr const char* kSettingsFileName = "STELLACQ.INI";

// start_dir + "/STELLACQ.INI" (no doubled slash when start_dir ends in one).
std::string ini_path_for(const std::string& start_dir);

// The 25 lines of the file for `settings`, each ended by CR LF.
std::string settings_file_text(const Settings& settings);

enum class SettingsFileState {
  Complete,    // all 25 fields read as they stand
  Partial,     // the file was there, but some fields took fresh values
  Missing,     // no file of that name; every field took its fresh value
  Unreadable,  // a file (or folder, pipe...) that could not be read; all fresh
};

// Parses file contents (any of CR LF, LF or CR line ends) into `settings`,
// which starts from a fresh record. Returns Complete only when all 25 lines
// were present and valid.
SettingsFileState parse_settings_text(const std::string& text, Settings& settings);

// Reads the file at `path` into `settings` (see parse_settings_text). A file
// that is not a regular file is never opened. For Unreadable, `reason`
// (when given) says why.
SettingsFileState read_settings_file(const std::string& path, Settings& settings,
                                     std::string* reason = nullptr);

// Writes `settings` to `path` through core/durable_file: unique temporary
// file, flushed, renamed over the old file; a link is saved through; a
// write-protected file is refused. On failure the old file stays as it was.
ReplaceResult replace_settings_file(const std::string& path, const Settings& settings);
bool write_settings_file(const std::string& path, const Settings& settings);

}  // namespace stellacq
