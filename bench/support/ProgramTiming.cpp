#include "ProgramTiming.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace bench {

using Clock = std::chrono::steady_clock;

static volatile std::sig_atomic_t Interrupted = 0;

static void OnSignal(int) { Interrupted = 1; }

void Fail(const std::string& message) { throw std::runtime_error(message); }

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

WorkFolder::WorkFolder(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot create a folder in " + fs::temp_directory_path().string());
  path = pattern;
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) std::fprintf(stderr, "cannot remove %s: %s\n", path.c_str(), ec.message().c_str());
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

bool ExitedWith(const Outcome& outcome, int code) {
  return WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == code;
}

static std::vector<char*> ChildEnvironment() {
  std::vector<char*> env;
  for (char** p = environ; *p != nullptr; ++p) {
    if (std::strncmp(*p, "DISPLAY=", 8) == 0 || std::strncmp(*p, "WAYLAND_DISPLAY=", 16) == 0) continue;
    env.push_back(*p);
  }
  env.push_back(nullptr);
  return env;
}

static int WaitFor(pid_t pid, struct rusage* usage) {
  int status = 0;
  while (wait4(pid, &status, 0, usage) < 0) {
    if (errno != EINTR) Fail(std::string("wait4: ") + std::strerror(errno));
  }
  return status;
}

Outcome RunProcess(const std::vector<std::string>& args, const fs::path& out, const fs::path& errors,
                   const fs::path& cwd) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> env = ChildEnvironment();
  const std::string outName = out.string();
  const std::string errorName = errors.string();
  const std::string folder = cwd.string();

  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    const int outFile = open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errorFile = open(errorName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFile < 0 || errorFile < 0 || dup2(outFile, 1) < 0 || dup2(errorFile, 2) < 0) _exit(126);
    close(outFile);
    close(errorFile);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), env.data());
    _exit(127);
  }
  Outcome outcome;
  struct rusage usage {};
  outcome.status = WaitFor(pid, &usage);
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.minorFaults = usage.ru_minflt;
  outcome.peakKib = usage.ru_maxrss;
  if (Interrupted) Fail("interrupted");
  return outcome;
}

void InChild(const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) Fail(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    int code = 0;
    try {
      work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      code = 1;
    }
    std::fflush(nullptr);
    _exit(code);
  }
  struct rusage usage {};
  const int status = WaitFor(pid, &usage);
  if (Interrupted) Fail("interrupted");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("preparing the files failed (" + Describe(status) + ")");
}

std::string FindTool(const char* name) {
  for (const char* folder : {"/bin/", "/usr/bin/", "/sbin/", "/usr/sbin/"}) {
    const std::string path = std::string(folder) + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  Fail(std::string("no ") + name + " in /bin, /usr/bin, /sbin or /usr/sbin");
}

void SyncFileSystem(const fs::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + path.string());
  syncfs(fd);
  close(fd);
}

std::string FileSystemName(const fs::path& path) {
  struct statfs info {};
  if (statfs(path.c_str(), &info) != 0) return "unknown file system";
  static const std::map<long, const char*> names = {{0xEF53, "ext4"},         {0x01021994, "tmpfs"},
                                                    {0x9123683E, "btrfs"},    {0x58465342, "xfs"},
                                                    {0x794C7630, "overlayfs"}, {0x65735546, "FUSE"}};
  const auto found = names.find(static_cast<long>(info.f_type));
  return found != names.end() ? found->second : "file system type " + std::to_string(info.f_type);
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const void* bytes, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  if (!out) Fail("cannot write " + path.string());
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
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

std::vector<Program> ProgramsFrom(const std::vector<std::string>& paths) {
  std::vector<Program> programs;
  std::map<std::string, int> seen;
  for (const std::string& given : paths) {
    const fs::path path = fs::absolute(given);
    if (access(path.c_str(), X_OK) != 0) Fail(given + " is not an executable file");
    std::string label = given;
    if (++seen[label] > 1) label += " (" + std::to_string(seen[label]) + ")";
    programs.push_back(Program{path.string(), label});
  }
  return programs;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

static std::vector<double> Ratios(const Paired& p) {
  std::vector<double> ratios;
  for (size_t i = 0; i < p.program.size() && i < p.copy.size(); ++i) ratios.push_back(p.program[i] / p.copy[i]);
  return ratios;
}

double Paired::MedianRatio() const { return Median(Ratios(*this)); }

double Paired::MinimumRatio() const {
  const std::vector<double> ratios = Ratios(*this);
  return ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end());
}

double Paired::MedianProgram() const { return Median(program); }
double Paired::MedianCopy() const { return Median(copy); }

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, seconds < 0.1 ? "%.2f ms" : "%.0f ms", seconds * 1000);
  return text;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string Mebibytes(double kib) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", kib / 1024);
  return text;
}

std::string Thousands(long value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

std::string RatioCell(double median, double minimum) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f x (min %.2f x)", median, minimum);
  return text;
}

void PrintRow(const std::string& label, const std::vector<std::string>& cells) {
  std::printf("| %s |", label.c_str());
  for (const std::string& cell : cells) std::printf(" %s |", cell.c_str());
  std::printf("\n");
  std::fflush(stdout);
}

void PrintHeader(const std::string& first, const std::vector<Program>& programs) {
  std::printf("\n| %s |", first.c_str());
  for (const Program& program : programs) std::printf(" `%s` |", program.label.c_str());
  std::printf("\n|---|");
  for (size_t p = 0; p < programs.size(); ++p) std::printf("---|");
  std::printf("\n");
}

int Options::Int(const std::string& name, int fallback) const {
  for (const auto& option : given)
    if (option.first == name) {
      char* end = nullptr;
      const long value = std::strtol(option.second.c_str(), &end, 10);
      if (end == option.second.c_str() || *end != '\0' || value < 1 || value > 1000000)
        Fail(name + " takes a whole number from 1 on, not " + option.second);
      return static_cast<int>(value);
    }
  return fallback;
}

std::string Options::Text(const std::string& name, const std::string& fallback) const {
  for (const auto& option : given)
    if (option.first == name) return option.second;
  return fallback;
}

Options ParseOptions(int argc, char** argv, const std::vector<std::string>& names) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (std::find(names.begin(), names.end(), arg) != names.end()) {
      if (i + 1 >= argc) Fail(arg + " needs a value");
      options.given.push_back({arg, argv[++i]});
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      Fail("unknown option " + arg);
    } else {
      options.rest.push_back(arg);
    }
  }
  return options;
}

}  // namespace bench
