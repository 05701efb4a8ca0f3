// Whole-process timing of the program as a user runs it, `PROGRAM -C BASEDIR`
// without a display, for one or more builds side by side in one run (for
// example main's and a branch's):
// - one DXT1 texture, six DXT1 textures and one DXT3 texture of 4096 x 4096
//   pixels, and one DXT1 texture of 8192 x 8192 with the program's peak
//   memory, each against "the copy": `cat` of the same TGA bytes into new
//   files, one process per file;
// - an empty run (no textures found) against /bin/true.
// In each round every program runs once, followed by its copy; the programs
// take turns at starting the round. A cell gives the median of the paired
// ratios (a program's time over the copy's right after it) beside their
// minimum, the program's median time and its fewest minor page faults. The
// file system is synced before every timed process, so that none pays for
// the writes of the one before; the inputs stay in the page cache for both
// sides. Prints a Markdown table with a column per program.
//
// Usage: process_bench [--rounds N] PROGRAM [PROGRAM...]   (9 rounds unless told)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "ProgramTiming.h"
#include "ZtexWriter.h"

using namespace bench;

namespace {

const int DEFAULT_ROUNDS = 9;
const uint32_t MIP_LEVELS = 4;

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
  bool memory;  // report the peak memory too

  uint64_t TgaSize() const {
    const uint64_t bytesPerPixel = format == ZTEXGEN_DXT1 ? 3 : 4;
    return 18 + uint64_t{size} * size * bytesPerPixel + 26;
  }
};

// Writes the ZTEX files of every case, in a child process.
void BuildTextures(const fs::path& work, const std::vector<Case>& cases) {
  InChild([&] {
    for (const Case& c : cases) {
      fs::create_directories(work / c.folder / "_compiled");
      for (const Texture& texture : c.textures) {
        RgbaImage image;
        ByteVector bytes;
        if (!MakePattern(texture.pattern, c.size, c.size, texture.seed, &image) ||
            !BuildZtexFile(c.format, image, MIP_LEVELS, &bytes))
          Fail("cannot build " + texture.name);
        WriteFile(work / c.folder / "_compiled" / (texture.name + "-C.TEX"), bytes.data(), bytes.size());
      }
    }
  });
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

class Bench {
 public:
  Bench(const std::vector<Program>& programs, const fs::path& work, int rounds)
      : programs_(programs), work_(work), errors_(work / "stderr.txt"), cat_(FindTool("cat")), rounds_(rounds) {}

  // The programs' conversions of a case against the copy; one cell per
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

    std::vector<Paired> pairs(programs_.size());
    std::vector<long> faults(programs_.size(), std::numeric_limits<long>::max());
    std::vector<long> peak(programs_.size(), 0);
    for (int round = 0; round < rounds_; ++round) {
      std::fprintf(stderr, "  %s: round %d of %d\n", c.label.c_str(), round + 1, rounds_);
      for (size_t k = 0; k < programs_.size(); ++k) {
        const size_t p = (static_cast<size_t>(round) + k) % programs_.size();
        SyncFileSystem(work_);
        const Outcome run = ConvertOnce(p, c);
        RemoveOutputs(base);
        pairs[p].program.push_back(run.seconds);
        faults[p] = std::min(faults[p], run.minorFaults);
        peak[p] = std::max(peak[p], run.peakKib);
        SyncFileSystem(work_);
        pairs[p].copy.push_back(CopyOnce(c, kept, copy));
      }
    }
    fs::remove_all(kept);
    fs::remove_all(copy);
    fs::remove_all(base);

    std::vector<double> copies;
    for (const Paired& pair : pairs) copies.insert(copies.end(), pair.copy.begin(), pair.copy.end());
    copyTimes_.push_back(Milliseconds(Median(copies)) + " (" + c.label + ")");
    std::vector<std::string> cells;
    for (size_t p = 0; p < programs_.size(); ++p) {
      std::string cell = RatioCell(pairs[p].MedianRatio(), pairs[p].MinimumRatio()) + ", " +
                         Milliseconds(pairs[p].MedianProgram()) + ", " + Thousands(faults[p]) + " minor faults";
      if (c.memory) cell += ", peak " + Mebibytes(static_cast<double>(peak[p]));
      cells.push_back(cell);
    }
    return cells;
  }

  // The program in a base folder whose _compiled folder is empty, against
  // /bin/true.
  std::vector<std::string> EmptyRun(const Case& c) {
    const fs::path base = work_ / c.folder;
    const std::string trueTool = FindTool("true");
    std::vector<Paired> pairs(programs_.size());
    for (int round = 0; round <= rounds_; ++round) {  // round 0 is not measured
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
          pairs[p].program.push_back(run.seconds);
          pairs[p].copy.push_back(trivial.seconds);
        }
      }
    }
    fs::remove_all(base);
    trivialPeakKib_ = RunProcess({trueTool}, "/dev/null", errors_).peakKib;
    std::vector<double> trues;
    for (const Paired& pair : pairs) trues.insert(trues.end(), pair.copy.begin(), pair.copy.end());
    trueTime_ = Milliseconds(Median(trues));
    std::vector<std::string> cells;
    for (size_t p = 0; p < programs_.size(); ++p)
      cells.push_back(RatioCell(pairs[p].MedianRatio(), pairs[p].MinimumRatio()) + " `" + trueTool + "`, " +
                      Milliseconds(pairs[p].MedianProgram()));
    return cells;
  }

  const std::vector<std::string>& Notes() const { return notes_; }
  const std::vector<std::string>& CopyTimes() const { return copyTimes_; }
  const std::string& TrueTime() const { return trueTime_; }
  long TrivialPeakKib() const { return trivialPeakKib_; }

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
  int rounds_;
  std::vector<std::string> notes_;
  std::vector<std::string> copyTimes_;
  std::string trueTime_;
  long trivialPeakKib_ = 0;
};

