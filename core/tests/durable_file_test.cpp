// Durable file replacement on both kinds of temporary file: what is
// replaced, what is refused, what a failed write leaves, and the clean-up
// of orphans that killed saves left behind.
#include "core/durable_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
      EXPECT_EQ(std::tuple(r.ok, r.reason), std::tuple(!*c.reason, std::string(c.reason)));
      const std::string written = what == "link" ? real : target;
      if (r.ok || what == "mode 0444") {
        EXPECT_EQ(std::tuple(file_bytes(written), mode_of(written)),
                  std::tuple(std::string(r.ok ? "new" : "old"), c.mode));
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
    EXPECT_EQ(std::tuple(r.ok, r.reason), std::tuple(false, std::string("File too large")));
    EXPECT_EQ(file_bytes(path), "old contents");
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"frame.fit"}));
  }
}

// File systems that lack some of the calls a new file is published with,
// as the save meets them: a lacking call fails with `g_refusal`.
int g_refusal = 0;
int g_links = 0;
int refuse_unnamed(const char*, mode_t) { return errno = g_refusal, -1; }
int refuse_link(int, const char*, int, const char*, int) { return errno = g_refusal, -1; }
int refuse_rename(int, const char*, int, const char*, unsigned) { return errno = g_refusal, -1; }
int refuse_mode(int, mode_t) { return errno = g_refusal, -1; }
int counted_link(int old_dir, const char* old_path, int new_dir, const char* new_path, int flags) {
  ++g_links;
  return ::linkat(old_dir, old_path, new_dir, new_path, flags);
}

struct FileSystemKind {
  std::string what;
  bool unnamed;
  FileSystemCalls calls;
  int refusal;
};

std::vector<FileSystemKind> file_system_kinds() {
  const FileSystemCalls& own = system_file_calls();
  std::vector<FileSystemKind> kinds{
      {"unnamed", true, own, 0},
      {"named", false, own, 0},
      {"no exclusive rename",
       true,
       {refuse_unnamed, counted_link, refuse_rename, own.fchmod, own.create_exclusive, own.rename},
       EINVAL},
      {"unnamed file not linked",
       true,
       {own.open_unnamed, refuse_link, refuse_rename, own.fchmod, own.create_exclusive, own.rename},
       EPERM},
  };
  // exFAT through FUSE: EOPNOTSUPP, EPERM and EINVAL; FAT through FUSE also
  // keeps no modes (ENOSYS); the others elsewhere.
  for (const int refusal : {EINVAL, EPERM, EOPNOTSUPP, ENOSYS, EXDEV})
    kinds.push_back(
        {"none of the calls, " + std::string(strerrorname_np(refusal)),
         true,
         {refuse_unnamed, refuse_link, refuse_rename, refuse_mode, own.create_exclusive, own.rename},
         refusal});
  return kinds;
}

// A new file never replaces one, whichever calls the file system offers: a
// name that another writer takes while this file is being written (between
// any check and the publish) is passed over for the next; a dangling link
// counts as taken; with every name taken nothing is written and no
// temporary file stays.
TEST(CreateNewFile, TakesTheNextNameWhenOneAppearsMeanwhile) {
  for (const FileSystemKind& kind : file_system_kinds()) {
    SCOPED_TRACE(kind.what);
    g_refusal = kind.refusal;
    g_links = 0;
    const ReplaceOptions options{true, kind.unnamed, &kind.calls};
    ScratchDir dir;
    const NameList names = [&](int n) { return n < 4 ? dir.file("f" + std::to_string(n)) : std::string(); };
    ::symlink(dir.file("nowhere").c_str(), dir.file("f1").c_str());
    const auto racing_writer = [&](int fd) {
      std::ofstream(dir.file("f0")) << "other program";
      return write_all(fd, "ours", 4);
    };
    const CreateResult r = create_new_file(names, racing_writer, options);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_EQ(r.path, dir.file("f2"));
    EXPECT_EQ(std::tuple(file_bytes(dir.file("f0")), file_bytes(dir.file("f2"))),
              std::tuple("other program", "ours"));
    EXPECT_FALSE(fs::exists(dir.file("nowhere")));
    // Where the file system links, the frame is linked, not renamed over an
    // empty reservation.
    if (kind.calls.linkat == counted_link) {
      EXPECT_EQ(g_links, 3);
    }

    std::ofstream(dir.file("f3")) << "third";
    const CreateResult full = create_new_file(names, text_writer("lost"), options);
    EXPECT_FALSE(full.ok);
    EXPECT_TRUE(full.all_taken);
    EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"f0", "f1", "f2", "f3"}));
    EXPECT_EQ(file_bytes(dir.file("f3")), "third");
  }
}

