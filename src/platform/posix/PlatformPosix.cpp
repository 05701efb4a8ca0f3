// POSIX implementation of the operating-system layer (Linux).
//
// Every path is looked up as on a file system that ignores letter case and
// preserves it: each existing component is found by its exact name first,
// otherwise by the first name of its folder that equals it without regard to
// ASCII letter case, in the fixed order of the folder's names upper-cased.
// Backslashes are turned into '/' at the boundary.
//
// Not supported: share modes (others may always read and write an open file),
// and creation of a name that another process creates in other letter case
// at the same moment (both names then exist).
#include "Platform.h"
#include "PlatformPosix.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <unordered_map>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// The thread's last-error code.

static thread_local uint32_t LastError = ERROR_SUCCESS;

uint32_t PlatGetLastError() { return LastError; }
void PlatSetLastError(uint32_t code) { LastError = code; }

static bool Fail(uint32_t code) {
  LastError = code;
  return false;
}

struct ErrnoCode {
  int error;
  uint32_t code;
};

// The nearest Win32 code for each errno value the layer can meet.
static const ErrnoCode ERRNO_CODES[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_BUSY},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {ENOLCK, ERROR_LOCK_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EIO, ERROR_IO_DEVICE},
    {ENXIO, ERROR_IO_DEVICE},
    {ENODEV, ERROR_IO_DEVICE},
    {ESTALE, ERROR_IO_DEVICE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EOVERFLOW, ERROR_INVALID_PARAMETER},
    {ESPIPE, ERROR_INVALID_FUNCTION},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EPIPE, ERROR_BROKEN_PIPE},
};

static uint32_t CodeFromErrno(int error) {
  for (const ErrnoCode& e : ERRNO_CODES)
    if (e.error == error) return e.code;
  return ERROR_IO_DEVICE;
}

static bool FailErrno() { return Fail(CodeFromErrno(errno)); }

uint32_t PlatPosixCodeFromErrno(int error) { return CodeFromErrno(error); }

static PlatFile FailFile(uint32_t code) {
  LastError = code;
  return PLAT_NO_FILE;
}

// ---------------------------------------------------------------------------
// Names compared and ordered without regard to ASCII letter case.

static unsigned char UpperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

static int CompareFolded(const char* a, size_t an, const char* b, size_t bn) {
  const size_t n = an < bn ? an : bn;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return an < bn ? -1 : an > bn ? 1 : 0;
}

static int CompareFolded(const std::string& a, const std::string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size());
}

static std::string UpperName(const std::string& name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(UpperAscii(c));
  return upper;
}

// The fixed order of a folder's names: by the upper-cased bytes, names that
// differ only in letter case by their own bytes.
struct FoldedOrder {
  bool operator()(const std::string& a, const std::string& b) const {
    const int folded = CompareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
  }
};
typedef std::set<std::string, FoldedOrder> NameSet;

