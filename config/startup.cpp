// Start-up of the settings and run-time state; see startup.h.

#include "config/startup.h"

#include "config/ini_file.h"
#include "program/program.h"

namespace stellacq {

StartupDialogs settings_startup(Program& p, const std::string& start_dir) {
  p.link.camera_connected = 0;
  p.link.unit_silent = false;

  p.frames.binning = 2;
  p.form.Option1 = false;
  p.form.Option2 = true;
  p.exposure.display_after_shooting = 1;
  p.form.Check1 = true;
  p.frames.flat_loaded = 0;
  p.series.series_running = 0;
  p.series.frames_remaining = -1;

  p.form.exp_menu_grab_auto_enabled = false;
  p.form.exp_menu_grab_auto_stop_enabled = false;

  p.ini_path = ini_path_for(start_dir);
  std::string reason;
  const SettingsFileState state = read_settings_file(p.ini_path, p.settings, &reason);
  p.ini_status.unreadable_reason = state == SettingsFileState::Unreadable ? reason : std::string();
  if (state == SettingsFileState::Partial)
    set_status(p, " 設定ファイル " + p.ini_path + " の一部が読めません。読めない項目は初期値にしました。");
  if (state == SettingsFileState::Unreadable)
    set_status(p, " 設定ファイル " + p.ini_path + " を読めません (" + reason + ")。初期値で始めます。");

  StartupDialogs dialogs;
  dialogs.open_com_dialog = p.settings.com_port == 0;
  dialogs.open_parallel_dialog = p.settings.parallel_port == 0;

  apply_parallel_port(p.settings.parallel_port, p.ports);
  return dialogs;
}

}  // namespace stellacq