// Another writer that removes the empty reservation and puts its own file
// under the name, in the moment between the reservation and the rename.
std::string g_taken_name;
int reserve_then_lose(const char* path, mode_t mode) {
  const int fd = system_file_calls().create_exclusive(path, mode);
  if (fd >= 0 && g_taken_name.empty()) {
    g_taken_name = path;
    ::unlink(path);
    std::ofstream(path) << "other program";
  }
  return fd;
}

// Where the name is reserved by an empty file (exFAT through FUSE), a
// reservation that is no longer this writer's own file by the time of the
// rename is left to its new owner, and the file takes the next name.
TEST(CreateNewFile, AReservationTakenOverBeforeTheRenameIsLeftAlone) {
  g_refusal = EOPNOTSUPP;
  g_taken_name.clear();
  const FileSystemCalls own = system_file_calls();
  const FileSystemCalls calls{refuse_unnamed, refuse_link,       refuse_rename,
                              own.fchmod,     reserve_then_lose, own.rename};
  ScratchDir dir;
  const NameList names = [&](int n) { return n < 3 ? dir.file("f" + std::to_string(n)) : std::string(); };
  const CreateResult r = create_new_file(names, text_writer("ours"), {true, true, &calls});
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(std::tuple(g_taken_name, r.path), std::tuple(dir.file("f0"), dir.file("f1")));
  EXPECT_EQ(std::tuple(file_bytes(dir.file("f0")), file_bytes(dir.file("f1"))),
            std::tuple("other program", "ours"));
  EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"f0", "f1"}));
}

// A folder on an exFAT file system mounted through FUSE, as a USB stick
// often is; `missing` says why there is none. Needs root, /dev/fuse, a loop
// device and the exfat-fuse and exfatprogs packages.
class FuseExfatFolder {
 public:
  FuseExfatFolder() {
    const std::string image = scratch_.file("stick.img"), loop = scratch_.file("loop");
    const auto run = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    if (::geteuid() != 0) {
      missing = "not root";
    } else if (!run("command -v mount.exfat-fuse mkfs.exfat losetup >/dev/null && test -c /dev/fuse")) {
      missing = "no FUSE, exfat-fuse, exfatprogs or losetup";
    } else if (!fs::create_directory(path) ||
               !run("truncate -s 16M " + image + " && mkfs.exfat " + image +
                    " >/dev/null && losetup -f --show " + image + " >" + loop)) {
      missing = "no loop device";
    } else {
      loop_device_ = file_bytes(loop);
      loop_device_.erase(loop_device_.find_last_not_of('\n') + 1);
      mounted_ = run("mount.exfat-fuse " + loop_device_ + " " + path + " >/dev/null 2>&1");
      if (!mounted_) missing = "exfat-fuse did not mount";
    }
  }
  ~FuseExfatFolder() {
    if (mounted_) (void)!std::system(("umount " + path).c_str());
    if (!loop_device_.empty()) (void)!std::system(("losetup -d " + loop_device_).c_str());
  }
  FuseExfatFolder(const FuseExfatFolder&) = delete;
  FuseExfatFolder& operator=(const FuseExfatFolder&) = delete;

 private:
  ScratchDir scratch_;
  std::string loop_device_;
  bool mounted_ = false;

 public:
  const std::string path = scratch_.file("stick");
  std::string missing;
};

// On a real exFAT stick through FUSE (no O_TMPFILE, no exclusive rename, no
// links): a series frame takes the next free name, as everywhere, and a
// file is replaced.
TEST(CreateNewFile, SavesOnExfatThroughFuse) {
  FuseExfatFolder stick;
  if (!stick.missing.empty()) GTEST_SKIP() << stick.missing;
  const NameList names = [&](int n) { return n < 3 ? stick.path + "/F" + std::to_string(n) : std::string(); };
  const auto racing_writer = [&](int fd) {
    std::ofstream(stick.path + "/F0") << "other program";
    return write_all(fd, "ours", 4);
  };
  const CreateResult r = create_new_file(names, racing_writer);
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.path, stick.path + "/F1");
  EXPECT_EQ(std::tuple(file_bytes(stick.path + "/F0"), file_bytes(stick.path + "/F1")),
            std::tuple("other program", "ours"));
  const ReplaceResult replaced = replace_file(stick.path + "/F0", text_writer("replaced"));
  ASSERT_TRUE(replaced.ok) << replaced.reason;
  EXPECT_EQ(file_bytes(stick.path + "/F0"), "replaced");
  EXPECT_EQ(folder_names(stick.path), (std::vector<std::string>{"F0", "F1"}));
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