// The name of the set that stands for name: the identical one, otherwise the
// first one that equals it without regard to letter case.
static const std::string* FindFolded(const NameSet& names, const std::string& name) {
  auto exact = names.find(name);
  if (exact != names.end()) return &*exact;
  // Upper-case letters sort before lower-case ones, so the upper-cased name
  // is the smallest spelling of its class.
  auto first = names.lower_bound(UpperName(name));
  if (first != names.end() && CompareFolded(*first, name) == 0) return &*first;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Folder listings.
//
// A name that exists in no letter case can only be told from a full listing
// of its folder, and the batch run asks for missing names in large folders
// once or twice per texture. So listings are kept, per folder, and kept exact
// through inotify: the watch is placed before the folder is read, the kernel
// queues every change to a watched folder (by this process or any other)
// before the call that made it returns, and the queue is applied before every
// use of a listing. A listing thus reflects every change that completed
// before the call that uses it. Only local file systems are cached, where
// every change passes through this kernel; an overflowing queue drops every
// listing. Anything that cannot be watched is read afresh at every lookup.

static std::mutex Lock;  // guards the listing cache and the searches

struct FolderListing {
  bool cached;  // false: a file system whose changes the kernel may not see
  NameSet names;
};

static const uint32_t FOLDER_EVENTS =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;
static const size_t MAX_LISTINGS = 256;

static bool CacheEnabled = true;
static int Notify = -1;  // the inotify instance
static pid_t NotifyOwner = 0;
static std::unordered_map<int, FolderListing> Listings;  // by watch descriptor
static PlatPosixCounts Counts = {0};

static void DropCache() {
  if (Notify >= 0) close(Notify);
  Notify = -1;
  Listings.clear();
}

bool PlatPosixEnableCache(bool enabled) {
  std::lock_guard<std::mutex> hold(Lock);
  const bool previous = CacheEnabled;
  CacheEnabled = enabled;
  if (!enabled) DropCache();
  return previous;
}

PlatPosixCounts PlatPosixGetCounts() {
  std::lock_guard<std::mutex> hold(Lock);
  return Counts;
}

static bool StartNotify() {
  if (!CacheEnabled) return false;
  const pid_t self = getpid();
  if (Notify >= 0 && NotifyOwner == self) return true;
  // A descriptor inherited across fork() shares its queue with the parent.
  DropCache();
  Notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  NotifyOwner = self;
  return Notify >= 0;
}

static void ApplyEvent(const struct inotify_event& e, const char* name) {
  if (e.mask & IN_Q_OVERFLOW) {
    Listings.clear();
    return;
  }
  auto it = Listings.find(e.wd);
  if (it == Listings.end()) return;
  if (e.mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) {
    Listings.erase(it);
    return;
  }
  if (e.len == 0) return;
  const std::string stored(name, strnlen(name, e.len));
  if (e.mask & (IN_CREATE | IN_MOVED_TO)) {
    it->second.names.insert(stored);
  } else if (e.mask & (IN_DELETE | IN_MOVED_FROM)) {
    it->second.names.erase(stored);
  }
}

// Applies every change queued so far.
static void ApplyEvents() {
  alignas(struct inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = read(Notify, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0 && errno != EAGAIN) DropCache();  // trust nothing of an unreadable queue
      return;
    }
    size_t at = 0;
    while (at + sizeof(struct inotify_event) <= static_cast<size_t>(n)) {
      struct inotify_event e;
      std::memcpy(&e, buffer + at, sizeof e);
      ApplyEvent(e, buffer + at + sizeof e);
      at += sizeof e + e.len;
    }
  }
}

// File systems whose every change is made through this kernel.
static bool IsLocalFileSystem(const char* path) {
  struct statfs fs;
  if (statfs(path, &fs) != 0) return false;
  switch (static_cast<uint32_t>(fs.f_type)) {
    case 0xEF53u:      // ext2, ext3, ext4
    case 0x01021994u:  // tmpfs
    case 0x858458F6u:  // ramfs
    case 0x58465342u:  // xfs
    case 0x9123683Eu:  // btrfs
    case 0xF2F52010u:  // f2fs
    case 0x794C7630u:  // overlayfs
      return true;
    default:
      return false;
  }
}

// Calls visit for every name of folder dir but "." and "..".
template <typename Visit>
static bool ScanDirectory(const std::string& dir, Visit visit) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return FailErrno();
  ++Counts.folderReads;
  for (;;) {
    errno = 0;
    const dirent* e = readdir(d);
    if (e == nullptr) break;
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    visit(n);
  }
  const int error = errno;
  closedir(d);
  if (error != 0) return Fail(CodeFromErrno(error));
  return true;
}

// The kept names of folder dir, brought up to date; null when the folder is
// not cached (or cannot be read: the caller's own scan then reports why).
// Call with Lock held; the result is good until Lock is released.
static const NameSet* CachedListing(const std::string& dir) {
  if (!StartNotify()) return nullptr;
  const int watch = inotify_add_watch(Notify, dir.c_str(), FOLDER_EVENTS);
  if (watch < 0) return nullptr;
  ApplyEvents();
  auto it = Listings.find(watch);
  if (it == Listings.end()) {
    if (Listings.size() >= MAX_LISTINGS) {
      for (const auto& kept : Listings) inotify_rm_watch(Notify, kept.first);
      Listings.clear();
    }
    FolderListing& listing = Listings[watch];
    listing.cached = IsLocalFileSystem(dir.c_str());
    if (!listing.cached) return nullptr;
    NameSet* names = &listing.names;
    if (!ScanDirectory(dir, [names](const char* n) { names->insert(n); })) {
      Listings.erase(watch);
      return nullptr;
    }
    ApplyEvents();  // changes made while the folder was read
    it = Listings.find(watch);
    if (it == Listings.end()) return nullptr;
  }
  return it->second.cached ? &it->second.names : nullptr;
}

