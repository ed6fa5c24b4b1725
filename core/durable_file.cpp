// Durable file replacement; see durable_file.h.
#include "core/durable_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace stellacq {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTemporaryMark = ".stellacq-";
constexpr int kUniqueChars = 6;
// A named temporary file younger than this is never taken for an orphan: a
// writer may just have created it and not yet locked it.
constexpr std::time_t kOrphanAgeSeconds = 60;
constexpr int kMaxLinkHops = 40;

std::string error_text(int error) { return std::error_code(error, std::generic_category()).message(); }

ReplaceResult failure(int error) { return {false, error_text(error ? error : EIO)}; }

std::string folder_of(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

std::string name_of(const std::string& path) { return fs::path(path).filename().string(); }

mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Six characters from the same alphabet mkstemp uses.
std::string unique_chars() {
  static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[kUniqueChars] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    const auto seed = static_cast<unsigned long>(std::time(nullptr)) ^ static_cast<unsigned long>(::getpid());
    for (int i = 0; i < kUniqueChars; ++i) random[i] = static_cast<unsigned char>(seed >> (i * 5));
  }
  std::string text;
  for (unsigned char c : random) text += alphabet[c % (sizeof alphabet - 1)];
  return text;
}

void sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename itself has already succeeded
  ::close(fd);
}

// The target as it stands, or what a new file gets.
struct TargetFacts {
  bool exists = false;
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;
};

// Errors by which a file system says it lacks a call (rather than that the
// call failed): the next way of taking a name is tried.
bool lacks_call(int error) {
  return error == EINVAL || error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS ||
         error == EXDEV;
}

