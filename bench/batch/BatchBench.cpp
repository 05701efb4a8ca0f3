// Whole runs of built programs over many textures, as a user starts them
// (`PROGRAM -C BASEDIR` without a display), side by side in one run:
// - a game-like set: 5,000 textures of 256 to 1024 pixels square in mixed
//   formats, a twelfth of them with full mip chains, most placed by a folder
//   map of 50 sections (about 0.9 GB in, 2.9 GB out), against `cp -r` of the
//   output tree the run made;
// - on an NTFS image mounted with ntfs-3g and on a bindfs folder (FUSE file
//   systems, where the kernel tells no one of a folder's changes): a small
//   and a large count of small textures in one folder, the large run against
//   `cp -r` of its finished folder (sources and TGA files) within the same
//   mount, and the ratio of the two runs, which shows how the run scales.
// Each program is copied into the bench's folder with the bench's folder map
// beside it. In each round every program runs once, followed by its copy; the
// programs take turns at starting the round. The file systems are synced
// before every timed process, so that none pays for the writes or deletions
// of the one before; the page cache is not dropped (both sides run warm). A
// FUSE case that cannot be mounted is skipped with a line that says so.
//
// Usage: batch_bench [--rounds N] [--fuse-rounds N] [--textures N]
//                    [--cases game,ntfs,bindfs] PROGRAM [PROGRAM...]
// (9 rounds each and 5,000 textures unless told; --textures scales the
// game-like set where the disk or the time asks for less.)
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ProgramTiming.h"
#include "ZtexWriter.h"

using namespace bench;

namespace {

const int DEFAULT_ROUNDS = 9;
const int DEFAULT_TEXTURES = 5000;
const int SECTIONS = 50;
const uint32_t FUSE_MAGIC = 0x65735546u;

const char* const TOPS[] = {"Characters", "Creatures", "Effects", "Interface", "Items",
                            "Vehicles",   "Weapons",   "Worlds",  "Foliage",   "Skies"};
const char* const SUBS[] = {"Common", "Detail", "Low", "High", "Alt"};
static_assert(sizeof(TOPS) / sizeof(TOPS[0]) * sizeof(SUBS) / sizeof(SUBS[0]) == SECTIONS, "50 sections");

// TGA pixel bytes of each format the set uses.
uint64_t OutputBytes(uint32_t format) {
  return format == ZTEXGEN_DXT1 || format == ZTEXGEN_R5G6B5 ? 3 : 4;
}

uint64_t TgaSize(uint32_t format, uint32_t size) { return 18 + uint64_t{size} * size * OutputBytes(format) + 26; }

// What a folder holds outside its _compiled folder: the count of files and
// their bytes.
struct Tally {
  uint64_t files = 0;
  uint64_t bytes = 0;
  bool operator==(const Tally& other) const { return files == other.files && bytes == other.bytes; }
};

Tally TallyOf(const fs::path& folder) {
  Tally tally;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    if (it->is_directory() && it.depth() == 0 && it->path().filename() == "_compiled") {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) {
      ++tally.files;
      tally.bytes += it->file_size();
    }
  }
  return tally;
}

std::string Describe(const Tally& tally) {
  char text[64];
  std::snprintf(text, sizeof text, "%s files, %.2f GB", Thousands(static_cast<long>(tally.files)).c_str(),
                static_cast<double>(tally.bytes) / 1e9);
  return text;
}

// Removes everything but _compiled from folder.
void RemoveOutputs(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename() != "_compiled") fs::remove_all(entry.path());
}

// ---------------------------------------------------------------------------
// The game-like set.

struct GameSet {
  Tally in;
  Tally out;  // what a run writes
};

