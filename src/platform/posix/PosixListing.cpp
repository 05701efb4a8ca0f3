// Folder listings and the lookup of a name without regard to letter case.
//
// A name that exists in no letter case can only be told from a full listing
// of its folder, and the batch run asks for missing names in large folders
// once or twice per texture. So listings are kept, per folder, and a kept
// listing is used only while the folder's status shows what it showed when
// the listing was read: the same device and inode, the same modification and
// change times. The program's own creations, removals and renames are applied
// to the kept listing as they are made, so a run reads each folder a bounded
// number of times however many names it adds. Nothing is watched, so nothing
// needs to be torn down when the process ends.
//
// The times are only as good as their clock:
// - A folder changed within a clock tick (and the times' granularity) before
//   it was read can change again in that tick without new times, so such a
//   listing serves the lookup at hand and is read again at the next one.
//   Only the program's own change may be that last change: it is known.
// - Where the times are coarse (whole seconds as FAT keeps them, 10 ms as
//   exFAT does) the program's own changes leave a listing in that state too:
//   such a folder is read at every use while the program changes it.
//   Correct rather than fast.
// - A file system that keeps no times (all zero) keeps no listing.
// The status is taken with AT_STATX_FORCE_SYNC, so that FUSE and network file
// systems answer from the file system, not from the attributes the kernel
// cached for a second or more.
//
// Not supported: a change made by another process at the moment of the
// program's own change of that folder: between the check and the change in
// one call of the layer; in the same clock tick after it, on a kernel or file
// system whose times do not tell two changes in one tick apart (Linux before
// 6.13 gives them at most one time per tick); on FUSE, between the removal of
// the name of an open file and that file's close. The listing may miss such
// a change until the folder is read again. A name that the listing holds but
// that is gone is noticed at once (ForgetListing).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <time.h>

#include <atomic>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

// What a folder's status shows of its changes.
struct FolderStamp {
  uint64_t device;
  uint64_t inode;
  int64_t modifiedSeconds;
  uint32_t modifiedNanoseconds;
  int64_t changedSeconds;
  uint32_t changedNanoseconds;
};

struct FolderListing {
  FolderStamp stamp;     // the status the names belong to
  FolderStamp own;       // the status right after the program's last change
  bool hasOwn;
  bool settled;          // the stamp shows every later change
  uint64_t vouchedCall;  // the call that last found the stamp current
  NameSet names;
};

typedef std::pair<uint64_t, uint64_t> FolderKey;  // device, inode

// A removed name that a FUSE file system hides until its file is closed.
struct HiddenName {
  int fd;
  std::string dir;
  FolderStamp stamp;  // the folder's status right after the removal
};

static const size_t MAX_LISTINGS = 256;
static const int64_t NANOSECONDS = 1000000000;
// The longest clock tick of a Linux kernel (100 Hz): file times of a change
// are taken from the clock as of its last tick.
static const int64_t CLOCK_TICK = 10000000;
// Times that are multiples of this are taken as coarse.
static const int64_t COARSE = 1000000;
static const uint32_t FUSE_MAGIC = 0x65735546u;

static bool CacheEnabled = true;
static std::map<FolderKey, FolderListing> Listings;
static uint64_t FolderReads = 0;
static std::atomic<uint64_t> Calls{0};
static std::vector<HiddenName> HiddenNames;
// The folder that the current call found current last, by the path it asked
// with: a call that asks again trusts it without another status.
static uint64_t CheckedCall = 0;
static std::string CheckedDir;
static FolderKey CheckedKey;

std::mutex posix::ListingLock;
thread_local uint64_t posix::CurrentCall = 0;

uint64_t posix::NewCall() { return ++Calls; }

void posix::CountFolderRead() { ++FolderReads; }

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
  if (!enabled) {
    Listings.clear();
    HiddenNames.clear();
  }
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

// The status of folder dir as the file system has it now; false when it is
// no folder or its times are missing.
static bool ReadStamp(const std::string& dir, FolderStamp* stamp) {
  struct statx status;
  const unsigned wanted = STATX_TYPE | STATX_INO | STATX_MTIME | STATX_CTIME;
  if (statx(AT_FDCWD, dir.empty() ? "." : dir.c_str(), AT_STATX_FORCE_SYNC, wanted, &status) != 0) return false;
  if ((status.stx_mask & wanted) != wanted || !S_ISDIR(status.stx_mode)) return false;
  stamp->device = makedev(status.stx_dev_major, status.stx_dev_minor);
  stamp->inode = status.stx_ino;
  stamp->modifiedSeconds = status.stx_mtime.tv_sec;
  stamp->modifiedNanoseconds = status.stx_mtime.tv_nsec;
  stamp->changedSeconds = status.stx_ctime.tv_sec;
  stamp->changedNanoseconds = status.stx_ctime.tv_nsec;
  return stamp->modifiedSeconds != 0 || stamp->modifiedNanoseconds != 0 || stamp->changedSeconds != 0 ||
         stamp->changedNanoseconds != 0;
}

