#include "fits/file_operations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fits/header_builder.h"
#include "fits/tests/test_world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::World;

class FileOperationsTest : public ::testing::Test {
 protected:
  FileOperationsTest() {
    w.p.ini_path = dir.file("STELLACQ.INI");
    w.p.settings.head_model = 4;
    w.p.frames.binning = 2;
    make_light_header(w.p);  // a 384 x 256 light frame
    w.p.frames.light_frame.at(3, 4) = 4321;
  }
  ScratchDir dir;
  World w;
};

TEST_F(FileOperationsTest, DialogOkSavesAndOpensWithPointerAndBeep) {
  const std::string path = dir.file("typed_name");  // no extension is added
  EXPECT_TRUE(file_dialog_ok(w.p, kSaveLight, path));
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(w.p.file.save_file_name, path);
  EXPECT_EQ(w.p.file.file_mode, kSaveLight);

  EXPECT_TRUE(file_dialog_ok(w.p, kOpenDark, path));
  EXPECT_EQ(w.p.file.file_mode, kOpenDark);
  EXPECT_EQ(w.p.frames.dark_frame.at(3, 4), 4321);
  EXPECT_EQ(w.p.frames.dark_width, 384);
  EXPECT_EQ(w.ui.busy_on, 2);
  EXPECT_EQ(w.ui.busy_off, 2);
  EXPECT_FALSE(w.ui.busy_now);
  EXPECT_EQ(w.ui.beeps, 2);
  EXPECT_TRUE(w.ui.boxes.empty());
}

TEST_F(FileOperationsTest, DialogOkRefusalsKeepTheDialogOpen) {
  { std::ofstream(dir.file("plain")) << "x"; }
  struct Case {
    int mode;
    std::string text;
    const char* message_start;  // nullptr: nothing is shown at all
  };
  const Case cases[] = {
      {kOpenLight, "", "ファイル名を入力してください"},
      {kSaveLight, "", "ファイル名を入力してください"},
      {kOpenFlat, dir.path().string(), "フォルダーが指定されています"},
      {kSaveDark, dir.path().string() + "/", "フォルダーが指定されています"},
      {kOpenLight, dir.file("missing.fit"), "ファイルを開けません"},
      {kSaveLight, dir.file("plain") + "/x.fit", "ファイルを保存できません"},
      {kSaveDark, dir.file("d.fit"), "You do not open the dark file"},
      {5, dir.file("x.fit"), nullptr},
  };
  for (const Case& c : cases) {
    World fresh;
    fresh.p.frames = w.p.frames;
    fresh.p.headers = w.p.headers;
    fresh.p.file.file_mode = 99;
    EXPECT_FALSE(file_dialog_ok(fresh.p, c.mode, c.text)) << c.text;
    if (c.message_start == nullptr) {
      EXPECT_TRUE(fresh.ui.boxes.empty());
      EXPECT_EQ(fresh.p.file.file_mode, 99);
      continue;
    }
    ASSERT_EQ(fresh.ui.boxes.size(), 1u) << c.text;
    EXPECT_EQ(fresh.ui.boxes[0].text.rfind(c.message_start, 0), 0u) << fresh.ui.boxes[0].text;
    EXPECT_FALSE(fresh.ui.busy_now);
  }
  EXPECT_FALSE(fs::exists(dir.file("x.fit")));
  EXPECT_FALSE(fs::exists(dir.file("d.fit")));
}