// Writes count sources into base/_compiled and the folder map into each of
// the maps; in a child process, which holds the encoded textures.
GameSet MakeGameSet(const fs::path& base, int count, const std::vector<fs::path>& maps) {
  GameSet set;
  std::mt19937 random(20260);
  struct Kind {
    uint32_t format;
    int weight;
  };
  const Kind kinds[] = {{ZTEXGEN_DXT1, 50},    {ZTEXGEN_DXT3, 22},     {ZTEXGEN_DXT1A, 5},    {ZTEXGEN_R5G6B5, 8},
                        {ZTEXGEN_A4R4G4B4, 5}, {ZTEXGEN_A1R5G5B5, 3}, {ZTEXGEN_A8R8G8B8, 7}};
  struct Texture {
    std::string source;  // the file name in _compiled
    std::string mapped;  // the TGA name as the map spells it, "" when unmapped
    int section;
    uint32_t format, size, mips;
  };
  std::vector<Texture> textures;
  for (int i = 0; i < count; ++i) {
    Texture t;
    int pick = static_cast<int>(random() % 100);
    t.format = kinds[0].format;
    for (const Kind& kind : kinds) {
      if (pick < kind.weight) {
        t.format = kind.format;
        break;
      }
      pick -= kind.weight;
    }
    const uint32_t roll = random() % 100;
    t.size = roll < 65 ? 256 : roll < 95 ? 512 : 1024;
    t.mips = i % 12 == 5 ? 1 + static_cast<uint32_t>(std::log2(t.size)) : 1;
    t.section = static_cast<int>(random() % SECTIONS);
    const bool mapped = random() % 10 != 0;
    char name[64];
    std::snprintf(name, sizeof name, "%s_%s_%05d", TOPS[t.section / 5], SUBS[t.section % 5], i);
    std::string stem = name;
    t.mapped = mapped ? stem + ".tga" : std::string();
    // A fifth of the sources carry their name in capitals.
    if (random() % 5 == 0) std::transform(stem.begin(), stem.end(), stem.begin(), ::toupper);
    t.source = stem + "-C.TEX";
    textures.push_back(t);
    set.out.files += 1;
    set.out.bytes += TgaSize(t.format, t.size);
  }

  std::string ini;
  for (int s = 0; s < SECTIONS; ++s) {
    std::vector<std::string> lines;
    for (const Texture& t : textures)
      if (t.section == s && !t.mapped.empty()) lines.push_back(t.mapped);
    std::shuffle(lines.begin(), lines.end(), random);
    ini += std::string("[") + TOPS[s / 5] + "\\" + SUBS[s % 5] + "]\r\n";
    for (const std::string& line : lines) ini += line + "\r\n";
  }
  for (const fs::path& map : maps) WriteFile(map, ini.data(), ini.size());

  InChild([&] {
    fs::create_directories(base / "_compiled");
    // A few pictures per kind, each written under many names.
    std::map<std::string, ByteVector> pool;
    uint32_t index = 0;
    for (const Texture& t : textures) {
      const std::string key = std::to_string(t.format) + "/" + std::to_string(t.size) + "/" +
                              std::to_string(t.mips) + "/" + std::to_string(index++ % 3);
      auto found = pool.find(key);
      if (found == pool.end()) {
        RgbaImage image;
        ByteVector bytes;
        const char* patterns[] = {"noise", "rings", "gradient"};
        if (!MakePattern(patterns[index % 3], t.size, t.size, index, &image) ||
            !BuildZtexFile(t.format, image, t.mips, &bytes))
          Fail("cannot build " + t.source);
        found = pool.emplace(key, std::move(bytes)).first;
      }
      WriteFile(base / "_compiled" / t.source, found->second.data(), found->second.size());
    }
  });
  set.in.files = static_cast<uint64_t>(count);
  for (const auto& entry : fs::directory_iterator(base / "_compiled")) set.in.bytes += entry.file_size();
  return set;
}

// ---------------------------------------------------------------------------
// FUSE mounts.

