// Folder listings and the lookup of a name without regard to letter case.
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
#include <errno.h>
#include <sys/inotify.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

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
static uint64_t FolderReads = 0;

std::mutex posix::ListingLock;

void posix::CountFolderRead() { ++FolderReads; }

static void DropCache() {
  if (Notify >= 0) close(Notify);
  Notify = -1;
  Listings.clear();
}

// Test hooks (tests/platform/PlatformPosixHooks.h declares them and this
// record, which must stay as it is there).
struct PlatPosixCounts {
  uint64_t folderReads;
  uint64_t iniParses;
};

bool PlatPosixEnableCache(bool enabled) {
  std::lock_guard<std::mutex> hold(ListingLock);
  const bool previous = CacheEnabled;
  CacheEnabled = enabled;
  if (!enabled) DropCache();
  return previous;
}

PlatPosixCounts PlatPosixGetCounts() {
  PlatPosixCounts counts;
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    counts.folderReads = FolderReads;
  }
  counts.iniParses = IniParseCount();  // takes the INI lock, which is taken before ListingLock
  return counts;
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

// A folder that cannot be read gives null too: the caller's own scan then
// reports why.
const NameSet* posix::CachedListing(const std::string& dir) {
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

bool posix::LookupFolded(const std::string& dir, const std::string& name, std::string* stored) {
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
