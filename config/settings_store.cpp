#include "config/settings_store.h"

#include <string>

#include "config/ini_file.h"
#include "program/program.h"

namespace stellacq {

bool load_settings(Program& p) {
  std::string reason;
  const SettingsFileState state = read_settings_file(p.ini_path, p.settings, &reason);
  p.ini_status.unreadable_reason = state == SettingsFileState::Unreadable ? reason : std::string();
  return state == SettingsFileState::Complete;
}

bool save_settings(Program& p) {
  SettingsFileStatus& status = p.ini_status;
  status.last_failure.clear();
  status.declined = false;
  if (!status.unreadable_reason.empty() &&
      p.ui.message_box("設定ファイル " + p.ini_path + " は読めなかったため (" + status.unreadable_reason +
                           ")、初期値で動いています。\nこのファイルを今の設定で置き換えますか",
                       "STELLACQ", MessageButtons::OkCancel) != MessageAnswer::Ok) {
    status.declined = true;
    return false;
  }
  const ReplaceResult result = replace_settings_file(p.ini_path, p.settings);
  if (!result.ok) {
    status.last_failure = result.reason;
    return false;
  }
  status.unreadable_reason.clear();
  return true;
}

void report_settings_write_failure(Program& p) {
  const SettingsFileStatus& status = p.ini_status;
  const std::string kept =
      "変更した設定はこのプログラムを終了するまで有効ですが、ファイルには保存されていません。";
  if (status.declined) {
    p.ui.message_box("設定ファイル " + p.ini_path + " は置き換えませんでした。\n" + kept, "STELLACQ",
                     MessageButtons::Ok);
    return;
  }
  const std::string why = status.last_failure.empty() ? std::string() : " (" + status.last_failure + ")";
  p.ui.message_box("設定ファイル " + p.ini_path + " に書き込めませんでした" + why + "。\n" + kept, "STELLACQ",
                   MessageButtons::Ok);
}

}  // namespace stellacq
