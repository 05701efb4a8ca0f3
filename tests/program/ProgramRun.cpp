#include "ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "Platform.h"
#include "TestSupport.h"

std::string Slurp(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

static std::string Command(const std::vector<std::string>& argv, const std::string& shellPrefix,
                           const std::string& asUser) {
  std::string command = shellPrefix + "exec";
  if (!asUser.empty()) command += " setpriv --reuid=" + asUser + " --regid=" + asUser + " --clear-groups";
  for (const auto& a : argv) command += " '" + a + "'";
  return command;
}

static pid_t Start(const std::string& command, const std::string& dir, int out, int err) {
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    if (chdir(dir.c_str()) != 0) _exit(120);
    const int in = open("/dev/null", O_RDONLY);
    const int nowhere = open("/dev/null", O_WRONLY);
    dup2(in, 0);
    dup2(out >= 0 ? out : nowhere, 1);
    dup2(err >= 0 ? err : nowhere, 2);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int FinishProgram(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int FinishProgramWithin(pid_t pid, int milliseconds) {
  for (int waited = 0;; waited += 5) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (waited >= milliseconds) break;
    usleep(5000);
  }
  kill(pid, SIGKILL);
  FinishProgram(pid);
  return -1;
}

Outcome RunProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& shellPrefix, const std::string& asUser) {
  TempDir capture;
  const int out = open(capture.Path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = open(capture.Path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = Start(Command(argv, shellPrefix, asUser), dir, out, err);
  close(out);
  close(err);
  Outcome outcome;
  outcome.code = FinishProgram(pid);
  outcome.out = Slurp(capture.Path("out"));
  outcome.err = Slurp(capture.Path("err"));
  return outcome;
}

pid_t StartProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& shellPrefix, int outFd, const std::string& errPath) {
  const int err = errPath.empty() ? -1 : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid = Start(Command(argv, shellPrefix, ""), dir, outFd, err);
  if (err >= 0) close(err);
  return pid;
}

std::string Message(uint32_t code) {
  char text[256];
  const uint32_t n = PlatGetErrorText(code, text, sizeof text);
  return std::string(text, n);
}
