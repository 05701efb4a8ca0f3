// Whole-process timing of the program as a user runs it, `PROGRAM -C BASEDIR`
// without a display, for one or more builds side by side in one run (for
// example the previous commit's and the current one's):
// - one DXT1 texture, six DXT1 textures and one DXT3 texture of 4096 x 4096
//   pixels, each against "the copy": `cat` of the same TGA bytes into new
//   files, one process per file; the program's time as a ratio to the
//   copy's, and its minor page faults;
// - the peak memory of converting one 8192 x 8192 DXT1 texture;
// - an empty run (no textures found) beside a trivial process start.
// Runs are interleaved (program, copy, program, copy, ...) and the minimum of
// 5 rounds is taken. Prints a Markdown table with a column per program.
//
// Usage: process_bench PROGRAM [PROGRAM...]
//
// Processes are started with fork and exec, not posix_spawn: a child started
// through vfork reports its parent's peak resident set size as its own
// ru_maxrss, and a forked child the parent's current one. The textures are
// therefore built in a child process, so that this process stays small and
// the program's own peak is what gets measured.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "ZtexWriter.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const int ROUNDS = 5;
const int MEMORY_RUNS = 3;
const uint32_t MIP_LEVELS = 4;

volatile std::sig_atomic_t Interrupted = 0;

void OnSignal(int) { Interrupted = 1; }

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

// One texture of a case: its name (NAME-C.TEX gives NAME.tga) and picture.
struct Texture {
  std::string name;
  const char* pattern;
  uint32_t seed;
};

struct Case {
  std::string label;  // row of the table
  std::string folder;
  uint32_t format;
  uint32_t size;
  std::vector<Texture> textures;

  uint64_t TgaSize() const {
    const uint64_t bytesPerPixel = format == ZTEXGEN_DXT1 ? 3 : 4;
    return 18 + uint64_t{size} * size * bytesPerPixel + 26;
  }
};

// The work folder, removed with everything in it when the run ends, also
// after an error.
struct WorkFolder {
  WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "oskelt-process-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a folder in " + fs::temp_directory_path().string());
    path = pattern;
  }
  ~WorkFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) std::fprintf(stderr, "process_bench: cannot remove %s: %s\n", path.c_str(), ec.message().c_str());
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  fs::path path;
};

struct Outcome {
  double seconds = 0;
  long minorFaults = 0;
  long peakKib = 0;
  int status = 0;  // as from wait4
};

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

bool ExitedWith(const Outcome& outcome, int code) {
  return WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == code;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The environment of every child: ours without a display.
std::vector<char*> ChildEnvironment() {
  std::vector<char*> env;
  for (char** p = environ; *p != nullptr; ++p) {
    if (std::strncmp(*p, "DISPLAY=", 8) == 0 || std::strncmp(*p, "WAYLAND_DISPLAY=", 16) == 0) continue;
    env.push_back(*p);
  }
  env.push_back(nullptr);
  return env;
}

// Runs args[0] with standard output into a new file out (or /dev/null) and
// standard error into errors; the time is from before fork to after wait4.
Outcome RunProcess(const std::vector<std::string>& args, const fs::path& out, const fs::path& errors) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> env = ChildEnvironment();
  const std::string outName = out.string();
  const std::string errorName = errors.string();

  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    const int outFile = open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errorFile = open(errorName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFile < 0 || errorFile < 0 || dup2(outFile, 1) < 0 || dup2(errorFile, 2) < 0) _exit(126);
    close(outFile);
    close(errorFile);
    execve(argv[0], argv.data(), env.data());
    _exit(127);
  }
  Outcome outcome;
  struct rusage usage {};
  while (wait4(pid, &outcome.status, 0, &usage) < 0) {
    if (errno != EINTR) Fail(std::string("wait4: ") + std::strerror(errno));
  }
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.minorFaults = usage.ru_minflt;
  outcome.peakKib = usage.ru_maxrss;
  if (Interrupted) Fail("interrupted");
  return outcome;
}

void WriteFile(const fs::path& path, const ByteVector& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path.string());
}

// Writes the ZTEX files of every case, in a child process (see the top).
void BuildTextures(const fs::path& work, const std::vector<Case>& cases) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) Fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    int code = 0;
    try {
      for (const Case& c : cases) {
        fs::create_directories(work / c.folder / "_compiled");
        for (const Texture& texture : c.textures) {
          RgbaImage image;
          ByteVector bytes;
          if (!MakePattern(texture.pattern, c.size, c.size, texture.seed, &image) ||
              !BuildZtexFile(c.format, image, MIP_LEVELS, &bytes))
            Fail("cannot build " + texture.name);
          WriteFile(work / c.folder / "_compiled" / (texture.name + "-C.TEX"), bytes);
        }
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "process_bench: %s\n", e.what());
      code = 1;
    }
    std::fflush(nullptr);
    _exit(code);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) Fail(std::string("waitpid: ") + std::strerror(errno));
  }
  if (Interrupted) Fail("interrupted");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("building the textures failed (" + Describe(status) + ")");
}

