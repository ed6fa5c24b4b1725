// Durable file replacement on both kinds of temporary file: what is
// replaced, what is refused, what a failed write leaves, and the clean-up
// of orphans that killed saves left behind.
#include "core/durable_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support/world.h"

namespace stellacq {
namespace {

namespace fs = std::filesystem;
using testing::file_bytes;
using testing::folder_names;
using testing::ScratchDir;

ContentWriter text_writer(const std::string& text) {
  return [text](int fd) { return write_all(fd, text.data(), text.size()); };
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(ReplaceFile, TargetsReplacedAndRefused) {
  const mode_t mask = ::umask(022);
  struct Case {
    const char* what;
    const char* reason;  // "" when the file is replaced
    mode_t mode;         // of the written file
  };
  const Case cases[] = {
      {"new", "", 0644},
      {"mode 0640", "", 0640},
      {"mode 0200", "", 0600},  // its owner can always read it back
      {"mode 0444", ::geteuid() == 0 ? "write-protected file" : "Permission denied", 0444},
      {"folder", "Is a directory", 0},
      {"pipe", "not a regular file", 0},
      {"link", "", 0640},
      {"link loop", "Too many levels of symbolic links", 0},
      {"no folder", "No such file or directory", 0},
  };
  for (const bool unnamed : {true, false}) {
    for (const Case& c : cases) {
      ScratchDir dir, other;
      const std::string what = c.what, target = dir.file("target.ini"), real = other.file("real.ini");
      std::string path = target;
      if (what.starts_with("mode")) {
        std::ofstream(target) << "old";
        ::chmod(target.c_str(), static_cast<mode_t>(std::stoi(what.substr(5), nullptr, 8)));
      }
      if (what == "folder") fs::create_directory(target);
      if (what == "pipe") ::mkfifo(target.c_str(), 0644);
      if (what == "link") {
        std::ofstream(real) << "old";
        ::chmod(real.c_str(), 0640);
        fs::create_symlink("../" + fs::path(other.path()).filename().string() + "/real.ini", target);
      }
      if (what == "link loop") fs::create_symlink("target.ini", target);
      if (what == "no folder") path = dir.file("gone/target.ini");
      SCOPED_TRACE(what + (unnamed ? " (unnamed)" : " (named)"));

      const ReplaceResult r = replace_file(path, text_writer("new"), {true, unnamed});
      EXPECT_EQ(r.reason, c.reason);
      EXPECT_EQ(r.ok, !*c.reason);
      const std::string written = what == "link" ? real : target;
      if (r.ok || what == "mode 0444") {
        EXPECT_EQ(file_bytes(written), r.ok ? "new" : "old");
        EXPECT_EQ(mode_of(written), c.mode);
      }
      EXPECT_EQ(fs::is_symlink(target), what.starts_with("link"));
      EXPECT_EQ(fs::is_fifo(fs::symlink_status(target)), what == "pipe");
      // Nothing but the target in either folder.
      EXPECT_EQ(folder_names(dir.path()),
                what == "no folder" ? std::vector<std::string>{} : std::vector<std::string>{"target.ini"});
      EXPECT_EQ(folder_names(other.path()),
                what == "link" ? std::vector<std::string>{"real.ini"} : std::vector<std::string>{});
    }
  }
  ::umask(mask);
}

TEST(ReplaceFile, FailedWriteKeepsTheOldFileAndLeavesNothing) {
  for (const bool unnamed : {true, false}) {
    ScratchDir dir;
    const std::string path = dir.file("frame.fit");
    std::ofstream(path) << "old contents";
    ReplaceResult r;
    {
      testing::FileSizeLimit limit(1000);
      r = replace_file(path, text_writer(std::string(5000, 'x')), {true, unnamed});
    }
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, "File too large");
    EXPECT_EQ(file_bytes(path), "old contents");
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"frame.fit"}));
  }
}

// A new file never replaces one: a name that another writer takes while
// this file is being written (between any check and the publish) is passed
// over for the next; a dangling link counts as taken; with every name taken
// nothing is written and no temporary file stays.
TEST(CreateNewFile, TakesTheNextNameWhenOneAppearsMeanwhile) {
  for (const bool unnamed : {true, false}) {
    ScratchDir dir;
    const NameList names = [&](int n) { return n < 4 ? dir.file("f" + std::to_string(n)) : std::string(); };
    ::symlink(dir.file("nowhere").c_str(), dir.file("f1").c_str());
    const auto racing_writer = [&](int fd) {
      std::ofstream(dir.file("f0")) << "other program";
      return write_all(fd, "ours", 4);
    };
    const CreateResult r = create_new_file(names, racing_writer, {true, unnamed});
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(r.path, dir.file("f2"));
    EXPECT_EQ(file_bytes(dir.file("f0")), "other program");
    EXPECT_EQ(file_bytes(dir.file("f2")), "ours");
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));

    std::ofstream(dir.file("f3")) << "third";
    const CreateResult full = create_new_file(names, text_writer("lost"), {true, unnamed});
    EXPECT_FALSE(full.ok);
    EXPECT_TRUE(full.all_taken);
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"f0", "f1", "f2", "f3"})) << unnamed;
    EXPECT_EQ(file_bytes(dir.file("f3")), "third");
  }
}

TEST(ReplaceFile, RemovesOnlyStaleUnlockedOrphansOfItsOwnPattern) {
  ScratchDir dir;
  const std::string prefix = temporary_prefix("a.fit");
  const auto make = [&](const std::string& name, int minutes_old) {
    std::ofstream(dir.file(name)) << "orphan";
    const timespec times[2] = {{::time(nullptr) - minutes_old * 60, 0},
                               {::time(nullptr) - minutes_old * 60, 0}};
    ::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0);
  };
  make(prefix + "stale1", 5);
  make(prefix + "young1", 0);        // may be a save that has just begun
  make(prefix + "locked", 5);        // a save still running
  make(".a.fit.abcdef", 5);          // not our pattern
  make("a.fit.stellacq-abcdef", 5);  // not hidden: not ours either
  const int held = ::open(dir.file(prefix + "locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  ASSERT_TRUE(replace_file(dir.file("b.fit"), text_writer("new"), {true, false}).ok);
  ::close(held);
  EXPECT_EQ(folder_names(dir.path()),
            (std::vector<std::string>{".a.fit.abcdef", prefix + "locked", prefix + "young1",
                                      "a.fit.stellacq-abcdef", "b.fit"}));
}

}  // namespace
}  // namespace stellacq
