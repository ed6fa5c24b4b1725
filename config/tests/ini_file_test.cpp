#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "config/tests/test_program.h"

namespace stellacq {
namespace {

using testing::read_bytes;
using testing::TempFolder;
using testing::TestWorld;
using testing::write_bytes;

Settings typical_settings() {
  Settings s;
  s.x_reverse = 1;
  s.y_reverse = 0;
  s.x_tracking_on = 1;
  s.y_tracking_on = 1;
  s.x_tracking_factor = 120000;
  s.y_tracking_factor = -35;
  s.search_span = 30;
  s.aperture = 5;
  s.threshold = 0.5f;
  s.guide_dark_sub = 1;
  s.guide_flat_sub = 0;
  s.com_port = 1;
  s.parallel_port = 2;
  s.x_move_repeat = 2.25;
  s.y_move_repeat = 3;
  s.unit_model = 16;
  s.head_model = 4;
  s.small_shift_ignore = 1;
  s.save_folder = "/home/obs/m42 night";
  s.save_in_series = 1;
  s.program_shutter = 0.5;
  // program_interval never set
  s.program_count = 10;
  s.program_repeat = -1;
  // program_wait never set
  return s;
}

TEST(SettingsFileText, WritesTwentyFiveLinesWithSignPositionAndCrLf) {
  const std::string expected =
      " 1\r\n 0\r\n 1\r\n 1\r\n 120000\r\n-35\r\n 30\r\n 5\r\n .5\r\n 1\r\n 0\r\n 1\r\n 2\r\n"
      " 2.25\r\n 3\r\n 16\r\n 4\r\n 1\r\n/home/obs/m42 night\r\n 1\r\n .5\r\n\r\n 10\r\n-1\r\n\r\n";
  EXPECT_EQ(settings_file_text(typical_settings()), expected);

  const std::string fresh =
      " 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n"
      " 0\r\n 0\r\n 0\r\n 0\r\n 0\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
  EXPECT_EQ(settings_file_text(Settings{}), fresh);
}

struct LineCase {
  std::function<void(Settings&)> set;
  int line;  // 0-based
  const char* text;
};

TEST(SettingsFileText, WritesEachFieldKindInItsOwnForm) {
  const LineCase cases[] = {
      {[](Settings& s) { s.threshold = 0.1f; }, 8, " .1"},
      {[](Settings& s) { s.threshold = -2.5f; }, 8, "-2.5"},
      {[](Settings& s) { s.threshold = 1.0f / 3.0f; }, 8, " .3333333"},
      {[](Settings& s) { s.x_move_repeat = 1.0 / 3.0; }, 13, " .333333333333333"},
      {[](Settings& s) { s.x_move_repeat = 1e20; }, 13, " 1E+20"},
      {[](Settings& s) { s.x_tracking_factor = -2147483647 - 1; }, 4, "-2147483648"},
      {[](Settings& s) { s.aperture = -32768; }, 7, "-32768"},
      {[](Settings& s) { s.search_span = 0; }, 6, " 0"},
      {[](Settings& s) { s.program_wait = 12.75; }, 24, " 12.75"},
      {[](Settings& s) { s.save_folder = " C:\\a,b "; }, 18, " C:\\a,b "},
      {[](Settings& s) { s.save_folder = "/data/one\r\ntwo"; }, 18, "/data/one"},
  };
  for (const auto& c : cases) {
    Settings s;
    c.set(s);
    const std::string text = settings_file_text(s);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 25u) << c.text;
    EXPECT_EQ(lines[c.line], c.text);
  }
}

// Builds a file from a fresh record's lines with one line replaced.
std::string file_with_line(int line, const std::string& text) {
  std::string out;
  const std::string fresh = settings_file_text(Settings{});
  std::size_t start = 0;
  for (int i = 0; i < kSettingsLines; ++i) {
    const std::size_t end = fresh.find("\r\n", start);
    out += (i == line ? text : fresh.substr(start, end - start)) + "\r\n";
    start = end + 2;
  }
  return out;
}

struct ReadCase {
  int line;
  const char* text;
  std::function<bool(const Settings&)> holds;
  bool complete;
};

TEST(ParseSettings, ReadsValuesLenientlyAndRejectsWhatDoesNotFit) {
  const ReadCase cases[] = {
      {8, " .5", [](const Settings& s) { return s.threshold == 0.5f; }, true},
      {8, ".5", [](const Settings& s) { return s.threshold == 0.5f; }, true},
      {4, "-1", [](const Settings& s) { return s.x_tracking_factor == -1; }, true},
      {12, "   3 \t", [](const Settings& s) { return s.parallel_port == 3; }, true},
      {6, "", [](const Settings& s) { return !s.search_span.has_value(); }, true},
      {6, "   ", [](const Settings& s) { return !s.search_span.has_value(); }, true},
      {20, " 120", [](const Settings& s) { return s.program_shutter == 120.0; }, true},
      {13, " 1E+20", [](const Settings& s) { return s.x_move_repeat == 1e20; }, true},
      {13, "-.25", [](const Settings& s) { return s.x_move_repeat == -0.25; }, true},
      {7, " 4.5", [](const Settings& s) { return s.aperture == 4; }, true},
      {7, " 5.5", [](const Settings& s) { return s.aperture == 6; }, true},
      {4, " 2147483647", [](const Settings& s) { return s.x_tracking_factor == 2147483647; }, true},
      {18, "  /data/a,b,c  ", [](const Settings& s) { return s.save_folder == "/data/a"; }, true},
      {18, "", [](const Settings& s) { return s.save_folder.empty(); }, true},
      // Values a field cannot hold leave it fresh and mark the file incomplete.
      {12, " 99999", [](const Settings& s) { return s.parallel_port == 0; }, false},
      {7, "-32769", [](const Settings& s) { return s.aperture == 0; }, false},
      {4, " 2147483648", [](const Settings& s) { return s.x_tracking_factor == 0; }, false},
      {8, " 1E+39", [](const Settings& s) { return s.threshold == 0.0f; }, false},
      {13, " 1E+999", [](const Settings& s) { return s.x_move_repeat == 0.0; }, false},
      {11, "abc", [](const Settings& s) { return s.com_port == 0; }, false},
      {11, " 2x", [](const Settings& s) { return s.com_port == 0; }, false},
      {11, "", [](const Settings& s) { return s.com_port == 0; }, false},
      {11, ".", [](const Settings& s) { return s.com_port == 0; }, false},
      {11, "1e", [](const Settings& s) { return s.com_port == 0; }, false},
      {11, "0x10", [](const Settings& s) { return s.com_port == 0; }, false},
      {21, "later", [](const Settings& s) { return !s.program_interval.has_value(); }, false},
  };
  for (const auto& c : cases) {
    Settings s = typical_settings();
    const SettingsFileState state = parse_settings_text(file_with_line(c.line, c.text), s);
    EXPECT_TRUE(c.holds(s)) << "line " << c.line + 1 << " \"" << c.text << '"';
    EXPECT_EQ(state, c.complete ? SettingsFileState::Complete : SettingsFileState::Partial)
        << "line " << c.line + 1 << " \"" << c.text << '"';
  }
}

TEST(ParseSettings, RoundTripsEveryField) {
  Settings with_negatives = typical_settings();
  with_negatives.x_reverse = -1;
  with_negatives.threshold = -123.4567f;
  with_negatives.x_move_repeat = 0.1 + 0.2;
  with_negatives.save_in_series.reset();
  with_negatives.save_folder = "";
  for (const Settings& original : {typical_settings(), Settings{}, with_negatives}) {
    Settings read;
    EXPECT_EQ(parse_settings_text(settings_file_text(original), read), SettingsFileState::Complete);
    Settings expected = original;
    if (original.x_move_repeat == 0.1 + 0.2) expected.x_move_repeat = 0.3;  // written with 15 digits
    EXPECT_EQ(read, expected);
  }
}

TEST(ParseSettings, AcceptsAnyLineEndAndIgnoresExtraLines) {
  std::string crlf = settings_file_text(typical_settings());
  std::string lf, cr;
  for (char c : crlf) {
    if (c != '\r') lf += c;
    if (c != '\n') cr += c;
  }
  for (const std::string& text : {lf, cr, crlf + "extra\r\nlines\r\n"}) {
    Settings s;
    EXPECT_EQ(parse_settings_text(text, s), SettingsFileState::Complete);
    EXPECT_EQ(s, typical_settings());
  }
  // A last line without its line end still counts.
  Settings waiting = typical_settings();
  waiting.program_wait = 60;
  const std::string text = settings_file_text(waiting);
  Settings s;
  EXPECT_EQ(parse_settings_text(text.substr(0, text.size() - 2), s), SettingsFileState::Complete);
  EXPECT_EQ(s, waiting);
}

TEST(ParseSettings, ShortOrGarbledTextGivesFreshValuesForWhatIsMissing) {
  const std::string full = settings_file_text(typical_settings());
  // The first 12 lines only: com_port read, parallel_port and later fresh.
  std::size_t cut = 0;
  for (int i = 0; i < 12; ++i) cut = full.find("\r\n", cut) + 2;
  Settings s;
  EXPECT_EQ(parse_settings_text(full.substr(0, cut), s), SettingsFileState::Partial);
  EXPECT_EQ(s.com_port, 1);
  EXPECT_EQ(s.parallel_port, 0);
  EXPECT_EQ(s.save_folder, "");
  EXPECT_FALSE(s.save_in_series.has_value());

  for (const std::string& text : {std::string(), std::string("\0\0\xff\xfe garbage", 14),
                                  std::string(5000, ','), std::string(100, '\n')}) {
    Settings g = typical_settings();
    EXPECT_EQ(parse_settings_text(text, g), SettingsFileState::Partial);
    EXPECT_EQ(g.com_port, 0);
    EXPECT_EQ(g.parallel_port, 0);
    EXPECT_EQ(g.x_tracking_factor, 0);
  }
}

TEST(IniPath, JoinsStartFolderAndFileName) {
  EXPECT_EQ(ini_path_for("/home/obs"), "/home/obs/STELLACQ.INI");
  EXPECT_EQ(ini_path_for("/"), "/STELLACQ.INI");
  EXPECT_EQ(ini_path_for("/home/obs/"), "/home/obs/STELLACQ.INI");
}

class SettingsFile : public ::testing::Test {
 protected:
  TempFolder folder;
  TestWorld world;
  Program& p = world.p;
  void SetUp() override { p.ini_path = ini_path_for(folder.path()); }
};

TEST_F(SettingsFile, SaveThenLoadRestoresTheRecordAndLeavesNoTemporaryFile) {
  p.settings = typical_settings();
  ASSERT_TRUE(save_settings(p));
  EXPECT_EQ(read_bytes(p.ini_path), settings_file_text(typical_settings()));
  EXPECT_FALSE(std::filesystem::exists(p.ini_path + ".tmp"));

  p.settings = Settings{};
  EXPECT_TRUE(load_settings(p));
  EXPECT_EQ(p.settings, typical_settings());
}

TEST_F(SettingsFile, EmptyNumberLinesSurviveRepeatedRewrites) {
  Settings s;
  s.com_port = 2;
  s.parallel_port = 1;
  s.save_folder = "/data";
  p.settings = s;
  ASSERT_TRUE(save_settings(p));
  const std::string first = read_bytes(p.ini_path);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(load_settings(p));
    ASSERT_TRUE(save_settings(p));
  }
  EXPECT_EQ(read_bytes(p.ini_path), first);
  EXPECT_NE(first.find("\r\n\r\n\r\n\r\n\r\n\r\n\r\n"), std::string::npos);  // lines 20..25 empty
  EXPECT_FALSE(p.settings.program_wait.has_value());
  EXPECT_FALSE(p.settings.save_in_series.has_value());
}

