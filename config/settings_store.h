// The program's settings and their file: reading STELLACQ.INI at start,
// writing it after an OK, and telling the user when it could not be written.
//
// Reads and writes the settings record, the file's status and the file at
// its path (fixed at start-up); asks and tells through the user-interaction
// seam.
#pragma once

#include <string>

#include "config/settings.h"
#include "core/interaction.h"

namespace stellacq {

// The settings record with its file: where it lives and what reading and
// writing it found.
struct SettingsFile {
  std::string& path;
  Settings& settings;
  SettingsFileStatus& status;
};

// Reads the file into the record. True when the file held all 25 fields.
// Notes in the status when the file exists but could not be read.
bool load_settings(const SettingsFile& file);

// Writes the record to the file. When the file could not be read at start,
// asks first whether to replace it. False when the file was not written
// (the status says why); the caller then reports it
// (report_settings_write_failure).
bool save_settings(const SettingsFile& file, Interaction& ui);

// Tells the user, in a message box naming the file and the reason, that the
// settings were not written and stay in effect only until the program ends.
void report_settings_write_failure(const SettingsFile& file, Interaction& ui);

}  // namespace stellacq