static bool SameStamp(const FolderStamp& a, const FolderStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.modifiedSeconds == b.modifiedSeconds &&
         a.modifiedNanoseconds == b.modifiedNanoseconds && a.changedSeconds == b.changedSeconds &&
         a.changedNanoseconds == b.changedNanoseconds;
}

static FolderKey KeyOf(const FolderStamp& stamp) { return FolderKey(stamp.device, stamp.inode); }

// The granularity of the times as far as these two show it: whole seconds
// stand for FAT's 2 s.
static int64_t Granularity(const FolderStamp& stamp) {
  const uint32_t both[2] = {stamp.modifiedNanoseconds, stamp.changedNanoseconds};
  int64_t step = NANOSECONDS;
  while (step > 1 && (both[0] % step != 0 || both[1] % step != 0)) step /= 10;
  return step == NANOSECONDS ? 2 * NANOSECONDS : step;
}

static bool Coarse(const FolderStamp& stamp) { return Granularity(stamp) >= COARSE; }

// Whether a change after `now` must give the folder other times than these.
static bool Settled(const FolderStamp& stamp, const struct timespec& now) {
  const int64_t modified = stamp.modifiedSeconds * NANOSECONDS + stamp.modifiedNanoseconds;
  const int64_t changed = stamp.changedSeconds * NANOSECONDS + stamp.changedNanoseconds;
  const int64_t latest = modified > changed ? modified : changed;
  const int64_t clock = static_cast<int64_t>(now.tv_sec) * NANOSECONDS + now.tv_nsec;
  return latest < clock - CLOCK_TICK - Granularity(stamp);
}

// A folder that cannot be read gives null too: the caller's own scan then
// reports why.
const NameSet* posix::CachedListing(const std::string& dir) {
  if (!CacheEnabled) return nullptr;
  if (CurrentCall != 0 && CheckedCall == CurrentCall && CheckedDir == dir) {
    auto kept = Listings.find(CheckedKey);
    if (kept != Listings.end() && kept->second.vouchedCall == CurrentCall) return &kept->second.names;
  }
  FolderStamp stamp;
  if (!ReadStamp(dir, &stamp)) return nullptr;
  auto it = Listings.find(KeyOf(stamp));
  CheckedCall = CurrentCall;
  CheckedDir = dir;
  CheckedKey = KeyOf(stamp);
  if (it != Listings.end() && it->second.settled && SameStamp(it->second.stamp, stamp)) {
    it->second.vouchedCall = CurrentCall;
    return &it->second.names;
  }
  if (it == Listings.end()) {
    if (Listings.size() >= MAX_LISTINGS) Listings.clear();
    it = Listings.emplace(KeyOf(stamp), FolderListing()).first;
  }
  FolderListing& listing = it->second;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  NameSet names;
  if (!ScanDirectory(dir, [&names](const char* n) { names.insert(n); })) {
    Listings.erase(it);
    return nullptr;
  }
  listing.names.swap(names);
  listing.settled = Settled(stamp, now) || (listing.hasOwn && SameStamp(listing.own, stamp) && !Coarse(stamp));
  listing.stamp = stamp;
  listing.vouchedCall = CurrentCall;
  return &listing.names;
}

void posix::ForgetListing(const std::string& dir) {
  FolderStamp stamp;
  if (!Listings.empty() && ReadStamp(dir, &stamp)) Listings.erase(KeyOf(stamp));
}

void posix::VouchListing(const std::string& dir) {
  std::lock_guard<std::mutex> hold(ListingLock);
  FolderStamp stamp;
  if (Listings.empty() || !ReadStamp(dir, &stamp)) return;
  auto it = Listings.find(KeyOf(stamp));
  if (it == Listings.end()) return;
  if (it->second.settled && SameStamp(it->second.stamp, stamp)) {
    it->second.vouchedCall = CurrentCall;
  } else {
    Listings.erase(it);
  }
}