// Every file below folder but outside its _compiled folder.
std::vector<fs::path> FilesWritten(const fs::path& folder) {
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_directory() && it.depth() == 0 && it->path().filename() == "_compiled") {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_directory()) files.push_back(it->path());
  }
  return files;
}

// Checks that folder holds exactly the TGA files of the case, each of the
// expected size, beside _compiled.
void CheckOutputs(const Case& c, const fs::path& folder, const std::string& who) {
  std::vector<fs::path> files = FilesWritten(folder);
  std::sort(files.begin(), files.end());
  std::vector<fs::path> expected;
  for (const Texture& texture : c.textures) expected.push_back(folder / (texture.name + ".tga"));
  std::sort(expected.begin(), expected.end());
  if (files != expected) {
    std::string message = who + ", " + c.label + ": expected " + std::to_string(expected.size()) +
                          " TGA files directly in " + folder.string() + ", found:";
    for (const fs::path& file : files) message += "\n  " + file.string();
    Fail(message);
  }
  for (const fs::path& file : files) {
    const uintmax_t size = fs::file_size(file);
    if (size != c.TgaSize())
      Fail(who + ", " + c.label + ": " + file.string() + " has " + std::to_string(size) + " bytes, expected " +
           std::to_string(c.TgaSize()));
  }
}

// Removes everything the program wrote into a case's base folder.
void RemoveOutputs(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename() != "_compiled") fs::remove_all(entry.path());
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  std::vector<char> x(1 << 20);
  std::vector<char> y(1 << 20);
  for (;;) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (first.gcount() != second.gcount()) return false;
    if (first.gcount() == 0) return true;
    if (!std::equal(x.begin(), x.begin() + first.gcount(), y.begin())) return false;
  }
}

