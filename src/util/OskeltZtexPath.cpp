// Path and file helpers. Paths are 8-bit strings of at most 260 characters;
// backslash is the only separator these routines know, a colon marks a drive.
#include <cstring>

#include "OskeltZtexPath.h"

static size_t Length(const char* text) { return text ? std::strlen(text) : 0; }

static bool EndsInBackslash(const char* text, size_t length) {
  return length > 0 && text[length - 1] == '\\';
}

void AddTrailingBackslash(char* path) {
  if (!path || path[0] == '\0') return;
  const size_t length = std::strlen(path);
  if (EndsInBackslash(path, length)) return;
  // The caller's buffer holds 261 bytes: a 260-character path has no room.
  if (length >= PLAT_MAX_PATH) {
    PlatSetLastError(ERROR_FILENAME_EXCED_RANGE);
    return;
  }
  path[length] = '\\';
  path[length + 1] = '\0';
}

void JoinPath(const char* dir, const char* sub, const char* name, char* out) {
  if (!out) return;
  const size_t dirLength = Length(dir);
  const size_t subLength = Length(sub);
  const size_t nameLength = Length(name);

  // The length of the result, worked out by the same steps before anything
  // is copied.
  size_t total = 0;
  bool separatorLast = false;
  if (dirLength > 0) {
    total = dirLength + (EndsInBackslash(dir, dirLength) ? 0 : 1);
    separatorLast = true;
  }
  if (subLength > 0) {
    total += subLength;
    separatorLast = EndsInBackslash(sub, subLength);
  }
  if (total > 0 && !separatorLast) ++total;
  total += nameLength;
  if (total > PLAT_MAX_PATH) {
    out[0] = '\0';
    PlatSetLastError(ERROR_FILENAME_EXCED_RANGE);
    return;
  }

  char work[PLAT_PATH_BUFFER];
  work[0] = '\0';
  if (dirLength > 0) {
    std::memcpy(work, dir, dirLength + 1);
    AddTrailingBackslash(work);
  }
  if (subLength > 0) std::strcat(work, sub);
  AddTrailingBackslash(work);
  if (nameLength > 0) std::strcat(work, name);
  std::memcpy(out, work, std::strlen(work) + 1);
}

bool FileExists(const char* path) { return path && PlatFileExists(path); }

bool DirectoryExists(const char* path) { return path && PlatDirectoryExists(path); }

bool NameCaseMatches(const char* path) {
  if (!path) return false;
  char found[PLAT_PATH_BUFFER];
  PlatSearch search = PlatFindFirst(path, found);
  if (search == PLAT_NO_SEARCH) return false;
  const size_t pathLength = std::strlen(path);
  const size_t foundLength = std::strlen(found);
  // The tail is taken by length: a found name longer than the path (the path
  // named a short alias) cannot match.
  const bool matches =
      foundLength <= pathLength && std::strcmp(found, path + pathLength - foundLength) == 0;
  PlatFindClose(search);
  return matches;
}

Bool32 ForceParentDirectories(const char* path) {
  if (!path || path[0] == '\0') return BOOL32_TRUE;
  const size_t length = std::strlen(path);
  if (length > PLAT_MAX_PATH) {
    PlatSetLastError(ERROR_FILENAME_EXCED_RANGE);
    return BOOL32_FALSE;
  }
  char parent[PLAT_PATH_BUFFER];
  std::memcpy(parent, path, length + 1);

  // Strip the last component; the backslash before it stays.
  for (size_t i = length; i > 0 && parent[i - 1] != '\\'; --i) parent[i - 1] = '\0';
  if (parent[0] == '\0') return BOOL32_TRUE;
  if (DirectoryExists(parent)) return BOOL32_TRUE;

  // Every level from the second character on; the backslash of a drive root
  // ("C:\") is not a level of its own.
  for (size_t i = 1; i < PLAT_MAX_PATH && parent[i] != '\0'; ++i) {
    if (parent[i] != '\\' || parent[i - 1] == ':') continue;
    parent[i] = '\0';
    if (!DirectoryExists(parent) && !PlatCreateDirectory(parent)) return BOOL32_FALSE;
    parent[i] = '\\';
  }
  return BOOL32_TRUE;
}
