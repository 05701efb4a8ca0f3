// INI files. A section header is a line that starts with '['; its name runs
// to the first ']'. Sections of the same name in other letter case are one
// section, their lines appended in file order. A section's lines are every
// other line, trimmed of blanks, but blank lines and lines that start with
// ';'; lines before the first header belong to no section. Lines end at CR,
// LF or a zero byte; a UTF-8 byte-order mark at the start is passed over.
//
// The most recently parsed file is kept, as the Windows profile functions
// keep theirs, and serves every call while its device, inode, size and
// modification time stay as they were; a reader that loads a map section by
// section thus reads and parses the file once. The kept file stays open, so
// that no new file can take its inode number meanwhile. Not noticed: a file
// rewritten in place to the same size within one tick of the file system's
// clock.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

struct ParsedIni {
  int fd = -1;  // the parsed file, kept open
  std::string native;
  struct stat status;
  std::string names;               // each name with its terminator, in file order
  std::vector<std::string> lines;  // per section: each line with its terminator
  std::unordered_map<std::string, size_t> byName;  // upper-cased name -> section
};

static std::mutex IniLock;  // guards Kept
static ParsedIni Kept;
static uint64_t IniParses = 0;

uint64_t posix::IniParseCount() {
  std::lock_guard<std::mutex> hold(IniLock);
  return IniParses;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

static void Trim(const char** begin, const char** end) {
  while (*begin < *end && IsBlank(**begin)) ++*begin;
  while (*end > *begin && IsBlank((*end)[-1])) --*end;
}

static void Parse(const std::string& text, ParsedIni* ini) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3;
  size_t current = SIZE_MAX;
  while (p < end) {
    const char* lineEnd = p;
    while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n' && *lineEnd != '\0') ++lineEnd;
    const char* first = p;
    const char* last = lineEnd;
    p = lineEnd + 1;
    Trim(&first, &last);
    if (first == last || *first == ';') continue;
    if (*first == '[') {
      const void* close = std::memchr(first, ']', static_cast<size_t>(last - first));
      const char* nameFirst = first + 1;
      const char* nameLast = close != nullptr ? static_cast<const char*>(close) : last;
      Trim(&nameFirst, &nameLast);
      current = SIZE_MAX;
      if (nameFirst == nameLast) continue;
      const std::string name(nameFirst, nameLast);
      auto known = ini->byName.emplace(UpperName(name), ini->lines.size());
      if (known.second) {
        ini->names.append(name).push_back('\0');
        ini->lines.emplace_back();
      }
      current = known.first->second;
    } else if (current != SIZE_MAX) {
      ini->lines[current].append(first, last).push_back('\0');
    }
  }
}

static bool ReadAll(int fd, size_t expected, std::string* text) {
  text->reserve(expected);
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailErrno();
    if (n == 0) return true;
    text->append(chunk, static_cast<size_t>(n));
  }
}

static bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Makes Kept the parse of the file at path as it is now. Call with IniLock
// held.
static bool Refresh(const char* path) {
  std::string native;
  struct stat st;
  if (!ResolveExisting(path, &native, &st)) return false;
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (Kept.fd >= 0 && Kept.native == native && SameFile(Kept.status, st)) return true;
  ParsedIni fresh;
  fresh.fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fresh.fd < 0) return FailErrno();
  bool parsed = false;
  try {
    std::string text;
    // The status before the bytes: a change made while they are read shows
    // at the next call.
    parsed = fstat(fresh.fd, &fresh.status) == 0 ? ReadAll(fresh.fd, static_cast<size_t>(fresh.status.st_size), &text)
                                                 : FailErrno();
    if (parsed) Parse(text, &fresh);
  } catch (const std::bad_alloc&) {
    close(fresh.fd);
    throw;
  }
  if (!parsed) {
    close(fresh.fd);
    return false;
  }
  fresh.native.swap(native);
  if (Kept.fd >= 0) close(Kept.fd);
  std::swap(Kept, fresh);
  ++IniParses;
  return true;
}

// Writes a list (strings each with its terminator) and the final terminator.
// A list that does not fit whole is cut as the Windows profile functions cut
// it: its first size - 2 characters and two terminators, result size - 2.
static uint32_t WriteList(const std::string& list, char* buffer, uint32_t size) {
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  if (list.size() <= size - 2) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    if (list.empty()) buffer[1] = '\0';
    return static_cast<uint32_t>(list.size());
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

uint32_t PlatReadIniSectionNames(const char* iniPath, char* buffer, uint32_t size) {
  if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
  std::lock_guard<std::mutex> hold(IniLock);
  uint32_t count = 0;
  const bool read = Guarded([&] {
    if (!Refresh(iniPath)) return false;
    count = WriteList(Kept.names, buffer, size);
    return true;
  });
  return read ? count : WriteList(std::string(), buffer, size);
}

uint32_t PlatReadIniSection(const char* iniPath, const char* section, char* buffer, uint32_t size) {
  if (buffer == nullptr || section == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
  std::lock_guard<std::mutex> hold(IniLock);
  uint32_t count = 0;
  const bool read = Guarded([&] {
    if (!Refresh(iniPath)) return false;
    const auto found = Kept.byName.find(UpperName(section));
    if (found == Kept.byName.end()) {
      count = WriteList(std::string(), buffer, size);
    } else {
      count = WriteList(Kept.lines[found->second], buffer, size);
    }
    return true;
  });
  return read ? count : WriteList(std::string(), buffer, size);
}
