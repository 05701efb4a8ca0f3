// Path and file helpers. Paths are at most 260 characters in buffers of
// PLAT_PATH_BUFFER bytes; backslash is the separator.
#pragma once

#include "Platform.h"

// One backslash appended to a non-empty path that does not end in one. A
// path of 260 characters has no room: it stays, with ERROR_FILENAME_EXCED_RANGE.
void AddTrailingBackslash(char* path);
// dir, sub and name joined with backslashes into out (261 bytes); out may be
// the storage of any argument. A result longer than 260 characters is
// refused: out becomes empty and the last error ERROR_FILENAME_EXCED_RANGE.
void JoinPath(const char* dir, const char* sub, const char* name, char* out);
bool FileExists(const char* path);
bool DirectoryExists(const char* path);
// The file exists and its stored name has exactly the letter case of the
// path's last component.
bool NameCaseMatches(const char* path);
// Creates every missing folder on the parent path of path (a path ending in
// a backslash is a folder, created too). BOOL32_TRUE when the parent exists
// afterwards or there is none; BOOL32_FALSE with the failed creation's code,
// or ERROR_FILENAME_EXCED_RANGE for a path beyond 260 characters.
Bool32 ForceParentDirectories(const char* path);
