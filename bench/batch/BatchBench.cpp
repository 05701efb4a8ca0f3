// A timed run of the real program over many small textures with a folder map
// of as many lines in shuffled order, against a plain copy of the same input
// and output bytes, in one run. Reports textures per second and the peak
// memory of the program for each count, to show that memory does not grow
// with the count.
//
// Usage: batch_bench PROGRAM [COUNT...]   (default counts: 1000 10000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ZtexWriter.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string Name(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "Tex_%05d", i);
  return text;
}

// A base directory of count DXT1 textures (16 x 16, 3 mip levels) and the
// program's folder map listing every TGA in one of 50 sections, shuffled.
void Prepare(const fs::path& base, const fs::path& ini, int count) {
  fs::create_directories(base / "_compiled");
  RgbaImage image;
  MakePattern("noise", 16, 16, 3, &image);
  ByteVector bytes;
  BuildZtexFile(ZTEXGEN_DXT1, image, 3, &bytes);
  for (int i = 0; i < count; ++i) {
    std::ofstream out(base / "_compiled" / (Name(i) + "-C.TEX"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
  std::mt19937 random(12345);
  std::shuffle(order.begin(), order.end(), random);
  std::ofstream map(ini);
  const int sections = 50;
  for (int s = 0; s < sections; ++s) {
    map << "[Set" << s << "\\Part" << (s % 7) << "]\n";
    for (size_t k = static_cast<size_t>(s); k < order.size(); k += sections)
      map << Name(order[k]) << ".tga\n";
  }
}

struct Measure {
  double seconds;
  long peakKilobytes;
  int code;
};

Measure RunProgram(const std::string& program, const fs::path& base) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(program.c_str(), program.c_str(), "-C", base.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return Measure{seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::vector<char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Reads every source and writes every produced TGA's bytes anew, file by
// file, into a fresh folder: the file-system work of the run without its
// logic.
double PlainCopy(const fs::path& base, const fs::path& target) {
  std::vector<fs::path> tgas;
  for (const auto& entry : fs::recursive_directory_iterator(base))
    if (entry.path().extension() == ".tga") tgas.push_back(entry.path());
  std::vector<std::vector<char>> outputs;
  for (const auto& path : tgas) outputs.push_back(ReadAll(path));
  fs::create_directories(target);
  const auto start = Clock::now();
  size_t i = 0;
  for (const auto& entry : fs::directory_iterator(base / "_compiled")) {
    std::vector<char> input = ReadAll(entry.path());
    if (i >= outputs.size()) break;
    std::ofstream out(target / tgas[i].filename(), std::ios::binary);
    out.write(outputs[i].data(), static_cast<std::streamsize>(outputs[i].size()));
    ++i;
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM [COUNT...]\n", argv[0]);
    return 2;
  }
  const std::string program = fs::absolute(argv[1]).string();
  const fs::path ini = program + ".ini";
  const fs::path saved = program + ".ini.saved";
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {1000, 10000};

  fs::rename(ini, saved);
  std::printf("%8s %10s %12s %12s %14s %10s\n", "textures", "run s", "textures/s", "peak KiB",
              "plain copy s", "run/copy");
  for (int count : counts) {
    const fs::path work = fs::temp_directory_path() / ("oskelt-batch-" + std::to_string(count));
    fs::remove_all(work);
    Prepare(work / "base", ini, count);
    const Measure run = RunProgram(program, work / "base");
    const double copy = PlainCopy(work / "base", work / "copy");
    std::printf("%8d %10.3f %12.0f %12ld %14.3f %10.2f%s\n", count, run.seconds, count / run.seconds,
                run.peakKilobytes, copy, run.seconds / copy, run.code == 0 ? "" : "  (run failed)");
    fs::remove_all(work);
  }
  fs::rename(saved, ini);
  return 0;
}
