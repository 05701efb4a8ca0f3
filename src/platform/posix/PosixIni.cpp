// INI files. A section header is a line that starts with '['; its name runs
// to the first ']'. Sections of the same name in other letter case are one
// section, their lines appended in file order. A section's lines are every
// other line, trimmed of blanks, but blank lines and lines that start with
// ';'; lines before the first header belong to no section. Lines end at CR,
// LF or a zero byte; a UTF-8 byte-order mark at the start is passed over.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <unordered_map>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

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
  uint32_t count = 0;
  const bool read = Guarded([&] {
    IniFile ini;
    if (!LoadIni(iniPath, &ini)) return false;
    count = WriteList(ini.names, buffer, size);
    return true;
  });
  return read ? count : WriteList(std::vector<std::string>(), buffer, size);
}

uint32_t PlatReadIniSection(const char* iniPath, const char* section, char* buffer, uint32_t size) {
  if (buffer == nullptr || section == nullptr) return Fail(ERROR_INVALID_PARAMETER), 0;
  uint32_t count = 0;
  const bool read = Guarded([&] {
    IniFile ini;
    if (!LoadIni(iniPath, &ini)) return false;
    const std::string wanted(section);
    for (size_t i = 0; i < ini.names.size(); ++i) {
      if (CompareFolded(ini.names[i], wanted) == 0) {
        count = WriteList(ini.lines[i], buffer, size);
        return true;
      }
    }
    count = WriteList(std::vector<std::string>(), buffer, size);
    return true;
  });
  return read ? count : WriteList(std::vector<std::string>(), buffer, size);
}
