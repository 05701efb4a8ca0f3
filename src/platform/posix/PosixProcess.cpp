// The current directory, the executable's path, the end of the process and
// the processor cores it may use.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
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

uint32_t PlatGetProcessId() { return static_cast<uint32_t>(getpid()); }

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

// ---------------------------------------------------------------------------
// Standard output and error.

// Waits until fd can take PIPE_BUF bytes without blocking (a file or a
// terminal always can). The wait is a poll(), which a caught signal ends
// whatever SA_RESTART says: once a request to end the process has come, a
// reader that takes nothing no longer holds the program up.
static bool WaitWritable(int fd) {
  for (;;) {
    struct pollfd p = {fd, POLLOUT, 0};
    const int ready = poll(&p, 1, EndRequested != 0 ? 0 : -1);
    if (ready > 0) return true;  // writable, or an error that the write reports
    if (ready == 0) return Fail(ERROR_OPERATION_ABORTED);
    if (errno != EINTR && errno != EAGAIN) return true;
  }
}

// The bytes of text with each "\r\n" as "\n", all of them, in writes of at
// most PIPE_BUF bytes; what is left when an end request stops it is dropped.
static bool WriteLines(int fd, const char* text, uint32_t size) {
  char chunk[PIPE_BUF];
  uint32_t at = 0;
  while (at < size) {
    size_t length = 0;
    while (at < size && length < sizeof chunk) {
      if (!(text[at] == '\r' && at + 1 < size && text[at + 1] == '\n')) chunk[length++] = text[at];
      ++at;
    }
    size_t done = 0;
    while (done < length) {
      if (!WaitWritable(fd)) return false;
      const ssize_t n = write(fd, chunk + done, length - done);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return FailErrno();
      }
      done += static_cast<size_t>(n);
    }
  }
  return true;
}

bool PlatWriteStandardOutput(const char* text, uint32_t size) {
  if (text == nullptr && size != 0) return Fail(ERROR_INVALID_PARAMETER);
  const uint32_t saved = LastError;
  if (!WriteLines(STDOUT_FILENO, text, size)) return false;
  LastError = saved;
  return true;
}

void PlatWriteStandardError(const char* text) {
  if (text == nullptr) return;
  const uint32_t saved = LastError;
  WriteLines(STDERR_FILENO, text, static_cast<uint32_t>(std::strlen(text)));
  LastError = saved;
}
