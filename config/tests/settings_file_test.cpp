#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>
#include <vector>

#include "app/program_parts.h"
#include "config/ini_file.h"
#include "config/settings_store.h"
#include "config/startup.h"
#include "test_support/world.h"

namespace stellacq {
namespace {

using testing::file_bytes;

// The main window's start with the settings in `start_dir`.
StartupDialogs start(Program& p, const std::string& start_dir) {
  return settings_startup(settings_file(p), p.ports, status_line(p), start_dir);
}

// Every field a value of its own, in file order, so that two fields swapped
// show in the bytes; program_interval and program_wait never set.
const Settings kDistinct{
    1,  -1,  2,  3,  120000, -35, 30, 5, 0.5f, 6, 7, 1, 2, 2.25, 8, 16, 4, 9, "/home/obs/m42 night",
    10, 0.5, {}, 11, -12,    {}};

std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST(SettingsFileText, WritesTwentyFiveCrLfLinesWithSignPosition) {
  EXPECT_EQ(settings_file_text(kDistinct),
            " 1\r\n-1\r\n 2\r\n 3\r\n 120000\r\n-35\r\n 30\r\n 5\r\n .5\r\n 6\r\n 7\r\n 1\r\n 2\r\n"
            " 2.25\r\n 8\r\n 16\r\n 4\r\n 9\r\n/home/obs/m42 night\r\n 10\r\n .5\r\n\r\n 11\r\n-12\r\n\r\n");
  Settings odd;
  odd.x_tracking_factor = -2147483647 - 1;
  odd.search_span = 0;  // zero, unlike never set, is written
  odd.threshold = 1.0f / 3.0f;
  odd.x_move_repeat = 1.0 / 3.0;
  odd.save_folder = "/data/one\r\ntwo";  // a line break must not shift the later lines
  EXPECT_EQ(settings_file_text(odd),
            " 0\r\n 0\r\n 0\r\n 0\r\n-2147483648\r\n 0\r\n 0\r\n 0\r\n .3333333\r\n 0\r\n 0\r\n 0\r\n 0\r\n"
            " .333333333333333\r\n 1\r\n 16\r\n 16\r\n 0\r\n/data/one\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
  // Plain decimals however large or small: the file has no exponents.
  Settings wide;
  wide.threshold = 1e7f;
  wide.x_move_repeat = 1e15;
  wide.program_count = 1e20;
  wide.program_wait = 2.5e-9;
  const std::vector<std::string> lines = crlf_lines(settings_file_text(wide));
  EXPECT_EQ(std::tuple(lines[8], lines[13], lines[22], lines[24]),
            std::tuple(" 10000000", " 1000000000000000", " 100000000000000000000", " .0000000025"));
}

TEST(ParseSettings, ReadsValuesLenientlyAndRefusesWhatDoesNotFit) {
  // One line of a fresh file replaced; the field read back is shown as the
  // writer would write it. A value its field cannot hold leaves the field
  // fresh and the file incomplete.
  const struct {
    int line;  // 0-based
    const char *text, *read;
    bool complete;
  } cases[] = {
      // clang-format off
      {8, "-2.5", "-2.5", true},      {12, "  3 \t", " 3", true},     {6, "   ", "", true},
      {7, " 4.5", " 4", true},        {7, " 5.5", " 6", true},         {18, " /d/a,b ", "/d/a", true},
      // A quoted folder is read whole and written quoted again when it must be.
      {18, " \"/d/night,M42\" ", "\"/d/night,M42\"", true},      {18, "\"/d/plain\"", "/d/plain", true},
      {18, "\"/d/x", "\"\"/d/x\"", true},
      {4, " 2147483647", " 2147483647", true},                         {4, " 2147483648", " 0", false},
      {7, "-32769", " 0", false},     {8, " 1E+39", " 0", false},      {11, " 2x", " 0", false},
      {21, "later", "", false},
      // A repeat count below 1 is unreadable: the field stays fresh.
      {13, " 0", " 1", false},        {13, " .5", " 1", false},        {13, " 1.5", " 1.5", true},
      {14, "-3", " 1", false},        {14, " 0", " 1", false},         {14, " 2", " 2", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = crlf_lines(settings_file_text(Settings{}));
    lines[c.line] = c.text;
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    Settings s = kDistinct;
    const bool complete = parse_settings_text(text, s) == SettingsFileState::Complete;
    EXPECT_EQ(crlf_lines(settings_file_text(s))[c.line], c.read)
        << "line " << c.line + 1 << " \"" << c.text << '"';
    EXPECT_EQ(complete, c.complete) << "line " << c.line + 1 << " \"" << c.text << '"';
  }
}

TEST(ParseSettings, ToleratesOtherLineEndsExtraLinesAndShortFiles) {
  Settings waiting = kDistinct;
  waiting.program_wait = 60;
  const std::string crlf = settings_file_text(waiting);
  std::string lf = crlf;
  std::erase(lf, '\r');
  for (const std::string& text : {lf, crlf + "extra\r\nlines\r\n", crlf.substr(0, crlf.size() - 2)}) {
    Settings read;
    EXPECT_EQ(parse_settings_text(text, read), SettingsFileState::Complete);
    EXPECT_EQ(read, waiting);
  }
  // A short file keeps what it has; the rest is fresh.
  Settings s;
  EXPECT_EQ(parse_settings_text(crlf.substr(0, crlf.find("\r\n 2.25")), s), SettingsFileState::Partial);
  EXPECT_EQ(std::tuple(s.com_port, s.parallel_port, s.x_move_repeat, s.save_folder), std::tuple(1, 2, 1, ""));
}

// Random and mutated texts with a fixed seed. Whatever is read lies inside
// the fields' ranges and writes a file that reads back complete and the
// same; a file with one damaged line differs from its record in that
// line's field at most.
TEST(ParseSettingsFuzz, ReadsOnlyWhatItCanWriteBackAndDamageStaysLocal) {
  std::mt19937 rng(20260611);
  const auto pick = [&rng](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  const char* const pieces[] = {" ",     "-",      "+",     ".",    "e",     "E+400", "1",     "0",
                                "9",     "\r",     "\n",    "\r\n", ",",     "\t",    "nan",   "\0",
                                "32767", "-32769", "1E+15", "2.5",  "1e-30", "\xff",  "65536", "/a b"};
  const std::vector<std::string> clean = crlf_lines(settings_file_text(kDistinct));
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::string> lines = clean;
    const std::size_t damaged = pick(lines.size());
    std::string& line = lines[damaged];
    if (i % 2) line.clear();
    for (std::size_t n = pick(6); n > 0; --n) {
      const std::string piece = pieces[pick(std::size(pieces))];
      line.insert(pick(line.size() + 1), piece);
    }
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    if (i % 5 == 0) text.resize(pick(text.size() + 1));  // and sometimes cut short
    Settings read;
    parse_settings_text(text, read);
    EXPECT_GE(read.x_move_repeat, 1) << i;
    EXPECT_GE(read.y_move_repeat, 1) << i;

    Settings again;
    const std::string written = settings_file_text(read);
    ASSERT_EQ(parse_settings_text(written, again), SettingsFileState::Complete) << written;
    EXPECT_EQ(settings_file_text(again), written) << i;
    if (i % 5 != 0) {  // not cut: only the damaged line's field may differ
      std::vector<std::string> expected = clean, got = crlf_lines(written);
      // A line break typed into the damaged line shifts the lines below it.
      if (line.find_first_of("\r\n") == std::string::npos) {
        expected[damaged] = got[damaged];
        EXPECT_EQ(got, expected) << i << ": " << line;
      }
    }
  }
}

class SettingsFile : public ::testing::Test {
 protected:
  testing::ScratchDir folder;
  testing::World world;
  Program& p = world.p;
  void SetUp() override { p.ini_path = ini_path_for(folder.path()); }
  void write_ports(int com, int parallel) {
    Settings s;
    s.com_port = static_cast<std::int16_t>(com), s.parallel_port = static_cast<std::int16_t>(parallel);
    ASSERT_TRUE(write_settings_file(p.ini_path, s));
  }
};

// Folders that the comma rule of older files would cut, or whose blanks
// and quotes reading would strip, come back whole after a restart.
TEST_F(SettingsFile, AnyFolderNameComesBackWhole) {
  for (const char* folder : {"/data/night,M42", "/data/a,b,c", "\"/data/q", "/data/x ", "/data/\"m\""}) {
    p.settings.save_folder = folder;
    ASSERT_TRUE(save_settings(settings_file(p), p.ui));
    p.settings = Settings{};
    EXPECT_TRUE(load_settings(settings_file(p)));
    EXPECT_EQ(p.settings.save_folder, folder);
  }
}

TEST_F(SettingsFile, SavedRecordLoadsBackAndRewritesKeepEveryByte) {
  p.settings = kDistinct;
  ASSERT_TRUE(save_settings(settings_file(p), p.ui));
  const std::string first = file_bytes(p.ini_path);
  EXPECT_EQ(first, settings_file_text(kDistinct));
  p.settings = Settings{};
  ASSERT_TRUE(load_settings(settings_file(p)));
  ASSERT_TRUE(save_settings(settings_file(p), p.ui));
  EXPECT_EQ(std::tuple(p.settings, file_bytes(p.ini_path)),
            std::tuple(kDistinct, first));  // never-set program fields stay empty lines
}

TEST_F(SettingsFile, FailedWriteLeavesTheOldFileIntactAndIsReportedWithItsReason) {
  p.settings = kDistinct;
  ASSERT_TRUE(save_settings(settings_file(p), p.ui));
  const std::string old_bytes = file_bytes(p.ini_path);
  p.settings.com_port = 3;
  {
    testing::FileSizeLimit disk_full(100);  // the file is 128 bytes
    EXPECT_FALSE(save_settings(settings_file(p), p.ui));
  }
  EXPECT_EQ(file_bytes(p.ini_path), old_bytes);
  report_settings_write_failure(settings_file(p), p.ui);
  ASSERT_EQ(world.ui.boxes.size(), 1u);
  EXPECT_TRUE(world.ui.boxes[0].text.starts_with("設定ファイル " + p.ini_path +
                                                 " に書き込めませんでした (File too large)。"))
      << world.ui.boxes[0].text;
}

TEST_F(SettingsFile, OpensPortDialogsForUnchosenPortsAndDerivesAddresses) {
  const struct {
    int com, parallel;
    bool com_dialog, parallel_dialog;
    std::uint16_t data;  // 0: addresses left unset
  } cases[] = {
      {0, 0, true, true, 0},  {2, 1, false, false, 0x278}, {0, 3, true, false, 0x3BC},
      {1, 0, false, true, 0}, {1, 5, false, false, 0},
  };
  for (const auto& c : cases) {
    testing::World w;
    write_ports(c.com, c.parallel);
    const StartupDialogs d = start(w.p, folder.path() + "/");
    EXPECT_EQ(w.p.ini_path, folder.path() + "/STELLACQ.INI");
    SCOPED_TRACE("com " + std::to_string(c.com) + " parallel " + std::to_string(c.parallel));
    EXPECT_EQ(std::pair(d.open_com_dialog, d.open_parallel_dialog),
              std::pair(c.com_dialog, c.parallel_dialog));
    const PortAddresses& a = w.p.ports;
    EXPECT_EQ(std::make_tuple(a.set, a.port_data, a.port_status, a.port_control),
              std::make_tuple(c.data != 0, c.data, c.data ? c.data + 1 : 0, c.data ? c.data + 2 : 0));
  }
}

TEST_F(SettingsFile, MissingGarbledOrUnreadableFileAsksForBothPorts) {
  // A first start says nothing; a damaged file is mentioned on the status
  // line, one that cannot be read at all with the reason.
  for (const char* kind : {"missing", "garbled", "folder", "pipe", "no access"}) {
    const std::string k = kind;
    std::filesystem::remove_all(p.ini_path);
    if (k == "garbled") std::ofstream(p.ini_path) << "\x01\x02 not a settings file";
    if (k == "folder") std::filesystem::create_directory(p.ini_path);
    if (k == "pipe") ::mkfifo(p.ini_path.c_str(), 0644);  // must not hold the start
    if (k == "no access") {
      if (::geteuid() == 0) continue;  // root reads any file
      write_ports(1, 1);
      ::chmod(p.ini_path.c_str(), 0);
    }
    testing::World w;
    const StartupDialogs d = start(w.p, folder.path());
    SCOPED_TRACE(kind);
    EXPECT_EQ(std::tuple(d.open_com_dialog, d.open_parallel_dialog, w.p.ports.set),
              std::tuple(true, true, false));
    EXPECT_EQ(w.p.settings, Settings{});
    const std::string path = w.p.ini_path;
    const std::string reason = k == "folder" ? "Is a directory"
                               : k == "pipe" ? "not a regular file"
                                             : "Permission denied";
    const std::vector<std::string> expected =
        k == "missing"   ? std::vector<std::string>{}
        : k == "garbled" ? std::vector<std::string>{" 設定ファイル " + path +
                                                    " の一部が読めません。読めない項目は初期値にしました。"}
                         : std::vector<std::string>{" 設定ファイル " + path + " を読めません (" + reason +
                                                    ")。初期値で始めます。"};
    EXPECT_EQ(w.ui.statuses, expected);
  }
}

TEST_F(SettingsFile, AFileThatCouldNotBeReadIsReplacedOnlyAfterAsking) {
  // The start could not read the file (here a folder); the first save asks.
  // Cancel keeps it; OK tries to replace it and says why it cannot.
  std::filesystem::create_directory(p.ini_path);
  start(p, folder.path());
  p.settings.com_port = 2;
  world.ui.box_answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
  for (const char* report : {"は置き換えませんでした。", "に書き込めませんでした (Is a directory)。"}) {
    world.ui.boxes.clear();
    EXPECT_FALSE(save_settings(settings_file(p), p.ui));
    report_settings_write_failure(settings_file(p), p.ui);
    ASSERT_EQ(world.ui.boxes.size(), 2u);
    EXPECT_EQ(world.ui.boxes[0].buttons, MessageButtons::OkCancel);
    EXPECT_TRUE(world.ui.boxes[0].text.ends_with("このファイルを今の設定で置き換えますか"));
    EXPECT_NE(world.ui.boxes[1].text.find(p.ini_path + " " + report), std::string::npos)
        << world.ui.boxes[1].text;
    EXPECT_TRUE(std::filesystem::is_directory(p.ini_path));
  }
  // Once the file could be replaced, later saves ask no more.
  std::filesystem::remove(p.ini_path);
  world.ui.boxes.clear();
  world.ui.box_answers = {MessageAnswer::Ok};
  EXPECT_TRUE(save_settings(settings_file(p), p.ui));
  EXPECT_TRUE(save_settings(settings_file(p), p.ui));
  EXPECT_EQ(world.ui.boxes.size(), 1u);
}

}  // namespace
}  // namespace stellacq