// Owner, group and mode first (a change of owner clears set-id bits), then
// the contents, then the flush. errno tells why on false. A file system
// that keeps no modes (FAT through FUSE) leaves the mode as it shows it.
bool fill(int fd, const TargetFacts& facts, const ContentWriter& write, const ReplaceOptions& options) {
  if (facts.exists) (void)!::fchown(fd, facts.owner, facts.group);  // kept where allowed
  if (options.calls->fchmod(fd, facts.mode) != 0 && !lacks_call(errno)) return false;
  errno = 0;
  if (!write(fd)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return !options.flush_to_disk || ::fsync(fd) == 0;
}

// The unnamed path. Returns true when it has run to an end (`result` set),
// false when the file system does not offer it and the named path must run.
bool replace_through_unnamed(const std::string& folder, const std::string& target, const TargetFacts& facts,
                             const ContentWriter& write, const ReplaceOptions& options,
                             ReplaceResult& result) {
  const int fd = options.calls->open_unnamed(folder.c_str(), 0600);
  if (fd < 0) return false;
  ::flock(fd, LOCK_EX);  // from the moment it has a name, no cleaner takes it
  if (!fill(fd, facts, write, options)) {
    result = failure(errno);
    ::close(fd);
    return true;
  }
  // A name in the folder, then the rename over the target: linkat never
  // replaces an existing name.
  char proc_path[64];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
  std::string temporary;
  int link_error = EEXIST;
  for (int attempt = 0; attempt < 100 && link_error == EEXIST; ++attempt) {
    temporary = folder + "/" + temporary_prefix(name_of(target)) + unique_chars();
    link_error =
        options.calls->linkat(AT_FDCWD, proc_path, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0
            ? 0
            : errno;
  }
  if (link_error != 0) {  // no /proc, or a file system that refuses: the named path writes again
    ::close(fd);
    return false;
  }
  const int close_error = ::close(fd) == 0 ? 0 : errno;
  if (close_error != 0 || ::rename(temporary.c_str(), target.c_str()) != 0) {
    result = failure(close_error ? close_error : errno);
    ::unlink(temporary.c_str());
    return true;
  }
  result = {true, {}};
  return true;
}

ReplaceResult replace_through_named(const std::string& folder, const std::string& target,
                                    const TargetFacts& facts, const ContentWriter& write,
                                    const ReplaceOptions& options) {
  std::string temporary = folder + "/" + temporary_prefix(name_of(target)) + std::string(kUniqueChars, 'X');
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return failure(errno);
  ::flock(fd, LOCK_EX);  // held until the descriptor closes, or the process ends
  bool ok = fill(fd, facts, write, options);
  int error = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return failure(error);
  }
  return {true, {}};
}

// The ways a filled named temporary file takes a name without replacing
// anything there, in the order they are tried; a way the file system lacks
// is not tried again for the next names.
enum class NamedWay { RenameNoReplace, Link, Reserve };

// Gives the filled named temporary file `temporary` the name `name`: 0, or
// the errno of the refusal (EEXIST when the name is taken).
int take_name(const FileSystemCalls& calls, const std::string& temporary, const std::string& name,
              NamedWay& way) {
  if (way == NamedWay::RenameNoReplace) {
    if (calls.renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (!lacks_call(errno)) return errno;
    way = NamedWay::Link;
  }
  if (way == NamedWay::Link) {
    if (calls.linkat(AT_FDCWD, temporary.c_str(), AT_FDCWD, name.c_str(), 0) == 0) {
      ::unlink(temporary.c_str());
      return 0;
    }
    if (!lacks_call(errno)) return errno;
    way = NamedWay::Reserve;
  }
  // Neither call (exFAT or FAT through FUSE): the name is reserved by an
  // empty file created exclusively (O_EXCL, which every file system honours
  // and which refuses an existing name or link), and the finished file is
  // renamed over that reservation. Another writer's file is never replaced:
  // its name refuses the reservation, and a reservation that is no longer
  // this one's own file by the time of the rename is left alone. The name
  // holds the empty reservation only for the moment between the two calls,
  // then the whole, flushed file, never part of it.
  const int fd = calls.create_exclusive(name.c_str(), 0600);
  if (fd < 0) return errno;
  struct stat reserved {
  }, named{};
  int error = 0;
  if (::fstat(fd, &reserved) != 0 || ::lstat(name.c_str(), &named) != 0 || named.st_dev != reserved.st_dev ||
      named.st_ino != reserved.st_ino) {
    error = EEXIST;
  } else if (calls.rename(temporary.c_str(), name.c_str()) != 0) {
    error = errno;
    ::unlink(name.c_str());
  }
  ::close(fd);
  return error;
}

// Publishes the filled temporary file `temporary` (a named one, or the
// "/proc/self/fd/N" of an unnamed one) under the first free name of the
// list. `named` tells which: a named temporary file takes its name by
// take_name, an unnamed one by a link. Returns false, with `error`, when a
// name could not be taken for a reason other than its existence.
bool publish_exclusively(const FileSystemCalls& calls, const std::string& temporary, bool named,
                         const NameList& names, CreateResult& result, int& error) {
  NamedWay way = NamedWay::RenameNoReplace;
  for (int n = 0;; ++n) {
    const std::string name = names(n);
    if (name.empty()) {
      result.all_taken = true;
      error = EEXIST;
      return false;
    }
    const int rc =
        named ? take_name(calls, temporary, name, way)
              : (calls.linkat(AT_FDCWD, temporary.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0
                     ? 0
                     : errno);
    if (rc == 0) {
      result.ok = true;
      result.path = name;
      return true;
    }
    if (rc != EEXIST) {
      error = rc;
      return false;
    }
  }
}

bool is_temporary_name(const std::string& name) {
  const std::size_t mark = std::char_traits<char>::length(kTemporaryMark);
  if (name.size() < 2 + mark + kUniqueChars || name[0] != '.') return false;
  return name.compare(name.size() - kUniqueChars - mark, mark, kTemporaryMark) == 0;
}

int open_unnamed(const char* folder, mode_t mode) {
  return ::open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

int create_exclusive(const char* path, mode_t mode) {
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

}  // namespace

const FileSystemCalls& system_file_calls() {
  static const FileSystemCalls calls{open_unnamed, ::linkat,         ::renameat2,
                                     ::fchmod,     create_exclusive, ::rename};
  return calls;
}

bool write_all(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string temporary_prefix(const std::string& name) { return "." + name + kTemporaryMark; }

std::string resolve_link_target(const std::string& path, std::string& reason) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) {
      reason = error_text(errno);
      return {};
    }
    const fs::path link(std::string(buffer, static_cast<std::size_t>(n)));
    current = link.is_absolute() ? link.string() : (fs::path(folder_of(current)) / link).string();
  }
  reason = error_text(ELOOP);
  return {};
}

int remove_stale_temporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const int dir_fd = ::dirfd(dir);
  const std::time_t now = std::time(nullptr);
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!is_temporary_name(name)) continue;
    struct stat st {};
    if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid() || now - st.st_mtime < kOrphanAgeSeconds) continue;
    const int fd = ::openat(dir_fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // A writer that is still alive holds the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dir_fd, name.c_str(), 0) == 0) ++removed;
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

ReplaceResult replace_file(const std::string& path, const ContentWriter& write,
                           const ReplaceOptions& options) {
  if (path.empty()) return failure(ENOENT);
  std::string reason;
  const std::string target = resolve_link_target(path, reason);
  if (target.empty()) return {false, reason};

  TargetFacts facts;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return failure(EISDIR);
    if (!S_ISREG(st.st_mode)) return {false, "not a regular file"};
    if (::access(target.c_str(), W_OK) != 0) return failure(errno);
    // Root may write anywhere; a file nobody may write to is still protected.
    if ((st.st_mode & 0222) == 0) return {false, "write-protected file"};
    facts = {true, st.st_uid, st.st_gid, static_cast<mode_t>((st.st_mode & 07777) | S_IRUSR | S_IWUSR)};
  } else if (errno != ENOENT) {
    return failure(errno);
  } else {
    facts.mode = new_file_mode() | S_IRUSR | S_IWUSR;
  }

  const std::string folder = folder_of(target);
  remove_stale_temporaries(folder);
  ReplaceResult result;
  if (!options.unnamed_temporary || !replace_through_unnamed(folder, target, facts, write, options, result))
    result = replace_through_named(folder, target, facts, write, options);
  if (result.ok && options.flush_to_disk) sync_folder(folder);
  return result;
}

}  // namespace stellacq