std::string FindTool(const char* name) {
  for (const char* folder : {"/bin/", "/usr/bin/"}) {
    const std::string path = std::string(folder) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  Fail(std::string("no ") + name + " in /bin or /usr/bin");
}

struct Program {
  std::string path;   // absolute
  std::string label;  // as given
};

class Bench {
 public:
  Bench(const std::vector<Program>& programs, const fs::path& work)
      : programs_(programs), work_(work), errors_(work / "stderr.txt"), cat_(FindTool("cat")) {}

  // The program's conversions of a case against the copy; one cell per
  // program.
  std::vector<std::string> Conversion(const Case& c) {
    const fs::path base = work_ / c.folder;
    const fs::path kept = work_ / (c.folder + "-kept");
    const fs::path copy = work_ / (c.folder + "-copy");
    fs::create_directories(copy);
    // A first run of each program, not measured; the first program's files
    // are kept aside as the copy's input.
    for (size_t p = 0; p < programs_.size(); ++p) {
      ConvertOnce(p, c);
      if (p == 0) {
        fs::rename(base, kept);
        fs::create_directories(base);
        fs::rename(kept / "_compiled", base / "_compiled");
      } else {
        std::string differing;
        for (const Texture& texture : c.textures) {
          const std::string name = texture.name + ".tga";
          if (!SameBytes(base / name, kept / name)) differing += (differing.empty() ? "" : ", ") + name;
        }
        if (!differing.empty())
          notes_.push_back(programs_[p].label + " writes other bytes than " + programs_[0].label + " in " +
                           c.label + ": " + differing + ".");
      }
      RemoveOutputs(base);
    }
    CopyOnce(c, kept, copy);

    std::vector<double> best(programs_.size(), std::numeric_limits<double>::infinity());
    std::vector<long> faults(programs_.size(), std::numeric_limits<long>::max());
    double bestCopy = std::numeric_limits<double>::infinity();
    for (int round = 0; round < ROUNDS; ++round) {
      std::fprintf(stderr, "  %s: round %d of %d\n", c.label.c_str(), round + 1, ROUNDS);
      for (size_t k = 0; k < programs_.size(); ++k) {
        // Each round starts with another program, so none always runs first.
        const size_t p = (static_cast<size_t>(round) + k) % programs_.size();
        const Outcome run = ConvertOnce(p, c);
        RemoveOutputs(base);
        best[p] = std::min(best[p], run.seconds);
        faults[p] = std::min(faults[p], run.minorFaults);
        bestCopy = std::min(bestCopy, CopyOnce(c, kept, copy));
      }
    }
    fs::remove_all(kept);
    fs::remove_all(copy);
    fs::remove_all(base);
    copyTimes_.push_back(Milliseconds(bestCopy) + " (" + c.label + ")");

    std::vector<std::string> cells;
    for (size_t p = 0; p < programs_.size(); ++p) {
      char text[96];
      std::snprintf(text, sizeof text, "%.2f x the copy, %s minor faults", best[p] / bestCopy,
                    Thousands(faults[p]).c_str());
      cells.push_back(text);
    }
    return cells;
  }

  // The largest ru_maxrss of a few conversions of a case by each program.
  std::vector<std::string> PeakMemory(const Case& c) {
    const fs::path base = work_ / c.folder;
    std::vector<long> peak(programs_.size(), 0);
    for (int round = 0; round < MEMORY_RUNS; ++round) {
      std::fprintf(stderr, "  %s: run %d of %d\n", c.label.c_str(), round + 1, MEMORY_RUNS);
      for (size_t p = 0; p < programs_.size(); ++p) {
        peak[p] = std::max(peak[p], ConvertOnce(p, c).peakKib);
        RemoveOutputs(base);
      }
    }
    fs::remove_all(base);
    // The floor of this measure: a trivial process started the same way.
    trivialPeakKib_ = RunProcess({FindTool("true")}, "/dev/null", errors_).peakKib;
    std::vector<std::string> cells;
    for (long kib : peak) cells.push_back(Mebibytes(kib));
    return cells;
  }

  // The program in a base folder whose _compiled folder is empty, against
  // /bin/true.
  std::vector<std::string> EmptyRun(const Case& c) {
    const fs::path base = work_ / c.folder;
    const std::string trueTool = FindTool("true");
    std::vector<double> best(programs_.size(), std::numeric_limits<double>::infinity());
    double bestTrue = std::numeric_limits<double>::infinity();
    for (int round = 0; round <= ROUNDS; ++round) {  // round 0 is not measured
      for (size_t k = 0; k < programs_.size(); ++k) {
        const size_t p = (static_cast<size_t>(round) + k) % programs_.size();
        const Outcome run = RunProcess({programs_[p].path, "-C", base.string()}, "/dev/null", errors_);
        // "No textures found." ends with exit code 1.
        if (!ExitedWith(run, 1) && !ExitedWith(run, 0))
          Fail(programs_[p].label + ", " + c.label + ": " + Describe(run.status) + "\n" + ReadText(errors_));
        CheckOutputs(c, base, programs_[p].label);
        const Outcome trivial = RunProcess({trueTool}, "/dev/null", errors_);
        if (!ExitedWith(trivial, 0)) Fail(trueTool + ": " + Describe(trivial.status));
        if (round > 0) {
          best[p] = std::min(best[p], run.seconds);
          bestTrue = std::min(bestTrue, trivial.seconds);
        }
      }
    }
    fs::remove_all(base);
    trueTime_ = Milliseconds(bestTrue);
    std::vector<std::string> cells;
    for (size_t p = 0; p < programs_.size(); ++p) {
      char text[96];
      std::snprintf(text, sizeof text, "%s, %.1f x `%s`", Milliseconds(best[p]).c_str(), best[p] / bestTrue,
                    trueTool.c_str());
      cells.push_back(text);
    }
    return cells;
  }

  const std::vector<std::string>& Notes() const { return notes_; }
  const std::vector<std::string>& CopyTimes() const { return copyTimes_; }
  const std::string& TrueTime() const { return trueTime_; }
  long TrivialPeakKib() const { return trivialPeakKib_; }

  static std::string Milliseconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 0.1 ? "%.2f ms" : "%.0f ms", seconds * 1000);
    return text;
  }

  static std::string Mebibytes(long kib) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kib) / 1024);
    return text;
  }

  static std::string Thousands(long value) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    return digits;
  }

 private:
  Outcome ConvertOnce(size_t p, const Case& c) {
    const fs::path base = work_ / c.folder;
    const Outcome run = RunProcess({programs_[p].path, "-C", base.string()}, "/dev/null", errors_);
    if (!ExitedWith(run, 0))
      Fail(programs_[p].label + ", " + c.label + ": " + Describe(run.status) + "\n" + ReadText(errors_));
    CheckOutputs(c, base, programs_[p].label);
    return run;
  }

  // `cat KEPT > COPY` for each TGA file of the case; the sum of the times.
  double CopyOnce(const Case& c, const fs::path& kept, const fs::path& copy) {
    double seconds = 0;
    for (const Texture& texture : c.textures) {
      const std::string name = texture.name + ".tga";
      const Outcome run = RunProcess({cat_, (kept / name).string()}, copy / name, errors_);
      if (!ExitedWith(run, 0)) Fail("cat " + (kept / name).string() + ": " + Describe(run.status));
      seconds += run.seconds;
    }
    Case copied = c;
    copied.label = "the copy";
    CheckOutputs(copied, copy, "cat");
    RemoveOutputs(copy);
    return seconds;
  }

  std::vector<Program> programs_;
  fs::path work_;
  fs::path errors_;
  std::string cat_;
  std::vector<std::string> notes_;
  std::vector<std::string> copyTimes_;
  std::string trueTime_;
  long trivialPeakKib_ = 0;
};

