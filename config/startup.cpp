// Start-up of the settings and run-time state; see startup.h.

#include "config/startup.h"

#include "camera/link_state.h"
#include "config/ini_file.h"
#include "exposure/exposure_state.h"
#include "image/frames.h"

namespace stellacq {

StartupDialogs settings_startup(const RunFlags& run, const SettingsFile& file, PortAddresses& ports,
                                const StatusLine& status, const std::string& start_dir) {
  run.link.camera_connected = 0;
  run.link.unit_silent = false;

  run.frames.binning = 2;
  run.exposure.display_after_shooting = 1;
  run.frames.flat_loaded = 0;
  run.series.series_running = 0;
  run.series.frames_remaining = -1;

  file.path = ini_path_for(start_dir);
  std::string reason;
  const SettingsFileState state = read_settings_file(file.path, file.settings, &reason);
  file.status.unreadable_reason = state == SettingsFileState::Unreadable ? reason : std::string();
  if (state == SettingsFileState::Partial)
    status.show(" 設定ファイル " + file.path + " の一部が読めません。読めない項目は初期値にしました。");
  if (state == SettingsFileState::Unreadable)
    status.show(" 設定ファイル " + file.path + " を読めません (" + reason + ")。初期値で始めます。");

  StartupDialogs dialogs;
  dialogs.open_com_dialog = file.settings.com_port == 0;
  dialogs.open_parallel_dialog = file.settings.parallel_port == 0;

  apply_parallel_port(file.settings.parallel_port, ports);
  return dialogs;
}

}  // namespace stellacq
