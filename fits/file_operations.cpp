#include "fits/file_operations.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "config/ini_file.h"
#include "config/settings_store.h"
#include "fits/reader.h"
#include "fits/writer.h"

namespace stellacq {

bool load_fits(const HeldFrames& held, Interaction& ui, const std::string& path, int target_mode) {
  const std::optional<std::string> refused = read_fits_frame(path, target_mode, held.headers, held.frames);
  if (refused) ui.message_box(*refused, {}, MessageButtons::Ok);
  return !refused;
}

namespace {

bool frame_size_fits(int width, int height) {
  return width >= 1 && width <= kFrameColumns && height >= 1 && height <= kFrameRows;
}

// The status line and message box of a written or failed save.
bool report_write(const StatusLine& status, const std::string& path, const WriteResult& result) {
  if (!result.ok) {
    status.show(" ファイル保存失敗");
    status.ui.message_box("ファイルを保存できません : " + path + "\n(" + result.reason + ")", "FITS",
                          MessageButtons::Ok);
    return false;
  }
  if (result.left_out_cards > 0)
    status.show(" ファイル保存終了 (ヘッダーカード " + std::to_string(result.left_out_cards) + " 枚を省略)");
  else
    status.show(" ファイル保存終了");
  status.ui.yield();
  return true;
}

}  // namespace

bool save_fits(const HeldFrames& held, const FileState& file, const StatusLine& status,
               const WriteOptions& options) {
  const bool light = file.file_mode == kSaveLight;
  const Frame& frame = light ? held.frames.light : held.frames.dark;
  if (!frame_size_fits(frame.width, frame.height)) {
    status.ui.message_box(light ? "You do not open the data file" : "You do not open the dark file", {},
                          MessageButtons::Ok);
    return false;
  }

  status.show(light ? " ライトフレーム保存中" : " ダークフレーム保存中");
  status.ui.yield();

  const std::string& path = file.save_file_name;
  const WriteResult result =
      write_fits_file(path, light ? held.headers.light_header : held.headers.dark_header, frame, options);
  return report_write(status, path, result);
}

namespace fs = std::filesystem;

std::string dialog_path_text(const std::string& folder, const std::string& name) {
  const bool has_separator = !folder.empty() && folder.back() == '/';
  return folder + (has_separator ? "" : "/") + name;
}

bool file_dialog_ok(const HeldFrames& held, FileState& file, const StatusLine& status, int file_mode,
                    const std::string& text) {
  Interaction& ui = status.ui;
  const bool open = file_mode == kOpenLight || file_mode == kOpenDark || file_mode == kOpenFlat;
  const bool save = file_mode == kSaveLight || file_mode == kSaveDark;
  if (!open && !save) return false;
  if (text.empty()) {
    ui.message_box("ファイル名を入力してください", {}, MessageButtons::Ok);
    return false;
  }
  std::error_code ec;
  if (fs::is_directory(text, ec)) {
    ui.message_box("フォルダーが指定されています。ファイルを選ぶか、ファイル名を入力してください : " + text,
                   {}, MessageButtons::Ok);
    return false;
  }

  // The dialog performs the operation it was opened for, even when a series
  // frame has set file_mode to 1 in the meantime.
  file.file_mode = file_mode;
  ui.busy_pointer(true);
  bool done;
  if (open) {
    done = load_fits(held, ui, text, file_mode);
  } else {
    file.save_file_name = text;
    done = save_fits(held, file, status);
  }
  ui.busy_pointer(false);
  ui.beep();
  return done;
}

bool save_folder_ok(const SettingsFile& file, Interaction& ui, std::string& text, bool save_checked) {
  if (!text.empty() && text.back() == '$') text.pop_back();
  if (text.empty()) {
    ui.message_box("フォルダーを入力してください", {}, MessageButtons::Ok);
    return false;
  }
  std::error_code ec;
  // Browsing moves the current folder, so a relative folder would wander.
  const fs::path absolute = fs::absolute(text, ec);
  if (!ec) text = absolute.string();

  const fs::file_status status = fs::status(text, ec);
  if (!fs::exists(status)) {
    if (ui.message_box("フォルダーを作成しますか", {}, MessageButtons::OkCancel) != MessageAnswer::Ok)
      return false;
    fs::create_directories(text, ec);
    if (ec || !fs::is_directory(text)) {
      ui.message_box("フォルダーを作成できません : " + text + "\n(" + ec.message() + ")", {},
                     MessageButtons::Ok);
      return false;
    }
    file.settings.save_folder = text;  // the check box is stored by a later OK
  } else if (!fs::is_directory(status)) {
    ui.message_box("同名のファイルがあります", {}, MessageButtons::Ok);
    return false;
  } else {
    file.settings.save_in_series = save_checked ? 1.0 : 0.0;
    file.settings.save_folder = text;
  }
  // As in the other settings dialogs, a failed write keeps the dialog open
  // for another try; the values stay in effect meanwhile.
  if (!save_settings(file, ui)) {
    report_settings_write_failure(file, ui);
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

NameList series_file_names(const std::string& path) {
  const std::string stem = path.size() > 4 ? path.substr(0, path.size() - 4) : path;  // without ".FIT"
  return [path, stem](int n) -> std::string {
    if (n == 0) return path;
    if (n < kSeriesNameSuffixes) return stem + "_" + std::to_string(n) + ".FIT";
    return {};
  };
}

WriteResult save_series_frame(const Frame& frame, const CardTable& header, const std::string& path,
                              const WriteOptions& options) {
  return write_new_fits_file(series_file_names(path), header, frame, options);
}

bool series_save(const Frame& frame, const CardTable& header, FileState& file, const Settings& settings,
                 const LocalDateTime& now, const StatusLine& status) {
  const std::string path = series_file_name(settings.save_folder, now);
  file.file_mode = kSaveLight;
  file.save_file_name = path;
  if (number_or_zero(settings.save_in_series) != 1) return true;

  if (settings.save_folder.empty()) {
    status.show(" 連続撮影の画像を保存できません");
    status.ui.message_box("連続撮影の画像を保存するフォルダーが指定されていません", {}, MessageButtons::Ok);
    return false;
  }
  if (!frame_size_fits(frame.width, frame.height)) {
    status.ui.message_box("You do not open the data file", {}, MessageButtons::Ok);
    status.show(" 連続撮影の画像を保存できません : " + path);
    return false;
  }
  status.show(" ライトフレーム保存中");
  status.ui.yield();
  const WriteResult result = save_series_frame(frame, header, path);
  if (result.all_taken) {
    status.show(" 連続撮影の画像を保存できません : " + path);
    status.ui.message_box("同じ時刻の画像が多すぎて、上書きせずに保存できません : " + path, {},
                          MessageButtons::Ok);
    return false;
  }
  if (result.ok) file.save_file_name = result.path;
  if (!report_write(status, path, result)) {  // the message box has said why
    status.show(" 連続撮影の画像を保存できません : " + path);
    return false;
  }
  return true;
}

}  // namespace stellacq