// A mount of the bench's own, unmounted when it goes.
struct Mount {
  Mount(const std::vector<std::string>& command, const fs::path& point, const fs::path& errors) : point(point) {
    const Outcome run = RunProcess(command, "/dev/null", errors);
    if (!ExitedWith(run, 0)) {
      reason = command[0] + " failed (" + bench::Describe(run.status) + "): " + ReadText(errors);
      while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
      return;
    }
    struct statfs info {};
    if (statfs(point.c_str(), &info) != 0 || static_cast<uint32_t>(info.f_type) != FUSE_MAGIC) {
      reason = "nothing of FUSE is mounted at " + point.string();
      Unmount();
      return;
    }
    mounted = true;
  }
  ~Mount() { Unmount(); }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

  void Unmount() {
    for (const char* tool : {"fusermount3", "fusermount", "umount"}) {
      std::string path;
      try {
        path = FindTool(tool);
      } catch (const std::exception&) {
        continue;
      }
      const std::vector<std::string> args =
          std::string(tool) == "umount" ? std::vector<std::string>{path, point.string()}
                                        : std::vector<std::string>{path, "-u", point.string()};
      if (ExitedWith(RunProcess(args, "/dev/null", "/dev/null"), 0)) return;
    }
  }

  fs::path point;
  bool mounted = false;
  std::string reason;
};

std::string ToolOrEmpty(const char* name) {
  try {
    return FindTool(name);
  } catch (const std::exception&) {
    return std::string();
  }
}

// ---------------------------------------------------------------------------

class Bench {
 public:
  Bench(const std::vector<Program>& programs, const fs::path& work)
      : work_(work), errors_(work / "stderr.txt"), cp_(FindTool("cp")), labels_(programs) {
    // Each program runs from a folder of its own, with the bench's map.
    for (size_t p = 0; p < programs.size(); ++p) {
      const fs::path folder = work / ("program" + std::to_string(p + 1));
      fs::create_directories(folder);
      const fs::path copy = folder / fs::path(programs[p].path).filename();
      fs::copy_file(programs[p].path, copy);
      programs_.push_back(copy);
      maps_.push_back(fs::path(copy.string() + ".ini"));
    }
  }

  const std::vector<fs::path>& Maps() const { return maps_; }

  void Game(int count, int rounds) {
    const fs::path base = work_ / "game";
    const fs::path kept = work_ / "game-output";
    const fs::path copy = work_ / "game-copy";
    std::fprintf(stderr, "batch_bench: writing %d textures into %s\n", count, base.c_str());
    const GameSet set = MakeGameSet(base, count, maps_);
    // A first run of each program, not measured; the first one's output is
    // the copy's input.
    for (size_t p = 0; p < programs_.size(); ++p) {
      std::fprintf(stderr, "  game-like set: first run of %s\n", labels_[p].label.c_str());
      Convert(p, base, set.out);
      if (p == 0) {
        fs::create_directories(kept);
        for (const auto& entry : fs::directory_iterator(base))
          if (entry.path().filename() != "_compiled") fs::rename(entry.path(), kept / entry.path().filename());
      } else {
        CompareWith(p, base, kept);
        RemoveOutputs(base);
      }
    }
    std::vector<Paired> pairs(programs_.size());
    std::vector<long> peak(programs_.size(), 0);
    for (int round = 0; round < rounds; ++round) {
      std::fprintf(stderr, "  game-like set: round %d of %d\n", round + 1, rounds);
      for (size_t k = 0; k < programs_.size(); ++k) {
        const size_t p = (static_cast<size_t>(round) + k) % programs_.size();
        SyncFileSystem(work_);
        const Outcome run = Convert(p, base, set.out);
        RemoveOutputs(base);
        SyncFileSystem(work_);
        const Outcome copied = RunProcess({cp_, "-r", kept.string(), copy.string()}, "/dev/null", errors_);
        if (!ExitedWith(copied, 0)) Fail("cp -r: " + bench::Describe(copied.status) + "\n" + ReadText(errors_));
        if (!(TallyOf(copy) == set.out)) Fail("cp -r copied " + Describe(TallyOf(copy)));
        fs::remove_all(copy);
        pairs[p].program.push_back(run.seconds);
        pairs[p].copy.push_back(copied.seconds);
        peak[p] = std::max(peak[p], run.peakKib);
      }
    }
    fs::remove_all(kept);
    fs::remove_all(base);

    std::vector<std::string> cells;
    std::vector<double> copies;
    for (size_t p = 0; p < programs_.size(); ++p) {
      cells.push_back(RatioCell(pairs[p].MedianRatio(), pairs[p].MinimumRatio()) + " `cp -r`, " +
                      Seconds(pairs[p].MedianProgram()) + ", peak " + Mebibytes(static_cast<double>(peak[p])));
      copies.insert(copies.end(), pairs[p].copy.begin(), pairs[p].copy.end());
    }
    char label[160];
    std::snprintf(label, sizeof label, "Game-like set: %s textures (%.2f GB in, %.2f GB out), %d sections",
                  Thousands(count).c_str(), static_cast<double>(set.in.bytes) / 1e9,
                  static_cast<double>(set.out.bytes) / 1e9, SECTIONS);
    rows_.push_back({label, cells});
    notes_.push_back("game-like set: `cp -r` of the output tree took " + Seconds(Median(copies)) +
                     " (median), in " + work_.string() + " (" + FileSystemName(work_) + ").");
  }

