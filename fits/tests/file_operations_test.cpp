#include "fits/file_operations.h"

#include <gtest/gtest.h>

#include "app/program_parts.h"
#include "fits/header_builder.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using World = testing::World;

// A 384 x 256 light frame with its header; the settings file in `dir`.
void take_light(World& w, const ScratchDir& dir) {
  w.p.ini_path = dir.file("STELLACQ.INI"), w.p.settings.head_model = 4;
  make_light_header(w.p.headers, w.p.shooting.record_start(w.p.frames.light));
  w.p.frames.light.counts.at(3, 4) = 4321;
}

// Each OK in turn on a fresh program with a light frame: an operation that
// ran shows the busy pointer and beeps once; a refusal explains itself.
TEST(FileDialogOk, OperationsAndRefusals) {
  ScratchDir dir;
  std::ofstream(dir.file("plain")) << "x";
  const std::string typed = dir.file("typed_name");  // no extension is added
  const std::tuple<int, std::string, const char*, int> cases[] = {
      {kSaveLight, typed, "", 1},
      {kOpenDark, typed, "", 1},
      {kOpenLight, "", "ファイル名を入力してください", 0},
      {kOpenFlat, dir.path(), "フォルダーが指定されています", 0},
      {kOpenLight, dir.file("missing.fit"), "ファイルを開けません", 1},
      {kSaveLight, dir.file("plain/x.fit"), "ファイルを保存できません", 1},
      {kSaveDark, dir.file("d.fit"), "You do not open the dark file", 1},
      {5, dir.file("x.fit"), nullptr, 0},  // an unknown operation does nothing at all
  };
  for (const auto& [mode, text, message, beeps] : cases) {
    World w;
    take_light(w, dir);
    w.p.file.file_mode = 99;
    const bool done = message && !*message;
    EXPECT_EQ(file_dialog_ok(held_frames(w.p), w.p.file, status_line(w.p), mode, text), done) << text;
    ASSERT_EQ(w.ui.boxes.size(), message && *message ? 1u : 0u) << text;
    EXPECT_TRUE(w.ui.boxes.empty() || w.ui.boxes[0].text.starts_with(message)) << text;
    EXPECT_EQ(w.p.file.file_mode, beeps ? mode : 99);
    EXPECT_EQ(std::tuple(w.ui.busy_on, w.ui.busy_off, w.ui.beeps), std::tuple(beeps, beeps, beeps)) << text;
    EXPECT_EQ(w.p.frames.dark.counts.at(3, 4), mode == kOpenDark && done ? 4321 : 0);
  }
  EXPECT_FALSE(fs::exists(dir.file("x.fit")));
  EXPECT_FALSE(fs::exists(dir.file("d.fit")));
}

TEST(SaveFolderOk, EveryPathOfTheOkButtonInTurn) {
  ScratchDir dir;
  World w;
  take_light(w, dir);
  const std::string existing = dir.file("existing"), created = dir.file("new/nested"),
                    file = dir.file("afile");
  fs::create_directory(existing);
  std::ofstream(file) << "x";
  w.p.settings.save_in_series = 1.0;
  struct Step {
    std::string typed;
    MessageAnswer answer;     // to the creation question
    std::string box, folder;  // the last message ("" none), save_folder after
    double save_in_series;    // after; the check box is always ticked but in the first step
  };
  const Step steps[] = {
      {existing + "$", MessageAnswer::Ok, "", existing, 0},
      {file, MessageAnswer::Ok, "同名のファイルがあります", existing, 0},
      {created, MessageAnswer::Cancel, "フォルダーを作成しますか", existing, 0},
      // Creating stores the folder, not the check box; a second OK stores it.
      {created, MessageAnswer::Ok, "フォルダーを作成しますか", created, 0},
      {created, MessageAnswer::Ok, "", created, 1},
      {file + "/sub", MessageAnswer::Ok, "フォルダーを作成できません : ", created, 1},
      {"$", MessageAnswer::Ok, "フォルダーを入力してください", created, 1},
  };
  for (const Step& s : steps) {
    const bool closes =
        s.box.empty() || (s.box == "フォルダーを作成しますか" && s.answer == MessageAnswer::Ok);
    fs::remove(w.p.ini_path);
    w.ui.boxes.clear();
    w.ui.box_answers = {s.answer};
    std::string text = s.typed;
    EXPECT_EQ(save_folder_ok(settings_file(w.p), w.p.ui, text, &s != &steps[0]), closes) << s.typed;
    EXPECT_EQ(w.ui.boxes.empty() ? "" : w.ui.boxes.back().text.substr(0, s.box.size()), s.box) << s.typed;
    EXPECT_EQ(
        std::tuple(w.p.settings.save_folder, w.p.settings.save_in_series, fs::exists(w.p.ini_path), text),
        std::tuple(s.folder, s.save_in_series, closes,
                   s.typed.ends_with("$") ? s.typed.substr(0, s.typed.size() - 1) : s.typed));
  }
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::Ok);
}

TEST(SaveFolderOk, AFailedSettingsWriteKeepsTheDialogOpen) {
  ScratchDir dir;
  World w;
  w.p.ini_path = dir.file("gone/STELLACQ.INI");  // its folder has vanished
  std::string text = dir.path();
  EXPECT_FALSE(save_folder_ok(settings_file(w.p), w.p.ui, text, true));
  EXPECT_EQ(w.p.settings.save_folder, dir.path());  // in effect for this run
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_TRUE(w.ui.boxes[0].text.starts_with("設定ファイル " + w.p.ini_path + " に書き込めませんでした"));
}

TEST(SeriesSave, WritesOnlyWhenSwitchedOnAndStopsOnAVanishedFolder) {
  ScratchDir dir;
  struct Case {
    double save_in_series;
    std::string folder, status;  // the last status line ("" none)
  };
  const Case cases[] = {
      {0, dir.path(), ""},
      {1, dir.path(), " ファイル保存終了"},
      {1, dir.file("gone"), " 連続撮影の画像を保存できません : " + dir.file("gone/25210309.FIT")},
      {1, "", " 連続撮影の画像を保存できません"}};
  for (const Case& c : cases) {
    World w;
    take_light(w, dir);
    w.clock.now_value = {2026, 12, 25, 21, 3, 9};
    w.p.file.file_mode = kOpenFlat;
    w.p.settings.save_in_series = c.save_in_series;
    w.p.settings.save_folder = c.folder;
    const bool ok = !c.status.starts_with(" 連続");
    EXPECT_EQ(series_save(w.p.frames.light, w.p.headers.light_header, w.p.file, w.p.settings,
                          w.p.clock.local_now(), status_line(w.p)),
              ok)
        << c.folder;
    EXPECT_EQ(std::tie(w.p.file.file_mode, w.p.file.save_file_name),
              std::tuple(kSaveLight, c.folder + "/25210309.FIT"));
    EXPECT_EQ(std::tuple(fs::exists(w.p.file.save_file_name), w.ui.statuses.empty() ? "" : w.ui.last_status(),
                         w.ui.boxes.size()),
              std::tuple(c.save_in_series == 1 && ok, c.status, ok ? 0u : 1u));
    fs::remove(dir.file("25210309.FIT"));
  }
}

}  // namespace
}  // namespace stellacq
