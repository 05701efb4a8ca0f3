// The current directory, the executable's path and the end of the process.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Platform.h"
#include "PosixInternal.h"

using namespace posix;

uint32_t PlatGetCurrentDirectory(char* buffer, uint32_t size) {
  char path[4096];
  if (getcwd(path, sizeof path) == nullptr) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return FailErrno(), 0;
  }
  return CopyOut(path, std::strlen(path), buffer, size);
}

bool PlatSetCurrentDirectory(const char* path) {
  return Guarded([&] {
    std::string native;
    struct stat st;
    if (!ResolveExisting(path, &native, &st)) return false;
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    if (chdir(native.c_str()) != 0) return FailErrno();
    return true;
  });
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