  // Small textures in one folder of a FUSE mount: small and large counts.
  void Fuse(const std::string& name, const fs::path& point, int small, int large, int rounds) {
    const fs::path smallBase = point / "small";
    const fs::path largeBase = point / "large";
    const fs::path copy = point / "large-copy";
    std::fprintf(stderr, "batch_bench: %s: writing %d and %d textures\n", name.c_str(), small, large);
    InChild([&] {
      RgbaImage image;
      ByteVector bytes;
      if (!MakePattern("noise", 64, 64, 7, &image) || !BuildZtexFile(ZTEXGEN_DXT1, image, 3, &bytes))
        Fail("cannot build a small texture");
      for (const auto& [base, count] : {std::pair<fs::path, int>{smallBase, small}, {largeBase, large}}) {
        fs::create_directories(base / "_compiled");
        for (int i = 0; i < count; ++i) {
          char file[32];
          std::snprintf(file, sizeof file, "Small_%05d-C.TEX", i);
          WriteFile(base / "_compiled" / file, bytes.data(), bytes.size());
        }
      }
    });
    const Tally smallOut{static_cast<uint64_t>(small), static_cast<uint64_t>(small) * TgaSize(ZTEXGEN_DXT1, 64)};
    const Tally largeOut{static_cast<uint64_t>(large), static_cast<uint64_t>(large) * TgaSize(ZTEXGEN_DXT1, 64)};
    for (size_t p = 0; p < programs_.size(); ++p) {
      std::fprintf(stderr, "  %s: first run of %s\n", name.c_str(), labels_[p].label.c_str());
      Convert(p, smallBase, smallOut);
      RemoveOutputs(smallBase);
    }
    std::vector<Paired> scaling(programs_.size());  // large against small
    std::vector<Paired> copying(programs_.size());  // large against cp -r
    for (int round = 0; round < rounds; ++round) {
      std::fprintf(stderr, "  %s: round %d of %d\n", name.c_str(), round + 1, rounds);
      for (size_t k = 0; k < programs_.size(); ++k) {
        const size_t p = (static_cast<size_t>(round) + k) % programs_.size();
        Sync(point);
        const Outcome smallRun = Convert(p, smallBase, smallOut);
        RemoveOutputs(smallBase);
        Sync(point);
        const Outcome largeRun = Convert(p, largeBase, largeOut);
        Sync(point);
        const Outcome copied =
            RunProcess({cp_, "-r", largeBase.filename().string(), copy.filename().string()}, "/dev/null", errors_,
                       point);
        if (!ExitedWith(copied, 0)) Fail("cp -r: " + bench::Describe(copied.status) + "\n" + ReadText(errors_));
        fs::remove_all(copy);
        RemoveOutputs(largeBase);
        scaling[p].program.push_back(largeRun.seconds);
        scaling[p].copy.push_back(smallRun.seconds);
        copying[p].program.push_back(largeRun.seconds);
        copying[p].copy.push_back(copied.seconds);
      }
    }
    fs::remove_all(smallBase);
    fs::remove_all(largeBase);

    std::vector<std::string> smallCells, largeCells, scaleCells;
    std::vector<double> copies;
    for (size_t p = 0; p < programs_.size(); ++p) {
      smallCells.push_back(Seconds(scaling[p].MedianCopy()));
      largeCells.push_back(Seconds(copying[p].MedianProgram()) + ", " +
                           RatioCell(copying[p].MedianRatio(), copying[p].MinimumRatio()) + " `cp -r`");
      scaleCells.push_back(RatioCell(scaling[p].MedianRatio(), scaling[p].MinimumRatio()));
      copies.insert(copies.end(), copying[p].copy.begin(), copying[p].copy.end());
    }
    rows_.push_back({name + ": " + Thousands(small) + " small textures in one folder", smallCells});
    rows_.push_back({name + ": " + Thousands(large) + " small textures in one folder", largeCells});
    rows_.push_back({name + ": the time of " + Thousands(large) + " over that of " + Thousands(small) +
                         " (linear: " + std::to_string(large / small) + " x)",
                     scaleCells});
    notes_.push_back(name + ": `cp -r` of the finished " + Thousands(large) +
                     "-texture folder (sources and TGA files) within the mount took " + Seconds(Median(copies)) +
                     " (median).");
  }