TEST_F(FileOperationsTest, SaveFolderOkPaths) {
  const std::string existing = dir.file("existing");
  fs::create_directory(existing);
  { std::ofstream(dir.file("afile")) << "x"; }
  w.p.settings.save_in_series = 1.0;

  // An existing folder stores the folder and the check box; "$" is dropped.
  std::string text = existing + "$";
  EXPECT_TRUE(save_folder_ok(w.p, text, false));
  EXPECT_EQ(text, existing);
  EXPECT_EQ(w.p.settings.save_folder, existing);
  EXPECT_EQ(w.p.settings.save_in_series, 0.0);
  EXPECT_TRUE(fs::exists(w.p.ini_path));
  EXPECT_TRUE(w.ui.boxes.empty());

  // A file of that name is refused and nothing is stored.
  text = dir.file("afile");
  EXPECT_FALSE(save_folder_ok(w.p, text, true));
  ASSERT_EQ(w.ui.boxes.size(), 1u);
  EXPECT_EQ(w.ui.boxes[0].text, "同名のファイルがあります");
  EXPECT_EQ(w.ui.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(w.p.settings.save_folder, existing);

  // A missing folder (parent missing too): Cancel changes nothing.
  const std::string fresh_folder = dir.file("new/nested");
  text = fresh_folder;
  w.ui.box_answers.push_back(MessageAnswer::Cancel);
  EXPECT_FALSE(save_folder_ok(w.p, text, true));
  EXPECT_EQ(w.ui.boxes.back().text, "フォルダーを作成しますか");
  EXPECT_EQ(w.ui.boxes.back().buttons, MessageButtons::OkCancel);
  EXPECT_FALSE(fs::exists(fresh_folder));
  EXPECT_EQ(w.p.settings.save_folder, existing);

  // OK creates it with its parent and stores the folder, not the check box...
  w.ui.box_answers.push_back(MessageAnswer::Ok);
  EXPECT_TRUE(save_folder_ok(w.p, text, true));
  EXPECT_TRUE(fs::is_directory(fresh_folder));
  EXPECT_EQ(w.p.settings.save_folder, fresh_folder);
  EXPECT_EQ(w.p.settings.save_in_series, 0.0);
  // ...which a second OK, the folder now existing, stores.
  EXPECT_TRUE(save_folder_ok(w.p, text, true));
  EXPECT_EQ(w.p.settings.save_in_series, 1.0);
}

TEST_F(FileOperationsTest, SaveFolderThatCannotBeCreatedOrIsEmpty) {
  { std::ofstream(dir.file("afile")) << "x"; }
  w.p.settings.save_folder = "/kept";
  std::string text = dir.file("afile") + "/sub";
  EXPECT_FALSE(save_folder_ok(w.p, text, true));
  ASSERT_EQ(w.ui.boxes.size(), 2u);
  EXPECT_EQ(w.ui.boxes[1].text.rfind("フォルダーを作成できません : ", 0), 0u);
  text = "$";
  EXPECT_FALSE(save_folder_ok(w.p, text, true));
  EXPECT_EQ(w.ui.boxes.back().text, "フォルダーを入力してください");
  EXPECT_EQ(w.p.settings.save_folder, "/kept");
  EXPECT_FALSE(fs::exists(w.p.ini_path));
}

TEST_F(FileOperationsTest, SeriesNamesFromDayAndTime) {
  struct Case {
    const char* folder;
    LocalDateTime t;
    const char* name;
  };
  const Case cases[] = {
      {"/data/m42", {2026, 12, 25, 21, 3, 9}, "/data/m42/25210309.FIT"},
      {"/data/m42/", {2026, 12, 25, 21, 3, 9}, "/data/m42/25210309.FIT"},
      {"/", {2027, 1, 5, 0, 0, 0}, "/05000000.FIT"},
      {"/d", {2027, 2, 25, 21, 3, 9}, "/d/25210309.FIT"},  // same name another month
  };
  for (const Case& c : cases) EXPECT_EQ(series_file_name(c.folder, c.t), c.name);
}

TEST(DialogPathText, OneSeparatorAtTheRootAndInSubfolders) {
  struct Case {
    const char *folder, *name, *text;
  };
  const Case cases[] = {
      {"/", "IMAGE.FIT", "/IMAGE.FIT"},
      {"/data/m42", "IMAGE.FIT", "/data/m42/IMAGE.FIT"},
      {"/data/m42", "", "/data/m42/"},
      {"/", "", "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(dialog_path_text(c.folder, c.name), c.text);
}

TEST_F(FileOperationsTest, SeriesSaveWritesOnlyWhenSwitchedOn) {
  w.p.settings.save_folder = dir.path().string();
  w.clock.now_value = {2026, 12, 25, 21, 3, 9};
  w.p.file.file_mode = kOpenFlat;
  w.p.settings.save_in_series = 0.0;
  EXPECT_TRUE(series_save(w.p));
  EXPECT_EQ(w.p.file.file_mode, kSaveLight);
  EXPECT_EQ(w.p.file.save_file_name, dir.file("25210309.FIT"));
  EXPECT_FALSE(fs::exists(dir.file("25210309.FIT")));

  w.p.settings.save_in_series = 1.0;
  EXPECT_TRUE(series_save(w.p));
  EXPECT_TRUE(fs::exists(dir.file("25210309.FIT")));
  EXPECT_EQ(w.ui.last_status(), " ファイル保存終了");
}

TEST_F(FileOperationsTest, SeriesSaveIntoAVanishedFolderStopsWithAReport) {
  w.p.settings.save_in_series = 1.0;
  for (const std::string& folder : {dir.file("gone"), std::string()}) {
    World fresh;
    fresh.p.frames = w.p.frames;
    fresh.p.headers = w.p.headers;
    fresh.p.settings = w.p.settings;
    fresh.p.settings.save_folder = folder;
    EXPECT_FALSE(series_save(fresh.p)) << folder;
    EXPECT_EQ(fresh.ui.last_status(), " 連続撮影の画像を保存できません");
    EXPECT_EQ(fresh.ui.boxes.size(), 1u);
    EXPECT_FALSE(fs::exists(dir.file("gone")));
  }
}

}  // namespace
}  // namespace stellacq