// The stored name in folder dir that stands for name: the identical one,
// otherwise the first case variant in the fixed order. Call with Lock held.
static bool LookupFolded(const std::string& dir, const std::string& name, std::string* stored) {
  if (const NameSet* names = CachedListing(dir)) {
    const std::string* found = FindFolded(*names, name);
    if (found == nullptr) return Fail(ERROR_FILE_NOT_FOUND);
    *stored = *found;
    return true;
  }
  bool found = false, exact = false;
  const FoldedOrder before;
  const bool scanned = ScanDirectory(dir, [&](const char* n) {
    if (exact || CompareFolded(n, std::strlen(n), name.data(), name.size()) != 0) return;
    exact = name == n;
    if (exact || !found || before(n, *stored)) *stored = n;
    found = true;
  });
  if (!scanned) return false;
  if (!found) return Fail(ERROR_FILE_NOT_FOUND);
  return true;
}

// ---------------------------------------------------------------------------
// Paths.

static std::string JoinNative(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + '/' + name;
}

static bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

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
  std::string stored;
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (!LookupFolded(dir.empty() ? "." : dir, name, &stored)) return false;
  }
  if (stat(JoinNative(dir, stored).c_str(), st) != 0) return FailErrno();
  *found = stored;
  return true;
}

// Native path of the existing folders on the path: all components but the
// last. *last receives the last component as given ("" when there is none).
static bool ResolveParent(const PathParts& parts, std::string* native, std::string* last) {
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

// Native path of an existing file or folder, with its status.
static bool ResolveExisting(const char* path, std::string* native, struct stat* st) {
  PathParts parts;
  std::string last;
  if (!SplitPath(path, &parts) || !ResolveParent(parts, native, &last)) return false;
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

// For a name about to be created: the native path of the new name (the
// existing folders in their stored case, the last component as given).
// Fails with `taken` when anything of that name exists in any letter case.
static bool ResolveNew(const char* path, uint32_t taken, std::string* native) {
  PathParts parts;
  std::string parent, last;
  if (!SplitPath(path, &parts) || !ResolveParent(parts, &parent, &last)) return false;
  if (last.empty()) return Fail(ERROR_ACCESS_DENIED);  // a root
  std::string stored;
  struct stat st;
  if (FindName(parent, last, &stored, &st)) return Fail(taken);
  if (LastError != ERROR_FILE_NOT_FOUND) return false;
  *native = JoinNative(parent, last);
  return true;
}

// ---------------------------------------------------------------------------
// Open files. A handle is the file descriptor.

static int Descriptor(PlatFile file) { return static_cast<int>(file); }

// A value that can be a descriptor at all; the calls report closed ones.
static bool ValidHandle(PlatFile file) { return file >= 0 && file <= 0x7FFFFFFF; }

PlatFile PlatOpenRead(const char* path) {
  const uint32_t saved = LastError;
  try {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return PLAT_NO_FILE;
    if (!S_ISREG(st.st_mode)) return FailFile(ERROR_ACCESS_DENIED);
    // Without O_NONBLOCK a FIFO put in the file's place would block the open
    // until some writer came; only a regular file is ever read.
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return FailFile(CodeFromErrno(errno));
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // replaced meanwhile
      close(fd);
      return FailFile(ERROR_ACCESS_DENIED);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      const int error = errno;
      close(fd);
      return FailFile(CodeFromErrno(error));
    }
    LastError = saved;
    return fd;
  } catch (const std::bad_alloc&) {
    return FailFile(ERROR_NOT_ENOUGH_MEMORY);
  }
}

PlatFile PlatCreateNew(const char* path) {
  const uint32_t saved = LastError;
  try {
    std::string native;
    if (!ResolveNew(path, ERROR_FILE_EXISTS, &native)) return PLAT_NO_FILE;
    const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return FailFile(errno == EEXIST ? ERROR_FILE_EXISTS : CodeFromErrno(errno));
    LastError = saved;
    return fd;
  } catch (const std::bad_alloc&) {
    return FailFile(ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool PlatGetFileSize(PlatFile file, uint64_t* size) {
  if (size == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  struct stat st;
  if (fstat(Descriptor(file), &st) != 0) return FailErrno();
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool PlatGetFilePosition(PlatFile file, uint64_t* position) {
  if (position == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  const off_t at = lseek(Descriptor(file), 0, SEEK_CUR);
  if (at < 0) return FailErrno();
  *position = static_cast<uint64_t>(at);
  return true;
}

bool PlatRead(PlatFile file, void* buffer, uint32_t size, uint32_t* done) {
  if (done == nullptr || (buffer == nullptr && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  *done = 0;
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  unsigned char* at = static_cast<unsigned char*>(buffer);
  while (*done < size) {
    const ssize_t n = read(Descriptor(file), at + *done, size - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailErrno();
    }
    if (n == 0) break;  // end of file
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

bool PlatReadAt(PlatFile file, uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
  if (done == nullptr || (buffer == nullptr && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  *done = 0;
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  if (offset > static_cast<uint64_t>(INT64_MAX)) return true;  // beyond any end
  unsigned char* at = static_cast<unsigned char*>(buffer);
  while (*done < size) {
    const ssize_t n = pread(Descriptor(file), at + *done, size - *done,
                            static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailErrno();
    }
    if (n == 0) break;  // end of file
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

bool PlatSkip(PlatFile file, uint32_t count) {
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  if (lseek(Descriptor(file), static_cast<off_t>(count), SEEK_CUR) < 0) return FailErrno();
  return true;
}

bool PlatWrite(PlatFile file, const void* buffer, uint32_t size, uint32_t* done) {
  if (done == nullptr || (buffer == nullptr && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  *done = 0;
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  const unsigned char* at = static_cast<const unsigned char*>(buffer);
  while (*done < size) {
    const ssize_t n = write(Descriptor(file), at + *done, size - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      // An open descriptor that refuses writes was opened for reading only.
      if (errno == EBADF && fcntl(Descriptor(file), F_GETFL) != -1) return Fail(ERROR_ACCESS_DENIED);
      return FailErrno();
    }
    if (n == 0) return Fail(ERROR_DISK_FULL);
    *done += static_cast<uint32_t>(n);
  }
  return true;
}

void PlatClose(PlatFile file) {
  if (ValidHandle(file)) close(Descriptor(file));
}

// FILETIME counts 100 ns units from 1601-01-01; the Unix epoch is
// 11,644,473,600 seconds later.
static const int64_t UNIX_EPOCH_SECONDS = 11644473600LL;
static const int64_t TICKS_PER_SECOND = 10000000LL;

bool PlatGetLastWriteTime(PlatFile file, uint64_t* fileTime) {
  if (fileTime == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  struct stat st;
  if (fstat(Descriptor(file), &st) != 0) return FailErrno();
  const int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + UNIX_EPOCH_SECONDS;
  if (seconds < 0) return Fail(ERROR_INVALID_PARAMETER);  // before 1601
  *fileTime = static_cast<uint64_t>(seconds) * TICKS_PER_SECOND +
              static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  return true;
}

bool PlatSetLastWriteTime(PlatFile file, uint64_t fileTime) {
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  // As on Windows, a time of 0 (or all bits set) leaves the stored time alone.
  if (fileTime == 0 || fileTime == ~0ULL) return true;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(fileTime / TICKS_PER_SECOND) - UNIX_EPOCH_SECONDS;
  times[1].tv_nsec = static_cast<long>(fileTime % TICKS_PER_SECOND) * 100;
  if (futimens(Descriptor(file), times) != 0) return FailErrno();
  return true;
}

// ---------------------------------------------------------------------------
// Names in the file system.

bool PlatFileExists(const char* path) {
  const uint32_t saved = LastError;
  try {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return false;
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    LastError = saved;
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool PlatDirectoryExists(const char* path) {
  const uint32_t saved = LastError;
  try {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return false;
    LastError = saved;  // a file that is no folder is no failure
    return S_ISDIR(st.st_mode);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool PlatCreateDirectory(const char* path) {
  const uint32_t saved = LastError;
  try {
    std::string native;
    if (!ResolveNew(path, ERROR_ALREADY_EXISTS, &native)) return false;
    if (mkdir(native.c_str(), 0777) != 0) return FailErrno();
    LastError = saved;
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool PlatDeleteFile(const char* path) {
  try {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return false;
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (unlink(native.c_str()) != 0) return FailErrno();
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// rename() that never replaces an existing name.
static bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : CodeFromErrno(errno));
  }
  // A file system without the flag: check, then rename.
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);
  if (rename(from.c_str(), to.c_str()) != 0) return FailErrno();
  return true;
}

bool PlatMoveFile(const char* from, const char* to) {
  const uint32_t saved = LastError;
  try {
    std::string source;
    struct stat sourceStatus;
    if (!ResolveExisting(from, &source, &sourceStatus)) return false;
    PathParts parts;
    std::string parent, last;
    if (!SplitPath(to, &parts) || !ResolveParent(parts, &parent, &last)) return false;
    if (last.empty()) return Fail(ERROR_ACCESS_DENIED);
    std::string stored;
    struct stat st;
    if (FindName(parent, last, &stored, &st)) {
      // The target name exists. Only the source itself, under a name that
      // differs at most in letter case, may take the new spelling.
      const std::string existing = JoinNative(parent, stored);
      const size_t cut = source.rfind('/');
      const std::string sourceDir = cut == std::string::npos ? "" : source.substr(0, cut + 1);
      const std::string sourceName = cut == std::string::npos ? source : source.substr(cut + 1);
      struct stat a, b;
      const bool sameFolder = stat(sourceDir.empty() ? "." : sourceDir.c_str(), &a) == 0 &&
                              stat(parent.empty() ? "." : parent.c_str(), &b) == 0 &&
                              a.st_dev == b.st_dev && a.st_ino == b.st_ino;
      if (!sameFolder || stored != sourceName) return Fail(ERROR_ALREADY_EXISTS);
      if (last == stored) {
        LastError = saved;
        return true;  // the name is spelt so already
      }
    } else if (LastError != ERROR_FILE_NOT_FOUND) {
      return false;
    }
    if (!RenameNoReplace(source, JoinNative(parent, last))) return false;
    LastError = saved;
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// ---------------------------------------------------------------------------
// Directory search. The matches are taken when the search starts and kept in
// a process-wide table, so that a search left open is still reachable.

struct SearchSlot {
  bool inUse;
  size_t next;
  std::vector<std::string> names;
};
static std::vector<SearchSlot> Searches;

// '*' matches any run of characters, '?' any one; letters match in either case.
static bool MatchesPattern(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && UpperAscii(*pattern) == UpperAscii(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

static bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// The names of folder dir that match pattern, in the fixed order; a pattern
// without wildcards gives the one stored name that stands for it. Call with
// Lock held.
static bool ListMatches(const std::string& dir, const std::string& pattern,
                        std::vector<std::string>* matches) {
  if (!HasWildcards(pattern)) {
    std::string stored;
    if (LookupFolded(dir, pattern, &stored)) {
      matches->push_back(stored);
      return true;
    }
    return LastError == ERROR_FILE_NOT_FOUND;
  }
  if (const NameSet* names = CachedListing(dir)) {
    for (const std::string& n : *names)
      if (MatchesPattern(pattern.c_str(), n.c_str())) matches->push_back(n);
    return true;
  }
  if (!ScanDirectory(dir, [&](const char* n) {
        if (MatchesPattern(pattern.c_str(), n)) matches->push_back(n);
      }))
    return false;
  std::sort(matches->begin(), matches->end(), FoldedOrder());
  return true;
}

static void CopyName(const std::string& name, char* out) {
  const size_t limit = PLAT_MAX_PATH;
  const size_t n = name.size() < limit ? name.size() : limit;
  std::memcpy(out, name.data(), n);
  out[n] = '\0';
}

static SearchSlot* FindSlot(PlatSearch search) {
  if (search < 1 || static_cast<size_t>(search) > Searches.size()) return nullptr;
  SearchSlot& slot = Searches[static_cast<size_t>(search) - 1];
  return slot.inUse ? &slot : nullptr;
}

PlatSearch PlatFindFirst(const char* pattern, char* name) {
  if (name == nullptr) {
    Fail(ERROR_INVALID_PARAMETER);
    return PLAT_NO_SEARCH;
  }
  name[0] = '\0';
  try {
    PathParts parts;
    std::string dir, last;
    if (!SplitPath(pattern, &parts) || !ResolveParent(parts, &dir, &last)) return PLAT_NO_SEARCH;
    std::vector<std::string> matches;
    if (!last.empty() && !IsDotName(last)) {
      std::lock_guard<std::mutex> hold(Lock);
      if (!ListMatches(dir.empty() ? "." : dir, last, &matches)) {
        Fail(LastError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : LastError);
        return PLAT_NO_SEARCH;
      }
    }
    if (matches.empty()) {
      Fail(ERROR_FILE_NOT_FOUND);
      return PLAT_NO_SEARCH;
    }
    std::lock_guard<std::mutex> hold(Lock);
    size_t index = 0;
    while (index < Searches.size() && Searches[index].inUse) ++index;
    if (index == Searches.size()) Searches.emplace_back();
    SearchSlot& slot = Searches[index];
    slot.inUse = true;
    slot.names.swap(matches);
    slot.next = 1;
    CopyName(slot.names[0], name);
    return static_cast<PlatSearch>(index + 1);
  } catch (const std::bad_alloc&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return PLAT_NO_SEARCH;
  }
}

bool PlatFindNext(PlatSearch search, char* name) {
  if (name == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> hold(Lock);
  SearchSlot* slot = FindSlot(search);
  if (slot == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (slot->next >= slot->names.size()) return Fail(ERROR_NO_MORE_FILES);
  CopyName(slot->names[slot->next++], name);
  return true;
}

void PlatFindClose(PlatSearch search) {
  std::lock_guard<std::mutex> hold(Lock);
  SearchSlot* slot = FindSlot(search);
  if (slot == nullptr) return;
  slot->inUse = false;
  std::vector<std::string>().swap(slot->names);
}

// ---------------------------------------------------------------------------
// Process.

// Copies text with its terminator into buffer; 0 and an empty buffer when it
// does not fit.
static uint32_t CopyOut(const char* text, size_t length, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  if (length + 1 > size) {
    buffer[0] = '\0';
    return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  }
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t PlatGetCurrentDirectory(char* buffer, uint32_t size) {
  char path[4096];
  if (getcwd(path, sizeof path) == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return FailErrno(), 0;
  }
  return CopyOut(path, std::strlen(path), buffer, size);
}

bool PlatSetCurrentDirectory(const char* path) {
  try {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return false;
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    if (chdir(native.c_str()) != 0) return FailErrno();
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

uint32_t PlatGetModulePath(char* buffer, uint32_t size) {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return (n < 0 ? FailErrno() : Fail(ERROR_FILENAME_EXCED_RANGE)), 0;
  }
  return CopyOut(path, static_cast<size_t>(n), buffer, size);
}

void PlatExitProcess(uint32_t code) {
  std::fflush(nullptr);
  _exit(static_cast<int>(code));
}

// ---------------------------------------------------------------------------
// Text.

struct ErrorText {
  uint32_t code;
  const char* text;
};

static const ErrorText ERROR_TEXTS[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "The operation does not apply to this object."},
    {ERROR_FILE_NOT_FOUND, "The file cannot be found."},
    {ERROR_PATH_NOT_FOUND, "The folder path cannot be found."},
    {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open at once."},
    {ERROR_ACCESS_DENIED, "Access to the file or folder is denied."},
    {ERROR_INVALID_HANDLE, "The file handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory to complete the operation."},
    {ERROR_OUTOFMEMORY, "The system ran out of memory."},
    {ERROR_NOT_SAME_DEVICE, "The file cannot be moved to another drive."},
    {ERROR_NO_MORE_FILES, "No more files match."},
    {ERROR_WRITE_PROTECT, "The medium is write-protected."},
    {ERROR_SHARING_VIOLATION, "The file is in use by another process."},
    {ERROR_LOCK_VIOLATION, "The file is locked by another process."},
    {ERROR_HANDLE_EOF, "The end of the file was reached."},
    {ERROR_NOT_SUPPORTED, "The operation is not supported."},
    {ERROR_FILE_EXISTS, "The file exists already."},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
    {ERROR_BROKEN_PIPE, "The pipe has been closed."},
    {ERROR_DISK_FULL, "The disk is full."},
    {ERROR_CALL_NOT_IMPLEMENTED, "The function is not available on this system."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the data."},
    {ERROR_INVALID_NAME, "The file name, folder name or path is not valid."},
    {ERROR_DIR_NOT_EMPTY, "The folder is not empty."},
    {ERROR_BUSY, "The resource is busy."},
    {ERROR_ALREADY_EXISTS, "A file or folder of that name exists already."},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long."},
    {ERROR_DIRECTORY, "The name is not a folder."},
    {ERROR_MR_MID_NOT_FOUND, "No text is known for this error number."},
    {ERROR_IO_DEVICE, "A device input/output error stopped the operation."},
    {ERROR_FILE_CORRUPT, "The file is damaged and cannot be read."},
    {ERROR_INVALID_DATATYPE, "The data is not of a supported type."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name cannot be resolved: too many symbolic links."},
    {ERROR_INVALID_PIXEL_FORMAT, "The pixel format is not supported."},
};

uint32_t PlatGetErrorText(uint32_t code, char* buffer, uint32_t size) {
  for (const ErrorText& e : ERROR_TEXTS)
    if (e.code == code) return CopyOut(e.text, std::strlen(e.text), buffer, size);
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return Fail(ERROR_MR_MID_NOT_FOUND), 0;
}

unsigned char PlatFoldCase(unsigned char c) { return UpperAscii(c); }

// ---------------------------------------------------------------------------
// INI files. A section header is a line that starts with '['; its name runs
// to the first ']'. Sections of the same name in other letter case are one
// section, their lines appended in file order. A section's lines are every
// other line, trimmed of blanks, but blank lines and lines that start with
// ';'; lines before the first header belong to no section. Lines end at CR,
// LF or a zero byte; a UTF-8 byte-order mark at the start is passed over.

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

static std::string Trimmed(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  return std::string(begin, end);
}

struct IniFile {
  std::vector<std::string> names;               // in file order, each once
  std::vector<std::vector<std::string>> lines;  // per name
};

static void ParseIni(const std::string& text, IniFile* ini) {
  std::unordered_map<std::string, size_t> byName;  // upper-cased name -> index
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3;
  size_t current = SIZE_MAX;
  while (p < end) {
    const char* lineEnd = p;
    while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n' && *lineEnd != '\0') ++lineEnd;
    const std::string line = Trimmed(p, lineEnd);
    p = lineEnd + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      const std::string name =
          Trimmed(line.data() + 1, line.data() + (close == std::string::npos ? line.size() : close));
      current = SIZE_MAX;
      if (name.empty()) continue;
      auto known = byName.emplace(UpperName(name), ini->names.size());
      if (known.second) {
        ini->names.push_back(name);
        ini->lines.emplace_back();
      }
      current = known.first->second;
    } else if (current != SIZE_MAX) {
      ini->lines[current].push_back(line);
    }
  }
}

static bool LoadIni(const char* path, IniFile* ini) {
  std::string native;
  struct stat st;
  if (!ResolveExisting(path, &native, &st)) return false;
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return FailErrno();
  std::string text;
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      return Fail(CodeFromErrno(error));
    }
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  ParseIni(text, ini);
  return true;
}

// Writes the strings as a list ended by an empty string; a list that does
// not fit is cut after the last whole string that does.
static uint32_t WriteList(const std::vector<std::string>& items, char* buffer, uint32_t size) {
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  uint64_t used = 0;
  for (const std::string& item : items) {
    if (used + item.size() + 2 > size) break;
    std::memcpy(buffer + used, item.data(), item.size());
    used += item.size();
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  if (used == 0) buffer[1] = '\0';
  return static_cast<uint32_t>(used);
}

uint32_t PlatReadIniSectionNames(const char* iniPath, char* buffer, uint32_t size) {
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
  const uint32_t saved = LastError;
  try {
    IniFile ini;
    if (!LoadIni(iniPath, &ini)) return WriteList(std::vector<std::string>(), buffer, size);
    LastError = saved;
    return WriteList(ini.names, buffer, size);
  } catch (const std::bad_alloc&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return WriteList(std::vector<std::string>(), buffer, size);
  }
}

uint32_t PlatReadIniSection(const char* iniPath, const char* section, char* buffer, uint32_t size) {
  if (buffer == nullptr || section == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
  const uint32_t saved = LastError;
  try {
    IniFile ini;
    if (!LoadIni(iniPath, &ini)) return WriteList(std::vector<std::string>(), buffer, size);
    LastError = saved;
    const std::string wanted(section);
    for (size_t i = 0; i < ini.names.size(); ++i)
      if (CompareFolded(ini.names[i], wanted) == 0) return WriteList(ini.lines[i], buffer, size);
    return WriteList(std::vector<std::string>(), buffer, size);
  } catch (const std::bad_alloc&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return WriteList(std::vector<std::string>(), buffer, size);
  }
}
