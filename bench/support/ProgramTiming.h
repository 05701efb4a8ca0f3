// What the whole-process benchmarks share: built programs started as a user
// starts them, timed from before fork to after wait4, against a plain copy of
// the same bytes, in interleaved rounds reported as the median of the paired
// ratios beside their minimum. Linux only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

// Thrown on anything that makes a figure meaningless; main prints it.
[[noreturn]] void Fail(const std::string& message);

// SIGINT and SIGTERM end the bench at the next process it waits for.
void CatchInterrupts();

// A folder of the bench, removed with everything in it at the end, also
// after an error.
struct WorkFolder {
  explicit WorkFolder(const char* prefix);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  fs::path path;
};

struct Outcome {
  double seconds = 0;
  long minorFaults = 0;
  long peakKib = 0;  // ru_maxrss
  int status = 0;    // as from wait4
};

std::string Describe(int status);
bool ExitedWith(const Outcome& outcome, int code);

// Runs args[0] in folder cwd ("" for ours) without DISPLAY and
// WAYLAND_DISPLAY, standard output into the file out and standard error into
// errors (both truncated). Started with fork and exec: ru_maxrss of a child
// started through vfork is its parent's. A forked child reports at least the
// parent's resident size, so keep the parent small (see InChild).
Outcome RunProcess(const std::vector<std::string>& args, const fs::path& out, const fs::path& errors,
                   const fs::path& cwd = fs::path());
// Runs work in a child process and waits for it: big buffers made there do
// not count towards the peak memory of later children.
void InChild(const std::function<void()>& work);

// /bin/NAME or /usr/bin/NAME (or sbin), executable.
std::string FindTool(const char* name);
// Writes everything dirty of the file system that holds path to disk, so
// that no run pays for the writes of the one before.
void SyncFileSystem(const fs::path& path);
// The name of the file system that holds path ("ext4", "fuseblk", ...).
std::string FileSystemName(const fs::path& path);
std::string ReadText(const fs::path& path);
void WriteFile(const fs::path& path, const void* bytes, size_t size);
bool SameBytes(const fs::path& a, const fs::path& b);

// The programs given on the command line: absolute paths, labelled as given.
struct Program {
  std::string path;
  std::string label;
};
std::vector<Program> ProgramsFrom(const std::vector<std::string>& paths);

// Times of one case: a program's and its copy's, round by round.
struct Paired {
  std::vector<double> program;
  std::vector<double> copy;
  double MedianRatio() const;
  double MinimumRatio() const;
  double MedianProgram() const;
  double MedianCopy() const;
};
double Median(std::vector<double> values);

std::string Milliseconds(double seconds);
std::string Seconds(double seconds);
std::string Mebibytes(double kib);
std::string Thousands(long value);
// "1.31 x (min 1.25 x)"
std::string RatioCell(double median, double minimum);

// One row of a Markdown table.
void PrintRow(const std::string& label, const std::vector<std::string>& cells);
void PrintHeader(const std::string& first, const std::vector<Program>& programs);

// Reads "--rounds N"-style options; the rest are returned in order.
struct Options {
  std::vector<std::string> rest;
  int Int(const std::string& name, int fallback) const;
  std::string Text(const std::string& name, const std::string& fallback) const;
  std::vector<std::pair<std::string, std::string>> given;
};
Options ParseOptions(int argc, char** argv, const std::vector<std::string>& names);

}  // namespace bench