// The kept listing of folder dir after the program's own change of it, with
// the folder's new status; null when there is none, or when it was not found
// current before the change (it is then dropped).
static FolderListing* ChangedListing(const std::string& dir, FolderStamp* stamp) {
  if (Listings.empty() || !ReadStamp(dir, stamp)) return nullptr;
  auto it = Listings.find(KeyOf(*stamp));
  if (it == Listings.end()) return nullptr;
  if (CurrentCall == 0 || it->second.vouchedCall != CurrentCall) {
    Listings.erase(it);
    return nullptr;
  }
  return &it->second;
}

static void TakeOwnChange(FolderListing* listing, const FolderStamp& stamp) {
  listing->stamp = stamp;
  listing->own = stamp;
  listing->hasOwn = true;
  if (Coarse(stamp)) listing->settled = false;
}

// The folder part of a native path ("" for the current folder) and its last
// component.
static void SplitNative(const std::string& native, std::string* dir, std::string* name) {
  *dir = FolderOf(native);
  *name = native.substr(dir->size());
}

// Applies the removal of one name and the addition of another (either may be
// empty) in folder dir; the listing that took it, if any.
static FolderListing* ApplyChange(const std::string& dir, const std::string& removed, const std::string& added) {
  FolderStamp stamp;
  FolderListing* listing = ChangedListing(dir, &stamp);
  if (listing == nullptr) return nullptr;
  if (!removed.empty()) listing->names.erase(removed);
  if (!added.empty()) listing->names.insert(added);
  TakeOwnChange(listing, stamp);
  return listing;
}

void posix::NoteCreated(const std::string& native) {
  std::string dir, name;
  SplitNative(native, &dir, &name);
  std::lock_guard<std::mutex> hold(ListingLock);
  ApplyChange(dir, std::string(), name);
}

void posix::NoteRemoved(const std::string& native) {
  std::string dir, name;
  SplitNative(native, &dir, &name);
  std::lock_guard<std::mutex> hold(ListingLock);
  ApplyChange(dir, name, std::string());
}

void posix::NoteRemovedOpen(const std::string& native, int fd) {
  std::string dir, name;
  SplitNative(native, &dir, &name);
  std::lock_guard<std::mutex> hold(ListingLock);
  const FolderListing* listing = ApplyChange(dir, name, std::string());
  struct statfs fs;
  if (listing == nullptr || statfs(dir.empty() ? "." : dir.c_str(), &fs) != 0) return;
  if (static_cast<uint32_t>(fs.f_type) == FUSE_MAGIC) HiddenNames.push_back(HiddenName{fd, dir, listing->stamp});
}

// The close removed the hidden name: a change of the program's own, unless
// anything else changed the folder since the removal.
void posix::NoteClosed(int fd) {
  std::lock_guard<std::mutex> hold(ListingLock);
  for (size_t i = 0; i < HiddenNames.size(); ++i) {
    if (HiddenNames[i].fd != fd) continue;
    const HiddenName hidden = HiddenNames[i];
    HiddenNames.erase(HiddenNames.begin() + static_cast<std::ptrdiff_t>(i));
    FolderStamp stamp;
    if (!ReadStamp(hidden.dir, &stamp)) return;
    auto it = Listings.find(KeyOf(stamp));
    if (it != Listings.end() && SameStamp(it->second.stamp, hidden.stamp)) TakeOwnChange(&it->second, stamp);
    return;
  }
}

void posix::NoteRenamed(const std::string& from, const std::string& to) {
  std::string fromDir, fromName, toDir, toName;
  SplitNative(from, &fromDir, &fromName);
  SplitNative(to, &toDir, &toName);
  std::lock_guard<std::mutex> hold(ListingLock);
  ApplyChange(fromDir, fromName, std::string());
  ApplyChange(toDir, std::string(), toName);
}

// A folder the program made is empty: its listing needs no read.
void posix::NoteFolderCreated(const std::string& native) {
  std::string dir, name;
  SplitNative(native, &dir, &name);
  std::lock_guard<std::mutex> hold(ListingLock);
  ApplyChange(dir, std::string(), name);
  FolderStamp stamp;
  if (!CacheEnabled || !ReadStamp(native, &stamp)) return;
  if (Listings.size() >= MAX_LISTINGS) Listings.clear();
  FolderListing& listing = Listings[KeyOf(stamp)];
  listing.names.clear();
  listing.settled = true;
  listing.vouchedCall = CurrentCall;
  TakeOwnChange(&listing, stamp);
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
