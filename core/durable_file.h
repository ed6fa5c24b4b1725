// Replacing a file so that its name never holds a half-written or lost file,
// for every file the program writes (FITS frames, STELLACQ.INI).
//
// The new contents go to a temporary file in the target's folder: an unnamed
// one (O_TMPFILE) where the file system allows it, otherwise a uniquely named
// hidden one (".NAME.stellacq-XXXXXX") that is locked while it is written.
// The temporary file is flushed to the disk, given the target's name by a
// rename, and the folder is flushed too. A save that is killed leaves no
// file behind on the unnamed path; on the named path its orphan is removed
// the next time the folder is written (orphans of this program's pattern
// only, unlocked, at least a minute old, owned by this user).
//
// A symbolic link is followed: the file it names is replaced, in that file's
// folder, and the link stays. A target that is not a regular file, or that
// the user may not write to, is refused with the reason. The new file keeps
// the old file's owner, group and mode, except that its owner can always
// read and write it; a new name gets the usual mode (0666 less the umask).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace stellacq {

// The calls whose support differs between file systems: exFAT or FAT
// through FUSE (as USB sticks are often mounted) offers none of the first
// three, and the save then takes the next way (see create_new_file); FAT
// through FUSE keeps no modes either. The last two reserve a name and move
// the finished file onto it on such a file system. The tests put their own
// in place to act out such a file system, or another writer between two
// calls.
struct FileSystemCalls {
  // open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode)
  int (*open_unnamed)(const char* folder, mode_t mode);
  int (*linkat)(int old_dir, const char* old_path, int new_dir, const char* new_path, int flags);
  int (*renameat2)(int old_dir, const char* old_path, int new_dir, const char* new_path, unsigned flags);
  int (*fchmod)(int fd, mode_t mode);
  // open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode)
  int (*create_exclusive)(const char* path, mode_t mode);
  int (*rename)(const char* old_path, const char* new_path);
};

// The system's own calls.
const FileSystemCalls& system_file_calls();

struct ReplaceOptions {
  // Off only for measuring a writer itself (the benchmarks).
  bool flush_to_disk = true;
  // Off to take the named temporary file even where the unnamed one works
  // (file systems where the unnamed one misbehaves; the tests of that path).
  bool unnamed_temporary = true;
  const FileSystemCalls* calls = &system_file_calls();
};

struct ReplaceResult {
  bool ok = false;
  std::string reason;  // why the file was not replaced (empty on success)
};

// Writes the contents of a file to an open descriptor; false on a failed
// write, with errno telling why. May be called a second time on a fresh
// descriptor when the first kind of temporary file could not be linked in.
using ContentWriter = std::function<bool(int fd)>;

// Replaces (or creates) the file at `path` with what `write` writes.
ReplaceResult replace_file(const std::string& path, const ContentWriter& write,
                           const ReplaceOptions& options = {});

// The first of a list of names, numbered from 0, for a file that must never
// replace another (a series frame): empty when the list has ended.
using NameList = std::function<std::string(int n)>;

struct CreateResult {
  bool ok = false;
  std::string path;        // the name the file was published under (on success)
  std::string reason;      // why no file was created (empty on success)
  bool all_taken = false;  // every name of the list existed already
};

// Creates a new file with what `write` writes, in the folder of `names(0)`
// (all names share one folder), under the first name of the list that is
// free at the moment of publishing. The contents are written once to a
// temporary file and flushed; the name is taken exclusively, so a file that
// another program created under a name meanwhile is never replaced: the
// next name is taken instead. The first way the file system offers takes
// the name: a link of the unnamed file, a rename that refuses an existing
// name, a link of the named file, and last (exFAT or FAT through FUSE) an
// empty file created exclusively under the name, over which the finished
// file is then renamed. A name never holds part of the contents.
CreateResult create_new_file(const NameList& names, const ContentWriter& write,
                             const ReplaceOptions& options = {});

// The file a path finally names after following symbolic links (the path
// itself when it is no link, or when the link names a file that does not
// exist yet: then its would-be path). Empty, with `reason`, on a loop.
std::string resolve_link_target(const std::string& path, std::string& reason);

// The name pattern of this program's named temporary files for `name`,
// without the six unique characters: ".NAME.stellacq-".
std::string temporary_prefix(const std::string& name);

// Removes the stale orphans of the program's named temporary files in
// `folder` (see above). Returns how many were removed.
int remove_stale_temporaries(const std::string& folder);

// Writes all of `size` bytes, resuming after partial writes and signals.
bool write_all(int fd, const void* data, std::size_t size);

}  // namespace stellacq
