// Open files. A handle is the file descriptor.
//
// Not supported: share modes (others may always read and write an open file).
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

static int Descriptor(PlatFile file) { return static_cast<int>(file); }

// A value that can be a descriptor at all; the calls report closed ones.
static bool ValidHandle(PlatFile file) { return file >= 0 && file <= 0x7FFFFFFF; }

static bool OpenRead(const char* path, int* fd) {
  std::string native;
  struct stat st;
  if (!ResolveExisting(path, &native, &st)) return false;
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  // Without O_NONBLOCK a FIFO put in the file's place would block the open
  // until some writer came; only a regular file is ever read.
  const int opened = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (opened < 0) return FailErrno();
  if (fstat(opened, &st) != 0 || !S_ISREG(st.st_mode)) {  // replaced meanwhile
    close(opened);
    return Fail(ERROR_ACCESS_DENIED);
  }
  const int flags = fcntl(opened, F_GETFL);
  if (flags < 0 || fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    close(opened);
    return Fail(CodeFromErrno(error));
  }
  *fd = opened;
  return true;
}

PlatFile PlatOpenRead(const char* path) {
  int fd = -1;
  return Guarded([&] { return OpenRead(path, &fd); }) ? fd : PLAT_NO_FILE;
}

// A new file at the native path; anything of that name is ERROR_FILE_EXISTS.
static bool CreateExclusive(const std::string& native, int* fd) {
  const int made = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (made < 0) return Fail(errno == EEXIST ? ERROR_FILE_EXISTS : CodeFromErrno(errno));
  NoteCreated(native);
  *fd = made;
  return true;
}

PlatFile PlatCreateNew(const char* path) {
  int fd = -1;
  const bool made = Guarded([&] {
    std::string native;
    return ResolveNew(path, ERROR_FILE_EXISTS, &native) && CreateExclusive(native, &fd);
  });
  return made ? fd : PLAT_NO_FILE;
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
  if (ValidHandle(file) && close(Descriptor(file)) == 0) NoteClosed(Descriptor(file));
}