namespace stellacq {

CreateResult create_new_file(const NameList& names, const ContentWriter& write,
                             const ReplaceOptions& options) {
  CreateResult result;
  const std::string first = names(0);
  if (first.empty()) return {false, {}, error_text(ENOENT), false};
  const std::string folder = folder_of(first);
  const TargetFacts facts{false, 0, 0, static_cast<mode_t>(new_file_mode() | S_IRUSR | S_IWUSR)};
  remove_stale_temporaries(folder);

  int error = 0;
  bool done = false;
  if (options.unnamed_temporary) {
    const int fd = options.calls->open_unnamed(folder.c_str(), 0600);
    if (fd >= 0) {
      if (!fill(fd, facts, write, options)) {
        const int fill_error = errno;
        ::close(fd);
        return {false, {}, error_text(fill_error ? fill_error : EIO), false};
      }
      char proc_path[64];
      std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
      done = publish_exclusively(*options.calls, proc_path, false, names, result, error);
      ::close(fd);
      // Every name taken is final; any other refusal (no /proc, a file
      // system that will not link the unnamed file) lets the named path
      // write again, and report what it meets.
      if (result.all_taken) return {false, {}, error_text(EEXIST), true};
    }
  }
  if (!done) {
    std::string temporary = folder + "/" + temporary_prefix(name_of(first)) + std::string(kUniqueChars, 'X');
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return {false, {}, error_text(errno), false};
    ::flock(fd, LOCK_EX);  // held until the descriptor closes
    bool ok = fill(fd, facts, write, options);
    error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (ok) ok = publish_exclusively(*options.calls, temporary, true, names, result, error);
    if (!ok) {
      ::unlink(temporary.c_str());
      return {false, {}, error_text(error ? error : EIO), result.all_taken};
    }
  }
  if (options.flush_to_disk) sync_folder(folder);
  return result;
}

}  // namespace stellacq