TEST_F(SettingsFile, MissingShortOrUnreadableFileGivesAFreshRecord) {
  p.settings = typical_settings();
  EXPECT_FALSE(load_settings(p));  // no file yet
  EXPECT_EQ(p.settings, Settings{});
  EXPECT_EQ(read_settings_file(p.ini_path, p.settings), SettingsFileState::Missing);

  write_bytes(p.ini_path, " 1\r\n 1\r\n");
  p.settings = typical_settings();
  EXPECT_FALSE(load_settings(p));
  EXPECT_EQ(p.settings.x_reverse, 1);
  EXPECT_EQ(p.settings.com_port, 0);

  std::filesystem::remove(p.ini_path);
  std::filesystem::create_directory(p.ini_path);  // a folder where the file should be
  EXPECT_EQ(read_settings_file(p.ini_path, p.settings), SettingsFileState::Missing);
  EXPECT_EQ(p.settings, Settings{});
}

TEST_F(SettingsFile, FailedWriteLeavesTheOldFileIntactAndReportsFalse) {
  p.settings = typical_settings();
  ASSERT_TRUE(save_settings(p));
  const std::string old_bytes = read_bytes(p.ini_path);

  // The temporary file cannot be created: the old file must stay as it was.
  std::filesystem::create_directory(p.ini_path + ".tmp");
  p.settings.com_port = 3;
  EXPECT_FALSE(save_settings(p));
  EXPECT_EQ(read_bytes(p.ini_path), old_bytes);
  std::filesystem::remove(p.ini_path + ".tmp");

  // The settings path is a folder: rename fails, nothing is left behind.
  const std::string folder_path = folder.file("as_folder");
  std::filesystem::create_directories(folder_path + "/inside");
  EXPECT_FALSE(write_settings_file(folder_path, p.settings));
  EXPECT_TRUE(std::filesystem::is_directory(folder_path + "/inside"));
  EXPECT_FALSE(std::filesystem::exists(folder_path + ".tmp"));

  // The parent is a regular file.
  write_bytes(folder.file("plain"), "x");
  EXPECT_FALSE(write_settings_file(folder.file("plain") + "/STELLACQ.INI", p.settings));
  EXPECT_EQ(read_bytes(folder.file("plain")), "x");
}

TEST_F(SettingsFile, RewriteKeepsThePermissionsOfTheOldFile) {
  ASSERT_TRUE(save_settings(p));
  ASSERT_EQ(::chmod(p.ini_path.c_str(), 0640), 0);
  p.settings.com_port = 2;
  ASSERT_TRUE(save_settings(p));
  struct stat st {};
  ASSERT_EQ(::stat(p.ini_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace stellacq
