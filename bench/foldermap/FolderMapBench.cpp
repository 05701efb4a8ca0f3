// The folder map, single thread:
// - 50,000 lookups through ResolveTargetPath of every name of a 50,000-line
//   map, in shuffled order and other letter case, against a plain linear scan
//   of the same rules over the same tables (the entry after LastMatch first,
//   then the first match in INI order);
// - the same 50,000 lookups in maps of 1,000, 10,000 and 50,000 lines: the
//   indexed cost stays flat, the scan grows with the map;
// - loading an INI file of 1,000, 10,000 and 50,000 lines (the file and a
//   copy in turn, so that each load parses its file);
// - building a table of 50,000 entries (count and elements, a string copy
//   per line in between, as the loader does) grown by one element per
//   addition against doubling its room;
// - loading a map of 8,000 one-line sections and an INI file of 10 MB, each
//   beside a plain read of the same file's bytes through the platform layer.
//   Each file has two identical copies, used in turn, so that every load
//   parses its file afresh (the POSIX reader keeps the file it parsed last).
// Every pass starts with LastMatch 0 and carries it along, as a run does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "OskeltZtexUtil.h"
#include "Platform.h"

namespace {

const int LOOKUPS = 50000;
const int LINES_PER_SECTION = 1000;  // about 24 KB a section

struct Folder {
  Folder() {
    path = (std::filesystem::temp_directory_path() /
            ("oskelt-foldermap-bench-" + std::to_string(std::random_device()())))
               .string();
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

const std::string& BenchFolder() {
  static Folder folder;
  return folder.path;
}

struct Map {
  std::string ini;                   // the file
  std::string copy;                  // the same bytes again
  std::vector<std::string> lookups;  // LOOKUPS names in shuffled order, upper case
};

// An INI file of `lines` distinct names in sections of LINES_PER_SECTION,
// the lines in random order; the names looked up are the same lines in
// other letter case, shuffled again, repeated up to LOOKUPS.
const Map& MapOf(int lines) {
  static std::map<int, Map> maps;
  Map& map = maps[lines];
  if (!map.ini.empty()) return map;
  std::mt19937 random(20261207u + (unsigned)lines);
  std::vector<std::string> names;
  for (int i = 0; i < lines; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "Tex_%08x_%05d.tga", (unsigned)random(), i);
    names.push_back(name);
  }
  std::shuffle(names.begin(), names.end(), random);
  std::string text;
  for (int i = 0; i < lines; ++i) {
    if (i % LINES_PER_SECTION == 0)
      text += "[Worlds\\Area_" + std::to_string(i / LINES_PER_SECTION) + "]\r\n";
    text += names[i] + "\r\n";
  }
  map.ini = BenchFolder() + "/map_" + std::to_string(lines) + ".ini";
  map.copy = BenchFolder() + "/map_" + std::to_string(lines) + "_copy.ini";
  for (const std::string* path : {&map.ini, &map.copy}) {
    std::FILE* file = std::fopen(path->c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }

  std::vector<std::string> order = names;
  while ((int)map.lookups.size() < LOOKUPS) {
    std::shuffle(order.begin(), order.end(), random);
    for (const std::string& name : order) {
      if ((int)map.lookups.size() == LOOKUPS) break;
      std::string upper = name;
      for (char& c : upper) c = (char)PlatFoldCase((unsigned char)c);
      map.lookups.push_back(upper);
    }
  }
  return map;
}

bool Load(const Map& map) {
  FreeFolderMap();
  return LoadFolderMapFrom(map.ini.c_str());
}

// The same rules without an index.
unsigned char Fold[256];

bool EqualFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = Fold[(unsigned char)*a];
    if (x != Fold[(unsigned char)*b]) return false;
    if (x == '\0') return true;
  }
}

void LinearResolve(const char* name, int32_t* lastMatch, char* out) {
  int32_t hit = -1;
  const int32_t count = Entries->Count;
  if (*lastMatch < count - 1 && EqualFolded(Entries->Items[*lastMatch + 1].Text, name))
    hit = *lastMatch + 1;
  for (int32_t i = 0; hit < 0 && i < count; ++i)
    if (EqualFolded(Entries->Items[i].Text, name)) hit = i;
  if (hit < 0) {
    JoinPath(nullptr, nullptr, name, out);
    return;
  }
  JoinPath(nullptr, Sections->Names[Entries->Items[hit].Section], Entries->Items[hit].Text, out);
  *lastMatch = hit;
}

void SetLookupCounters(benchmark::State& state) {
  const double lookups = (double)LOOKUPS * (double)state.iterations();
  state.counters["per_lookup"] =
      benchmark::Counter(lookups, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed((int64_t)lookups);
}

// The results of the indexed lookups, kept to check the scan against.
std::vector<std::string>& IndexedResults(int lines) {
  static std::map<int, std::vector<std::string>> results;
  return results[lines];
}

void BM_Indexed(benchmark::State& state) {
  const int lines = (int)state.range(0);
  const Map& map = MapOf(lines);
  if (!Load(map)) return state.SkipWithError("the map did not load");
  char out[PLAT_PATH_BUFFER];
  for (auto _ : state) {
    LastMatch = 0;
    for (const std::string& name : map.lookups) {
      ResolveTargetPath(nullptr, nullptr, name.c_str(), out);
      benchmark::DoNotOptimize(out);
    }
  }
  SetLookupCounters(state);
  std::vector<std::string>& results = IndexedResults(lines);
  results.clear();
  LastMatch = 0;
  for (const std::string& name : map.lookups) {
    ResolveTargetPath(nullptr, nullptr, name.c_str(), out);
    results.push_back(out);
  }
  if (results[0].find("Worlds\\Area_") != 0) state.SkipWithError("the first lookup missed");
  FreeFolderMap();
}

void BM_LinearScan(benchmark::State& state) {
  const int lines = (int)state.range(0);
  const Map& map = MapOf(lines);
  for (int c = 0; c < 256; ++c) Fold[c] = PlatFoldCase((unsigned char)c);
  if (!Load(map)) return state.SkipWithError("the map did not load");
  const std::vector<std::string>& expected = IndexedResults(lines);
  char out[PLAT_PATH_BUFFER];
  bool same = expected.size() == map.lookups.size();
  for (auto _ : state) {
    int32_t lastMatch = 0;
    for (size_t i = 0; i < map.lookups.size(); ++i) {
      LinearResolve(map.lookups[i].c_str(), &lastMatch, out);
      benchmark::DoNotOptimize(out);
      same = same && expected[i] == out;
    }
  }
  SetLookupCounters(state);
  if (!same) state.SkipWithError("the scan and ResolveTargetPath disagree");
  FreeFolderMap();
}

// The map and its copy in turn, so that every load parses its file.
void BM_Load(benchmark::State& state) {
  const Map& map = MapOf((int)state.range(0));
  bool copy = false;
  for (auto _ : state) {
    FreeFolderMap();
    if (!LoadFolderMapFrom((copy ? map.copy : map.ini).c_str()))
      return state.SkipWithError("the map did not load");
    copy = !copy;
    FreeFolderMap();
  }
  state.counters["lines"] = (double)state.range(0);
}

// The table as the loader builds it; grow(capacity) gives the room for the
// next addition.
template <typename Grow>
void BuildTable(benchmark::State& state, Grow grow) {
  const int32_t lines = (int32_t)state.range(0);
  for (auto _ : state) {
    FolderMapEntryTable* table = nullptr;
    int32_t capacity = 0;
    for (int32_t i = 0; i < lines; ++i) {
      if (i + 1 > capacity) {
        capacity = grow(capacity);
        void* bigger = std::realloc(
            table, sizeof(FolderMapEntryTable) + sizeof(FolderMapEntry) * (size_t)(capacity - 1));
        if (!bigger) return state.SkipWithError("out of memory");
        table = (FolderMapEntryTable*)bigger;
        if (i == 0) table->Count = 0;
      }
      char* text = (char*)std::malloc(20);
      std::memcpy(text, "Tex_0123abcd_00000.", 20);
      table->Items[i].Section = i / LINES_PER_SECTION;
      table->Items[i].Text = text;
      table->Count = i + 1;
    }
    benchmark::DoNotOptimize(table);
    for (int32_t i = 0; i < table->Count; ++i) std::free(table->Items[i].Text);
    std::free(table);
  }
}

void BM_TableGrowByOne(benchmark::State& state) {
  BuildTable(state, [](int32_t capacity) { return capacity + 1; });
}

void BM_TableGrowDoubling(benchmark::State& state) {
  BuildTable(state, [](int32_t capacity) { return capacity < 1 ? 1 : capacity * 2; });
}

// The two copies of a large INI file.
struct LargeIni {
  std::string copies[2];
  uint64_t bytes;
};

void WriteCopies(const std::string& stem, const std::string& text, LargeIni* ini) {
  for (int i = 0; i < 2; ++i) {
    ini->copies[i] = BenchFolder() + "/" + stem + "_" + std::to_string(i) + ".ini";
    std::FILE* file = std::fopen(ini->copies[i].c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  ini->bytes = text.size();
}

// 8,000 sections of one line each.
const LargeIni& ManySections() {
  static LargeIni ini;
  if (ini.bytes != 0) return ini;
  std::string text;
  for (int i = 0; i < 8000; ++i) {
    char lines[128];
    std::snprintf(lines, sizeof lines, "[Worlds\\Area_%d]\r\nTex_%05d.tga\r\n", i, i);
    text += lines;
  }
  WriteCopies("sections_8000", text, &ini);
  return ini;
}

// 10 MB in sections of LINES_PER_SECTION lines.
const LargeIni& TenMegabytes() {
  static LargeIni ini;
  if (ini.bytes != 0) return ini;
  std::string text;
  for (int i = 0; text.size() < 10000000; ++i) {
    if (i % LINES_PER_SECTION == 0)
      text += "[Worlds\\Area_" + std::to_string(i / LINES_PER_SECTION) + "]\r\n";
    char line[64];
    std::snprintf(line, sizeof line, "Tex_%08x_%07d.tga\r\n", static_cast<unsigned>(i) * 2654435761u, i);
    text += line;
  }
  WriteCopies("ten_megabytes", text, &ini);
  return ini;
}

void BM_LoadLargeIni(benchmark::State& state, const LargeIni& (*make)()) {
  const LargeIni& ini = make();
  int turn = 0;
  for (auto _ : state) {
    FreeFolderMap();
    if (!LoadFolderMapFrom(ini.copies[turn].c_str())) return state.SkipWithError("the map did not load");
    turn ^= 1;
  }
  state.counters["entries"] = Entries ? Entries->Count : 0;
  state.SetBytesProcessed(static_cast<int64_t>(ini.bytes * state.iterations()));
  FreeFolderMap();
}

void BM_ReadLargeIni(benchmark::State& state, const LargeIni& (*make)()) {
  const LargeIni& ini = make();
  std::vector<char> chunk(65536);
  int turn = 0;
  for (auto _ : state) {
    const PlatFile file = PlatOpenRead(ini.copies[turn].c_str());
    if (file == PLAT_NO_FILE) return state.SkipWithError("the file did not open");
    uint64_t total = 0;
    uint32_t done = 0;
    while (PlatRead(file, chunk.data(), static_cast<uint32_t>(chunk.size()), &done) && done > 0)
      total += done;
    PlatClose(file);
    if (total != ini.bytes) return state.SkipWithError("the file was not read whole");
    benchmark::DoNotOptimize(chunk.data());
    turn ^= 1;
  }
  state.SetBytesProcessed(static_cast<int64_t>(ini.bytes * state.iterations()));
}

}  // namespace

// The indexed runs come first: the scans check their results against them.
BENCHMARK(BM_Indexed)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinearScan)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableGrowByOne)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableGrowDoubling)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLargeIni, sections_8000, ManySections)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLargeIni, sections_8000, ManySections)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLargeIni, ten_megabytes, TenMegabytes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadLargeIni, ten_megabytes, TenMegabytes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
