// What the units of the POSIX layer share. Nothing outside this folder
// includes it.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "Platform.h"

namespace posix {

// ---------------------------------------------------------------------------
// Errors and texts (PosixErrors.cpp).

extern thread_local uint32_t LastError;

// Sets the last-error code and returns false.
bool Fail(uint32_t code);
uint32_t CodeFromErrno(int error);
bool FailErrno();  // Fail with the code of errno

// Copies text with its terminator into buffer; 0 and an empty buffer when it
// does not fit.
uint32_t CopyOut(const char* text, size_t length, char* buffer, uint32_t size);

// The call of the layer that runs on this thread: a number that no other
// call had, 0 outside the layer's routines. The program's own changes of a
// folder are applied to its kept listing only when the same call found that
// listing current just before (PosixListing.cpp).
extern thread_local uint64_t CurrentCall;
uint64_t NewCall();
struct CallScope {
  CallScope() { CurrentCall = NewCall(); }
  ~CallScope() { CurrentCall = 0; }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
};

// Runs body, a routine that returns true on success and sets the last-error
// code when it fails, as one call of the layer. A success leaves the
// caller's last-error code as it was, whatever the body's steps set on the
// way; a failed allocation is a failure with ERROR_NOT_ENOUGH_MEMORY.
template <typename Body>
bool Guarded(Body body) {
  const uint32_t saved = LastError;
  const CallScope call;
  try {
    if (!body()) return false;
    LastError = saved;
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// Names compared and ordered without regard to ASCII letter case.
unsigned char UpperAscii(unsigned char c);
int CompareFolded(const char* a, size_t an, const char* b, size_t bn);
int CompareFolded(const std::string& a, const std::string& b);
std::string UpperName(const std::string& name);

// The fixed order of a folder's names: by the upper-cased bytes, names that
// differ only in letter case by their own bytes.
struct FoldedOrder {
  bool operator()(const std::string& a, const std::string& b) const {
    const int folded = CompareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
  }
};
typedef std::set<std::string, FoldedOrder> NameSet;

// ---------------------------------------------------------------------------
// Folder listings (PosixListing.cpp).

extern std::mutex ListingLock;  // guards the kept listings

void CountFolderRead();

// Calls visit for every name of folder dir but "." and "..".
template <typename Visit>
bool ScanDirectory(const std::string& dir, Visit visit) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return FailErrno();
  CountFolderRead();
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

// The kept names of folder dir, read again when the folder's status shows a
// change; null when the folder is not kept. Call with ListingLock held; the
// result is good until it is released.
const NameSet* CachedListing(const std::string& dir);
// The stored name in folder dir that stands for name: the identical one,
// otherwise the first case variant in the fixed order. Fails with
// ERROR_FILE_NOT_FOUND when there is none. Call with ListingLock held.
bool LookupFolded(const std::string& dir, const std::string& name, std::string* stored);
// Drops the kept listing of folder dir, which named a file that is gone.
// Call with ListingLock held.
void ForgetListing(const std::string& dir);

// The program's own changes of its folders, each noted right after the
// system call that made it succeeded (paths as handed to that call). A kept
// listing takes the change when the same call of the layer found it current
// before (see VouchListing); otherwise it is dropped and read again when next
// used. Each takes ListingLock.
void NoteCreated(const std::string& native);
void NoteFolderCreated(const std::string& native);
void NoteRemoved(const std::string& native);
void NoteRenamed(const std::string& from, const std::string& to);
// The removal of a name of the file open as fd, and that file's close. A
// FUSE file system served by libfuse keeps such a name as a hidden one
// (".fuse_hidden...") until the close, which then changes the folder again.
void NoteRemovedOpen(const std::string& native, int fd);
void NoteClosed(int fd);
// Checks, before a change of folder dir, that its kept listing is current,
// for a call whose lookups did not need the listing. Takes ListingLock.
void VouchListing(const std::string& dir);

// ---------------------------------------------------------------------------
// Paths (PosixNames.cpp). A native path is the path handed to the system
// calls: '/' separators, every existing component in its stored case.

std::string JoinNative(const std::string& dir, const std::string& name);
// The folder part of a native path with its '/', "" for the current folder;
// the last component is what follows it.
std::string FolderOf(const std::string& native);
bool IsDotName(const std::string& name);
// The native path of the existing folders on path (all components but the
// last, "" for the current folder) and the last component as given ("" when
// there is none).
bool ResolveParent(const char* path, std::string* parent, std::string* last);
// Native path of an existing file or folder, with its status.
bool ResolveExisting(const char* path, std::string* native, struct stat* st);
// For a name about to be created: the native path of the new name (the
// existing folders in their stored case, the last component as given).
// Fails with `taken` when anything of that name exists in any letter case.
bool ResolveNew(const char* path, uint32_t taken, std::string* native);

// ---------------------------------------------------------------------------
// INI files (PosixIni.cpp): how often a file has been parsed.

uint64_t IniParseCount();

}  // namespace posix
