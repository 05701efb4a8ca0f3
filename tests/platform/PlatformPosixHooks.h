// What the POSIX layer offers its tests and benchmarks beyond Platform.h.
// Nothing of the system calls these; the layer defines them without a header
// of its own.
#pragma once

#include <cstdint>

// The Win32 code that a failure with this errno value is reported as.
uint32_t PlatPosixCodeFromErrno(int error);

// Turns the folder-listing cache on (the default) or off; off drops every
// kept listing. Returns the previous setting.
bool PlatPosixEnableCache(bool enabled);

// How often the layer has read a folder's names and parsed an INI file since
// the process started. The layer defines the same record.
struct PlatPosixCounts {
  uint64_t folderReads;
  uint64_t iniParses;
};
PlatPosixCounts PlatPosixGetCounts();

// Makes PlatCreateTemporary give named files (on) instead of unnamed ones
// where the system can make those (off, the default). Returns the previous
// setting.
bool PlatPosixUseNamedTemporary(bool named);

// Makes PlatPublishFile give a named file the target's name by renaming
// its temporary name, as on a file system without hard links (on), instead
// of linking the file it holds (off, the default). Returns the previous
// setting.
bool PlatPosixUseRenameToPublish(bool rename);