// FALLOC_FL_KEEP_SIZE: the blocks are allocated beyond the end of the file,
// which the writes then move.
bool PlatReserveFileSpace(PlatFile file, uint64_t size) {
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  if (size == 0) return true;
  if (size > static_cast<uint64_t>(INT64_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  int result;
  do {
    result = fallocate(Descriptor(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result == 0) return true;
  switch (errno) {
    case EOPNOTSUPP:  // the file system cannot
    case ENOSYS:      // the kernel cannot
    case ENODEV:      // not a regular file
    case ESPIPE:      // a pipe
      return true;
    default:
      return FailErrno();
  }
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
// Files that take their name only when complete. Where the file system and
// /proc allow it the file is made with O_TMPFILE in the target's folder and
// has no name until linkat() gives it the target's, so a process that dies
// first leaves nothing. Elsewhere it is the named file `temporary`, a name of
// the caller's run alone, which the writer holds with an exclusive flock()
// for the whole life of its descriptor: a leftover is removed only once that
// lock can be taken, so no run ever removes the live file of another. Either
// kind is published through the descriptor, linkat() of /proc/self/fd/N,
// which cannot link any file but the one written; the two kinds are told
// apart by their link count (an unnamed file has none).

static bool UseNamed = false;  // test hooks
static bool UseRename = false;

bool PlatPosixUseNamedTemporary(bool named) {
  const bool previous = UseNamed;
  UseNamed = named;
  return previous;
}

bool PlatPosixUseRenameToPublish(bool rename) {
  const bool previous = UseRename;
  UseRename = rename;
  return previous;
}

static std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

static bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when /proc shows the descriptor as the file it is, so that linkat()
// through it links that file.
static bool ProcShows(int fd, const struct stat& own) {
  struct stat seen;
  return stat(ProcPath(fd).c_str(), &seen) == 0 && SameFile(own, seen);
}

// An unnamed file in the native folder that linkat() can name through /proc,
// or -1 where the file system or the system cannot give one.
static int CreateUnnamed(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat own;
  if (fstat(fd, &own) != 0 || !ProcShows(fd, own)) {
    close(fd);
    return -1;
  }
  return fd;
}

// The named file, created and locked. Between the creation and the lock a
// run that cleans up leftovers may take the lock and remove the name; the
// name is then found gone (or the lock taken) and the file is made again:
// the caller's name is unique to its run, and nobody else makes it.
static bool CreateNamed(const std::string& named, int* fd) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!CreateExclusive(named, fd)) return false;
    struct stat own, seen;
    if (flock(*fd, LOCK_EX | LOCK_NB) == 0 && fstat(*fd, &own) == 0 &&
        lstat(named.c_str(), &seen) == 0 && SameFile(own, seen))
      return true;
    close(*fd);
    *fd = -1;
  }
  return Fail(ERROR_SHARING_VIOLATION);
}

static bool CreateTemporary(const char* target, const char* temporary, int* fd) {
  if (target == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::string named, published;
  if (!ResolveNew(temporary, ERROR_FILE_EXISTS, &named)) return false;
  // As a file created at once at the target name, it cannot be made where
  // that name exists.
  if (!ResolveNew(target, ERROR_FILE_EXISTS, &published)) return false;
  const std::string folder = FolderOf(published);
  if (!UseNamed) {
    *fd = CreateUnnamed(folder);
    if (*fd >= 0) return true;
  }
  // Whatever kept the unnamed file from being made, the named one reports
  // it if it fails too.
  return CreateNamed(named, fd);
}

PlatFile PlatCreateTemporary(const char* target, const char* temporary) {
  int fd = -1;
  return Guarded([&] { return CreateTemporary(target, temporary, &fd); }) ? fd : PLAT_NO_FILE;
}

// Errors of a link that say the file system keeps no second name for a file.
static bool LinksUnsupported(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK ||
         error == EXDEV;
}

// The named file takes the target's name by its temporary name, which is
// safe by name: the name is this run's alone, and the caller holds it. A
// hard link first; on a file system without hard links (exFAT, say) a
// rename.
static bool LinkHeld(const std::string& from, const std::string& to) {
  if (!UseRename) {
    if (link(from.c_str(), to.c_str()) == 0) {
      NoteCreated(to);
      return true;
    }
    if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (!LinksUnsupported(errno)) return FailErrno();
  }
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (errno != EINVAL && errno != ENOSYS) return FailErrno();
    // Nor the flag: checked, then renamed.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);
    if (rename(from.c_str(), to.c_str()) != 0) return FailErrno();
  }
  NoteRenamed(from, to);
  return true;
}

static bool LinkTo(int fd, const std::string& native) {
  if (linkat(AT_FDCWD, ProcPath(fd).c_str(), AT_FDCWD, native.c_str(), AT_SYMLINK_FOLLOW) != 0)
    return errno == EEXIST ? Fail(ERROR_ALREADY_EXISTS) : FailErrno();
  NoteCreated(native);
  return true;
}

static bool PublishFile(PlatFile file, const char* target, const char* temporary) {
  if (!ValidHandle(file)) return Fail(ERROR_INVALID_HANDLE);
  const int fd = Descriptor(file);
  struct stat own;
  if (fstat(fd, &own) != 0) return FailErrno();
  std::string native;
  if (!ResolveNew(target, ERROR_ALREADY_EXISTS, &native)) return false;
  // An unnamed file; a named one whose name was taken away cannot be
  // linked (ENOENT) and is not published.
  if (own.st_nlink == 0) return LinkTo(fd, native);
  std::string source;
  struct stat st;
  if (!ResolveExisting(temporary, &source, &st)) return false;
  if (!SameFile(st, own)) return Fail(ERROR_FILE_NOT_FOUND);
  // Through the descriptor where /proc allows it; FUSE file systems refuse
  // that link (EXDEV) and take one by name.
  bool linked = false;
  if (!UseRename && ProcShows(fd, own)) {
    linked = LinkTo(fd, native);
    if (!linked && LastError == ERROR_ALREADY_EXISTS) return false;
  }
  if (!linked && !LinkHeld(source, native)) return false;
  // The temporary name goes only while it is still this file's.
  if (lstat(source.c_str(), &st) == 0 && SameFile(st, own) && unlink(source.c_str()) == 0)
    NoteRemovedOpen(source, fd);
  return true;
}

bool PlatPublishFile(PlatFile file, const char* target, const char* temporary) {
  return Guarded([&] { return PublishFile(file, target, temporary); });
}

// The lock of a live writer is refused; a file system that keeps no locks
// cannot tell, and its file stays.
static bool DeleteLeftover(const char* path) {
  std::string native;
  struct stat st;
  if (!ResolveExisting(path, &native, &st)) return false;
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  const int fd = open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return FailErrno();
  struct stat own, seen;
  bool removed = false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    Fail(ERROR_SHARING_VIOLATION);
  } else if (fstat(fd, &own) != 0 || lstat(native.c_str(), &seen) != 0 || !SameFile(own, seen)) {
    Fail(ERROR_SHARING_VIOLATION);  // the name went or changed meanwhile
  } else {
    VouchListing(FolderOf(native));
    if (unlink(native.c_str()) != 0) {
      FailErrno();
    } else {
      NoteRemovedOpen(native, fd);
      removed = true;
    }
  }
  if (close(fd) == 0) NoteClosed(fd);
  return removed;
}

bool PlatDeleteLeftover(const char* path) {
  return Guarded([&] { return DeleteLeftover(path); });
}
