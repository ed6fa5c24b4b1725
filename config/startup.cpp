// Start-up of the settings; see startup.h.

#include "config/startup.h"

#include "config/ini_file.h"

namespace stellacq {

StartupDialogs settings_startup(const SettingsFile& file, PortAddresses& ports, const StatusLine& status,
                                const std::string& start_dir) {
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