std::string FileSystemName(const fs::path& path) {
  struct statfs info {};
  if (statfs(path.c_str(), &info) != 0) return "unknown file system";
  static const std::map<long, const char*> names = {
      {0xEF53, "ext4"}, {0x01021994, "tmpfs"}, {0x9123683E, "btrfs"}, {0x58465342, "xfs"}, {0x794C7630, "overlayfs"}};
  const auto found = names.find(static_cast<long>(info.f_type));
  return found != names.end() ? found->second : "file system type " + std::to_string(info.f_type);
}

void PrintRow(const std::string& label, const std::vector<std::string>& cells) {
  std::printf("| %s |", label.c_str());
  for (const std::string& cell : cells) std::printf(" %s |", cell.c_str());
  std::printf("\n");
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM [PROGRAM...]\n", argv[0]);
    return 2;
  }
  std::vector<Program> programs;
  std::map<std::string, int> seen;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = fs::absolute(argv[i]);
    if (access(path.c_str(), X_OK) != 0) Fail(std::string(argv[i]) + " is not an executable file");
    std::string label = argv[i];
    if (++seen[label] > 1) label += " (" + std::to_string(seen[label]) + ")";
    programs.push_back(Program{path.string(), label});
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const uint32_t big = 4096;
  const std::vector<Case> conversions = {
      {"1 DXT1 texture, 4096 x 4096", "dxt1", ZTEXGEN_DXT1, big, {{"Bench_Rings", "rings", 1}}},
      {"6 DXT1 textures, 4096 x 4096",
       "six",
       ZTEXGEN_DXT1,
       big,
       {{"Bench_Quadrants", "quadrants", 1},
        {"Bench_Gradient", "gradient", 1},
        {"Bench_Letter", "letter", 1},
        {"Bench_Rings", "rings", 1},
        {"Bench_Noise1", "noise", 1},
        {"Bench_Noise2", "noise", 2}}},
      {"1 DXT3 texture, 4096 x 4096", "dxt3", ZTEXGEN_DXT3, big, {{"Bench_Rings", "rings", 1}}},
  };
  const Case memory = {"Peak memory, 1 DXT1 texture, 8192 x 8192", "memory", ZTEXGEN_DXT1, 8192,
                       {{"Bench_Rings", "rings", 1}}};
  const Case empty = {"Empty run (no textures)", "empty", ZTEXGEN_DXT1, 0, {}};

  WorkFolder work;
  std::vector<Case> all = conversions;
  all.push_back(memory);
  all.push_back(empty);
  std::fprintf(stderr, "process_bench: building the textures in %s\n", work.path.c_str());
  BuildTextures(work.path, all);

  Bench bench(programs, work.path);
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;
  for (const Case& c : conversions) rows.push_back({c.label, bench.Conversion(c)});
  rows.push_back({memory.label, bench.PeakMemory(memory)});
  std::fprintf(stderr, "  %s\n", empty.label.c_str());
  rows.push_back({empty.label, bench.EmptyRun(empty)});

  std::printf("\n| Case |");
  for (const Program& program : programs) std::printf(" `%s` |", program.label.c_str());
  std::printf("\n|---|");
  for (size_t p = 0; p < programs.size(); ++p) std::printf("---|");
  std::printf("\n");
  for (const auto& row : rows) PrintRow(row.first, row.second);

  std::string copies;
  for (const std::string& time : bench.CopyTimes()) copies += (copies.empty() ? "" : ", ") + time;
  std::printf(
      "\nMeasured with `process_bench` on %ld CPUs, in %s (%s): each program run as `PROGRAM -C BASEDIR` without "
      "DISPLAY and WAYLAND_DISPLAY, standard output to /dev/null, in fresh output folders; the copy is `cat` of the "
      "same TGA bytes into new files, one process per file. Program and copy interleaved, minimum of %d rounds; "
      "minor page faults (the fewest) and peak memory (the largest of %d runs) as wait4 reports them. The copy "
      "took %s; `true` %s and %s of peak memory.\n",
      sysconf(_SC_NPROCESSORS_ONLN), fs::temp_directory_path().c_str(), FileSystemName(work.path).c_str(), ROUNDS,
      MEMORY_RUNS, copies.c_str(), bench.TrueTime().c_str(), Bench::Mebibytes(bench.TrivialPeakKib()).c_str());
  for (const std::string& note : bench.Notes()) std::printf("\nNote: %s\n", note.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "process_bench: %s\n", e.what());
    return 1;
  }
}