  void Skip(const std::string& name, const std::string& reason) {
    const std::string line = "SKIPPED: the " + name + " case: " + reason;
    std::fprintf(stderr, "batch_bench: %s\n", line.c_str());
    notes_.push_back("**" + line + "**");
  }

  void Print(int rounds, int fuseRounds) const {
    PrintHeader("Case", labels_);
    for (const auto& row : rows_) PrintRow(row.first, row.second);
    std::printf(
        "\nMeasured with `batch_bench` on %ld CPUs: each program run as `PROGRAM -C BASEDIR` without DISPLAY and "
        "WAYLAND_DISPLAY, standard output to /dev/null, in fresh output folders, against `cp -r` right after it; "
        "%d rounds (%d on FUSE), program and copy interleaved, the file systems synced before each timed process, "
        "the page cache kept (both sides warm). Cells: the median of the paired ratios (min: the smallest), the "
        "program's median time, its largest peak memory as wait4 reports it.\n",
        sysconf(_SC_NPROCESSORS_ONLN), rounds, fuseRounds);
    for (const std::string& note : notes_) std::printf("\n- %s", note.c_str());
    std::printf("\n");
  }

 private:
  Outcome Convert(size_t p, const fs::path& base, const Tally& expected) {
    const Outcome run = RunProcess({programs_[p].string(), "-C", base.string()}, "/dev/null", errors_);
    if (!ExitedWith(run, 0))
      Fail(labels_[p].label + " in " + base.string() + ": " + bench::Describe(run.status) + "\n" +
           ReadText(errors_));
    const Tally made = TallyOf(base);
    if (!(made == expected))
      Fail(labels_[p].label + " in " + base.string() + " wrote " + Describe(made) + ", expected " +
           Describe(expected));
    return run;
  }

  void CompareWith(size_t p, const fs::path& base, const fs::path& kept) {
    std::string differing;
    for (auto it = fs::recursive_directory_iterator(kept); it != fs::recursive_directory_iterator(); ++it) {
      if (!it->is_regular_file()) continue;
      const fs::path relative = fs::relative(it->path(), kept);
      if (!SameBytes(it->path(), base / relative)) {
        differing = relative.string();
        break;
      }
    }
    if (!differing.empty())
      notes_.push_back(labels_[p].label + " writes other bytes than " + labels_[0].label + ", first in " +
                       differing + ".");
  }