int Main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv, {"--rounds"});
  if (options.rest.empty()) {
    std::fprintf(stderr, "usage: %s [--rounds N] PROGRAM [PROGRAM...]\n", argv[0]);
    return 2;
  }
  const int rounds = options.Int("--rounds", DEFAULT_ROUNDS);
  const std::vector<Program> programs = ProgramsFrom(options.rest);
  CatchInterrupts();

  const uint32_t big = 4096;
  const std::vector<Case> conversions = {
      {"1 DXT1 texture, 4096 x 4096", "dxt1", ZTEXGEN_DXT1, big, {{"Bench_Rings", "rings", 1}}, false},
      {"6 DXT1 textures, 4096 x 4096",
       "six",
       ZTEXGEN_DXT1,
       big,
       {{"Bench_Quadrants", "quadrants", 1},
        {"Bench_Gradient", "gradient", 1},
        {"Bench_Letter", "letter", 1},
        {"Bench_Rings", "rings", 1},
        {"Bench_Noise1", "noise", 1},
        {"Bench_Noise2", "noise", 2}},
       false},
      {"1 DXT3 texture, 4096 x 4096", "dxt3", ZTEXGEN_DXT3, big, {{"Bench_Rings", "rings", 1}}, false},
      {"1 DXT1 texture, 8192 x 8192, with peak memory", "memory", ZTEXGEN_DXT1, 8192, {{"Bench_Rings", "rings", 1}},
       true},
  };
  const Case empty = {"Empty run (no textures)", "empty", ZTEXGEN_DXT1, 0, {}, false};

  WorkFolder work("oskelt-process");
  std::vector<Case> all = conversions;
  all.push_back(empty);
  std::fprintf(stderr, "process_bench: building the textures in %s\n", work.path.c_str());
  BuildTextures(work.path, all);

  Bench bench(programs, work.path, rounds);
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;
  for (const Case& c : conversions) rows.push_back({c.label, bench.Conversion(c)});
  std::fprintf(stderr, "  %s\n", empty.label.c_str());
  rows.push_back({empty.label, bench.EmptyRun(empty)});

  PrintHeader("Case", programs);
  for (const auto& row : rows) PrintRow(row.first, row.second);

  std::string copies;
  for (const std::string& time : bench.CopyTimes()) copies += (copies.empty() ? "" : ", ") + time;
  std::printf(
      "\nMeasured with `process_bench` on %ld CPUs, in %s (%s): each program run as `PROGRAM -C BASEDIR` without "
      "DISPLAY and WAYLAND_DISPLAY, standard output to /dev/null, in fresh output folders; the copy is `cat` of the "
      "same TGA bytes into new files, one process per file. %d rounds, program and copy interleaved, the file "
      "system synced before each; the median of the paired ratios (min: the smallest), the program's median time, "
      "its fewest minor page faults and its largest peak memory as wait4 reports them. The copy took (median) %s; "
      "`true` %s and %s of peak memory.\n",
      sysconf(_SC_NPROCESSORS_ONLN), fs::temp_directory_path().c_str(), FileSystemName(work.path).c_str(), rounds,
      copies.c_str(), bench.TrueTime().c_str(), Mebibytes(static_cast<double>(bench.TrivialPeakKib())).c_str());
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
