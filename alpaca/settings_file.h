// stellacq-alpaca's settings file, which the program reads at start and the
// setup page writes, and where it and the server's own data folder lie by
// default.
#pragma once

#include <string>

#include "alpaca/camera_device.h"

namespace stellacq::alpaca {

// The settings file: the setup page's values as JSON. Missing or unreadable
// fields keep `defaults`.
DeviceSettings load_settings(const std::string& path, const DeviceSettings& defaults);
// Empty on success, else why the file could not be written.
std::string save_settings(const std::string& path, const DeviceSettings& settings);
// load_settings, and a UniqueID made and saved when the file has none (the
// first start); one that cannot be saved still serves this run.
DeviceSettings load_settings_with_id(const std::string& path);
// $XDG_CONFIG_HOME/stellacq/alpaca.json, or ~/.config/stellacq/alpaca.json.
std::string default_settings_path();
// The server's own data folder: $STATE_DIRECTORY (the system service's),
// else $XDG_DATA_HOME/stellacq/alpaca or ~/.local/share/stellacq/alpaca.
std::string default_fits_root();

}  // namespace stellacq::alpaca
