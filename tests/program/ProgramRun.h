// Running the built Linux program as a user or a script runs it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct Outcome {
  int code = -1;  // the exit code, or 128 + the signal that ended the process
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path);

// Runs argv (argv[0] is the program) without a display, in dir, with stdout
// and stderr in files; the shell prefix (e.g. "ulimit -f 8; ") runs first.
Outcome RunProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& shellPrefix = "", const std::string& asUser = "");

// Starts argv in dir through the shell prefix (which may set a display),
// standard output to outFd (-1: /dev/null), standard error to errPath
// ("" : /dev/null). Returns the process id.
pid_t StartProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& shellPrefix, int outFd, const std::string& errPath);
// Waits for a started program: its exit code, or 128 + the ending signal.
int FinishProgram(pid_t pid);
// As FinishProgram, but for at most the given time: -1 when the program was
// still running then (it is killed and reaped).
int FinishProgramWithin(pid_t pid, int milliseconds);

// The platform's text of an error code, as the log shows it.
std::string Message(uint32_t code);
