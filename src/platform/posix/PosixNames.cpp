// Paths looked up as on a file system that ignores letter case and preserves
// it, and the routines on names: existence, new folders, deletion, renaming.
//
// Every existing component is found by its exact name first, otherwise by the
// first name of its folder that equals it without regard to ASCII letter
// case, in the fixed order of the folder's names upper-cased. Backslashes are
// separators as '/' is.
//
// Not supported: creation of a name that another process creates in other
// letter case at the same moment (both names then exist).
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

std::string posix::JoinNative(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

bool posix::IsDotName(const std::string& name) { return name == "." || name == ".."; }

std::string posix::FolderOf(const std::string& native) {
  const size_t cut = native.rfind('/');
  return cut == std::string::npos ? std::string() : native.substr(0, cut + 1);
}

struct PathParts {
  bool absolute;
  bool trailingSeparator;
  std::vector<std::string> names;
};

// Splits a path at '\' and '/'; empty components are dropped.
static bool SplitPath(const char* path, PathParts* parts) {
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (path[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  parts->absolute = path[0] == '/' || path[0] == '\\';
  parts->names.clear();
  std::string name;
  const char* p = path;
  for (;; ++p) {
    if (*p == '/' || *p == '\\' || *p == '\0') {
      if (!name.empty()) parts->names.push_back(name);
      name.clear();
      if (*p == '\0') break;
    } else {
      name += *p;
    }
  }
  parts->trailingSeparator = p > path && (p[-1] == '/' || p[-1] == '\\');
  return true;
}

// The stored name in folder dir ("" for the current one) that stands for name:
// the exact name when it exists, otherwise the first case variant. *st
// receives its status. Fails with ERROR_FILE_NOT_FOUND when there is none.
static bool FindName(const std::string& dir, const std::string& name, std::string* found,
                     struct stat* st) {
  const std::string exact = JoinNative(dir, name);
  if (stat(exact.c_str(), st) == 0) {
    *found = name;
    return true;
  }
  if (errno != ENOENT) return FailErrno();
  if (IsDotName(name)) return Fail(ERROR_FILE_NOT_FOUND);
  const std::string folder = dir.empty() ? "." : dir;
  for (int attempt = 0;; ++attempt) {
    std::string stored;
    {
      std::lock_guard<std::mutex> hold(ListingLock);
      if (!LookupFolded(folder, name, &stored)) return false;
    }
    if (stat(JoinNative(dir, stored).c_str(), st) == 0) {
      *found = stored;
      return true;
    }
    if (errno != ENOENT || attempt > 0) return FailErrno();
    // A kept listing that names a file that is gone is read again.
    std::lock_guard<std::mutex> hold(ListingLock);
    ForgetListing(folder);
  }
}

static bool ResolveParts(const PathParts& parts, std::string* native, std::string* last) {
  *native = parts.absolute ? "/" : "";
  last->clear();
  const size_t count = parts.names.size();
  for (size_t i = 0; i + 1 < count; ++i) {
    const std::string& name = parts.names[i];
    if (IsDotName(name)) {
      *native = JoinNative(*native, name);
      continue;
    }
    std::string stored;
    struct stat st;
    if (!FindName(*native, name, &stored, &st)) {
      return Fail(LastError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : LastError);
    }
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
    *native = JoinNative(*native, stored);
  }
  if (count > 0) *last = parts.names[count - 1];
  return true;
}

bool posix::ResolveParent(const char* path, std::string* parent, std::string* last) {
  PathParts parts;
  return SplitPath(path, &parts) && ResolveParts(parts, parent, last);
}

bool posix::ResolveExisting(const char* path, std::string* native, struct stat* st) {
  PathParts parts;
  std::string last;
  if (!SplitPath(path, &parts) || !ResolveParts(parts, native, &last)) return false;
  if (last.empty()) {
    if (native->empty()) *native = ".";
    if (stat(native->c_str(), st) != 0) return FailErrno();
    return true;
  }
  std::string stored;
  if (!FindName(*native, last, &stored, st)) return false;
  *native = JoinNative(*native, stored);
  // "name\" names a folder; a file does not answer to it.
  if (parts.trailingSeparator && !S_ISDIR(st->st_mode)) return Fail(ERROR_INVALID_NAME);
  return true;
}

bool posix::ResolveNew(const char* path, uint32_t taken, std::string* native) {
  std::string parent, last;
  if (!ResolveParent(path, &parent, &last)) return false;
  if (last.empty()) return Fail(ERROR_ACCESS_DENIED);  // a root
  std::string stored;
  struct stat st;
  if (FindName(parent, last, &stored, &st)) return Fail(taken);
  if (LastError != ERROR_FILE_NOT_FOUND) return false;
  *native = JoinNative(parent, last);
  return true;
}

// ---------------------------------------------------------------------------
// Names in the file system.

// Native path of an existing name that is no folder.
static bool ResolveExistingFile(const char* path, std::string* native) {
  struct stat st;
  if (!ResolveExisting(path, native, &st)) return false;
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  return true;
}

bool PlatFileExists(const char* path) {
  return Guarded([&] {
    std::string native;
    return ResolveExistingFile(path, &native);
  });
}

bool PlatDirectoryExists(const char* path) {
  struct stat st;
  // A file that is no folder is no failure.
  return Guarded([&] {
           std::string native;
           return ResolveExisting(path, &native, &st);
         }) &&
         S_ISDIR(st.st_mode);
}

bool PlatCreateDirectory(const char* path) {
  return Guarded([&] {
    std::string native;
    if (!ResolveNew(path, ERROR_ALREADY_EXISTS, &native)) return false;
    if (mkdir(native.c_str(), 0777) != 0) return FailErrno();
    NoteFolderCreated(native);
    return true;
  });
}

bool PlatDeleteFile(const char* path) {
  return Guarded([&] {
    std::string native;
    if (!ResolveExistingFile(path, &native)) return false;
    VouchListing(FolderOf(native));
    if (unlink(native.c_str()) != 0) return FailErrno();
    NoteRemoved(native);
    return true;
  });
}

// rename() that never replaces an existing name.
static bool RenameNoReplace(const std::string& from, const std::string& to) {
  VouchListing(FolderOf(from));
  VouchListing(FolderOf(to));
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    NoteRenamed(from, to);
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : CodeFromErrno(errno));
  }
  // A file system without the flag: check, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);
  if (rename(from.c_str(), to.c_str()) != 0) return FailErrno();
  NoteRenamed(from, to);
  return true;
}

static bool MoveFile(const char* from, const char* to) {
  std::string source;
  struct stat sourceStatus;
  if (!ResolveExisting(from, &source, &sourceStatus)) return false;
  std::string parent, last;
  if (!ResolveParent(to, &parent, &last)) return false;
  if (last.empty()) return Fail(ERROR_ACCESS_DENIED);
  std::string stored;
  struct stat st;
  if (FindName(parent, last, &stored, &st)) {
    // The target name exists. Only the source itself, under a name that
    // differs at most in letter case, may take the new spelling.
    const std::string sourceDir = FolderOf(source);
    const std::string sourceName = source.substr(sourceDir.size());
    struct stat a, b;
    const bool sameFolder = stat(sourceDir.empty() ? "." : sourceDir.c_str(), &a) == 0 &&
                            stat(parent.empty() ? "." : parent.c_str(), &b) == 0 &&
                            a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (!sameFolder || stored != sourceName) return Fail(ERROR_ALREADY_EXISTS);
    if (last == stored) return true;  // the name is spelt so already
  } else if (LastError != ERROR_FILE_NOT_FOUND) {
    return false;
  }
  return RenameNoReplace(source, JoinNative(parent, last));
}

bool PlatMoveFile(const char* from, const char* to) {
  return Guarded([&] { return MoveFile(from, to); });
}
