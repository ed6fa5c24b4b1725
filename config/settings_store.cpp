#include "config/settings_store.h"

#include <string>

#include "config/ini_file.h"

namespace stellacq {

bool load_settings(const SettingsFile& file) {
  std::string reason;
  const SettingsFileState state = read_settings_file(file.path, file.settings, &reason);
  file.status.unreadable_reason = state == SettingsFileState::Unreadable ? reason : std::string();
  return state == SettingsFileState::Complete;
}

bool save_settings(const SettingsFile& file, Interaction& ui) {
  SettingsFileStatus& status = file.status;
  status.last_failure.clear();
  status.declined = false;
  if (!status.unreadable_reason.empty() &&
      ui.message_box("設定ファイル " + file.path + " は読めなかったため (" + status.unreadable_reason +
                         ")、初期値で動いています。\nこのファイルを今の設定で置き換えますか",
                     "STELLACQ", MessageButtons::OkCancel) != MessageAnswer::Ok) {
    status.declined = true;
    return false;
  }
  const ReplaceResult result = replace_settings_file(file.path, file.settings);
  if (!result.ok) {
    status.last_failure = result.reason;
    return false;
  }
  status.unreadable_reason.clear();
  return true;
}

void report_settings_write_failure(const SettingsFile& file, Interaction& ui) {
  const SettingsFileStatus& status = file.status;
  const std::string kept =
      "変更した設定はこのプログラムを終了するまで有効ですが、ファイルには保存されていません。";
  if (status.declined) {
    ui.message_box("設定ファイル " + file.path + " は置き換えませんでした。\n" + kept, "STELLACQ",
                   MessageButtons::Ok);
    return;
  }
  const std::string why = status.last_failure.empty() ? std::string() : " (" + status.last_failure + ")";
  ui.message_box("設定ファイル " + file.path + " に書き込めませんでした" + why + "。\n" + kept, "STELLACQ",
                 MessageButtons::Ok);
}

}  // namespace stellacq