  void Sync(const fs::path& point) {
    SyncFileSystem(point);
    SyncFileSystem(work_);  // what a FUSE file system keeps its data in
  }

  fs::path work_;
  fs::path errors_;
  std::string cp_;
  std::vector<Program> labels_;
  std::vector<fs::path> programs_;
  std::vector<fs::path> maps_;
  std::vector<std::pair<std::string, std::vector<std::string>>> rows_;
  std::vector<std::string> notes_;
};

int Main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv, {"--rounds", "--fuse-rounds", "--textures", "--cases"});
  if (options.rest.empty()) {
    std::fprintf(stderr,
                 "usage: %s [--rounds N] [--fuse-rounds N] [--textures N] [--cases game,ntfs,bindfs] "
                 "PROGRAM [PROGRAM...]\n",
                 argv[0]);
    return 2;
  }
  const int rounds = options.Int("--rounds", DEFAULT_ROUNDS);
  const int fuseRounds = options.Int("--fuse-rounds", DEFAULT_ROUNDS);
  const int textures = options.Int("--textures", DEFAULT_TEXTURES);
  const std::string cases = "," + options.Text("--cases", "game,ntfs,bindfs") + ",";
  const auto wanted = [&](const char* name) { return cases.find(std::string(",") + name + ",") != std::string::npos; };
  const std::vector<Program> programs = ProgramsFrom(options.rest);
  CatchInterrupts();

  WorkFolder work("oskelt-batch");
  Bench bench(programs, work.path);
  // The maps are written with the game-like set; the FUSE cases need one too.
  const std::string minimal = "[Elsewhere]\r\nnone.tga\r\n";
  for (const fs::path& map : bench.Maps()) WriteFile(map, minimal.data(), minimal.size());

  if (wanted("game")) bench.Game(textures, rounds);

  const fs::path errors = work.path / "mount-errors.txt";
  if (wanted("ntfs")) {
    const std::string mkntfs = ToolOrEmpty("mkntfs");
    const std::string ntfs3g = ToolOrEmpty("ntfs-3g");
    if (mkntfs.empty() || ntfs3g.empty()) {
      bench.Skip("ntfs-3g", "mkntfs or ntfs-3g is not installed (Debian's ntfs-3g)");
    } else {
      const fs::path image = work.path / "ntfs.img";
      const fs::path point = work.path / "ntfs";
      fs::create_directories(point);
      { std::ofstream(image).close(); }
      fs::resize_file(image, uint64_t{2} << 30);  // sparse
      const Outcome made = RunProcess({mkntfs, "-F", "-Q", "-q", image.string()}, "/dev/null", errors);
      if (!ExitedWith(made, 0)) {
        bench.Skip("ntfs-3g", "mkntfs failed: " + ReadText(errors));
      } else {
        Mount mount({ntfs3g, image.string(), point.string()}, point, errors);
        if (!mount.mounted) {
          bench.Skip("ntfs-3g", mount.reason);
        } else {
          bench.Fuse("ntfs-3g", point, 1000, 4000, fuseRounds);
        }
      }
      fs::remove(image);
    }
  }
  if (wanted("bindfs")) {
    const std::string bindfs = ToolOrEmpty("bindfs");
    if (bindfs.empty()) {
      bench.Skip("bindfs", "bindfs is not installed (Debian's bindfs)");
    } else {
      const fs::path source = work.path / "bindfs-source";
      const fs::path point = work.path / "bindfs";
      fs::create_directories(source);
      fs::create_directories(point);
      Mount mount({bindfs, source.string(), point.string()}, point, errors);
      if (!mount.mounted) {
        bench.Skip("bindfs", mount.reason);
      } else {
        bench.Fuse("bindfs", point, 2000, 8000, fuseRounds);
      }
    }
  }
  bench.Print(rounds, fuseRounds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "batch_bench: %s\n", e.what());
    return 1;
  }
}
