#include "fits/file_operations.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "config/ini_file.h"
#include "config/settings_store.h"
#include "fits/reader.h"
#include "fits/writer.h"
#include "program/program.h"

namespace stellacq {

bool load_fits(Program& p, const std::string& path, int target_mode) {
  const std::optional<std::string> refused = read_fits_frame(path, target_mode, p.headers, p.frames);
  if (refused) p.ui.message_box(*refused, {}, MessageButtons::Ok);
  return !refused;
}

bool save_fits(Program& p, const WriteOptions& options) {
  const bool light = p.file.file_mode == kSaveLight;
  const int width = light ? p.frames.image_width : p.frames.dark_width;
  const int height = light ? p.frames.image_height : p.frames.dark_height;
  if (width < 1 || width > kFrameColumns || height < 1 || height > kFrameRows) {
    p.ui.message_box(light ? "You do not open the data file" : "You do not open the dark file", {},
                     MessageButtons::Ok);
    return false;
  }

  set_status(p, light ? " ライトフレーム保存中" : " ダークフレーム保存中");
  p.ui.yield();

  const std::string& path = p.file.save_file_name;
  const WriteResult result =
      write_fits_file(path, light ? p.headers.light_header : p.headers.dark_header,
                      light ? p.frames.light_frame : p.frames.dark_frame, width, height, options);
  if (!result.ok) {
    set_status(p, " ファイル保存失敗");
    p.ui.message_box("ファイルを保存できません : " + path + "\n(" + result.reason + ")", "FITS",
                     MessageButtons::Ok);
    return false;
  }
  if (result.left_out_cards > 0)
    set_status(p,
               " ファイル保存終了 (ヘッダーカード " + std::to_string(result.left_out_cards) + " 枚を省略)");
  else
    set_status(p, " ファイル保存終了");
  p.ui.yield();
  return true;
}

namespace fs = std::filesystem;

std::string dialog_path_text(const std::string& folder, const std::string& name) {
  const bool has_separator = !folder.empty() && folder.back() == '/';
  return folder + (has_separator ? "" : "/") + name;
}

bool file_dialog_ok(Program& p, int file_mode, const std::string& text) {
  const bool open = file_mode == kOpenLight || file_mode == kOpenDark || file_mode == kOpenFlat;
  const bool save = file_mode == kSaveLight || file_mode == kSaveDark;
  if (!open && !save) return false;
  if (text.empty()) {
    p.ui.message_box("ファイル名を入力してください", {}, MessageButtons::Ok);
    return false;
  }
  std::error_code ec;
  if (fs::is_directory(text, ec)) {
    p.ui.message_box("フォルダーが指定されています。ファイルを選ぶか、ファイル名を入力してください : " + text,
                     {}, MessageButtons::Ok);
    return false;
  }

  // The dialog performs the operation it was opened for, even when a series
  // frame has set file_mode to 1 in the meantime.
  p.file.file_mode = file_mode;
  p.ui.busy_pointer(true);
  bool done;
  if (open) {
    done = load_fits(p, text, file_mode);
  } else {
    p.file.save_file_name = text;
    done = save_fits(p);
  }
  p.ui.busy_pointer(false);
  p.ui.beep();
  return done;
}

bool save_folder_ok(Program& p, std::string& text, bool save_checked) {
  if (!text.empty() && text.back() == '$') text.pop_back();
  if (text.empty()) {
    p.ui.message_box("フォルダーを入力してください", {}, MessageButtons::Ok);
    return false;
  }
  std::error_code ec;
  // Browsing moves the current folder, so a relative folder would wander.
  const fs::path absolute = fs::absolute(text, ec);
  if (!ec) text = absolute.string();

  const fs::file_status status = fs::status(text, ec);
  if (!fs::exists(status)) {
    if (p.ui.message_box("フォルダーを作成しますか", {}, MessageButtons::OkCancel) != MessageAnswer::Ok)
      return false;
    fs::create_directories(text, ec);
    if (ec || !fs::is_directory(text)) {
      p.ui.message_box("フォルダーを作成できません : " + text + "\n(" + ec.message() + ")", {},
                       MessageButtons::Ok);
      return false;
    }
    p.settings.save_folder = text;  // the check box is stored by a later OK
  } else if (!fs::is_directory(status)) {
    p.ui.message_box("同名のファイルがあります", {}, MessageButtons::Ok);
    return false;
  } else {
    p.settings.save_in_series = save_checked ? 1.0 : 0.0;
    p.settings.save_folder = text;
  }
  // As in the other settings dialogs, a failed write keeps the dialog open
  // for another try; the values stay in effect meanwhile.
  if (!save_settings(p)) {
    report_settings_write_failure(p);
    return false;
  }
  return true;
}

std::string series_file_name(const std::string& folder, const LocalDateTime& t) {
  char name[32];
  std::snprintf(name, sizeof name, "%02d%02d%02d%02d.FIT", t.day % 100, t.hour % 100, t.minute % 100,
                t.second % 100);
  return dialog_path_text(folder, name);
}

std::string free_series_file_name(const std::string& folder, const LocalDateTime& t) {
  const std::string name = series_file_name(folder, t);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(name, ec))) return name;
  const std::string stem = name.substr(0, name.size() - 4);  // without ".FIT"
  for (int n = 1; n < 1000; ++n) {
    const std::string other = stem + "_" + std::to_string(n) + ".FIT";
    if (!fs::exists(fs::symlink_status(other, ec))) return other;
  }
  return stem + "_1000.FIT";  // refused below: never written over
}

bool series_save(Program& p) {
  // One clock reading: the day and the time belong to the same instant.
  const LocalDateTime now = p.clock.local_now();
  p.file.file_mode = kSaveLight;
  if (number_or_zero(p.settings.save_in_series) != 1) {
    p.file.save_file_name = series_file_name(p.settings.save_folder, now);
    return true;
  }
  p.file.save_file_name = free_series_file_name(p.settings.save_folder, now);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(p.file.save_file_name, ec))) {
    set_status(p, " 連続撮影の画像を保存できません : " + p.file.save_file_name);
    p.ui.message_box("同じ時刻の画像が多すぎて、上書きせずに保存できません : " + p.file.save_file_name, {},
                     MessageButtons::Ok);
    return false;
  }

  if (p.settings.save_folder.empty()) {
    set_status(p, " 連続撮影の画像を保存できません");
    p.ui.message_box("連続撮影の画像を保存するフォルダーが指定されていません", {}, MessageButtons::Ok);
    return false;
  }
  if (!save_fits(p)) {  // save_fits has shown why in a message box
    set_status(p, " 連続撮影の画像を保存できません : " + p.file.save_file_name);
    return false;
  }
  return true;
}

}  // namespace stellacq
