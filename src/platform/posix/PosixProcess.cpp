// The current directory, the executable's path, the end of the process and
// the processor cores it may use.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

uint32_t PlatGetProcessorCount() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
    return static_cast<uint32_t>(CPU_COUNT(&allowed));
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<uint32_t>(online) : 1;
}

// The handler only records the request and wakes a watching loop; the
// program acts on it where it is safe to.
static volatile sig_atomic_t EndRequested = 0;
static int EndRequestPipe[2] = {-1, -1};

static void OnEndRequest(int) {
  const int saved = errno;
  EndRequested = 1;
  if (EndRequestPipe[1] >= 0) {
    const char byte = 1;
    if (write(EndRequestPipe[1], &byte, 1) < 0) {
      // Full: a request is waiting already.
    }
  }
  errno = saved;
}

intptr_t PlatCatchEndRequests() {
  if (EndRequestPipe[0] < 0 && pipe2(EndRequestPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    EndRequestPipe[0] = EndRequestPipe[1] = -1;
  struct sigaction request;
  std::memset(&request, 0, sizeof request);
  request.sa_handler = OnEndRequest;
  // A second request finds the default action again and ends the process.
  request.sa_flags = SA_RESTART | SA_RESETHAND;
  sigemptyset(&request.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &request, nullptr);
  struct sigaction ignore;
  std::memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGXFSZ}) sigaction(signal, &ignore, nullptr);
  return EndRequestPipe[0];
}

bool PlatEndRequested() { return EndRequested != 0; }
