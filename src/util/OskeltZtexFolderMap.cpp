// The texture folder map: the INI file next to the executable, read into the
// tables Sections and Entries, and the lookup of a TGA name's target path.
//
// Lookups go through an index built once at load time: the entry numbers
// sorted by their folded text (ties in INI order), searched by bisection, so a
// lookup costs the same for the first and the last line of a large map.
#include <cstdlib>
#include <cstring>

#include "OskeltZtexUtil.h"

FolderMapSectionTable* Sections = nullptr;
FolderMapEntryTable* Entries = nullptr;
int32_t LastMatch = 0;

static int32_t* MatchIndex = nullptr;  // Entries->Count entry numbers, sorted
static int32_t SectionCapacity = 0;
static int32_t EntryCapacity = 0;

enum : uint32_t { INI_BUFFER_SIZE = 32767 };

// Compares two names as the lookup does: letter case folded, byte by byte.
static int CompareFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = PlatFoldCase(static_cast<unsigned char>(*a));
    const unsigned char y = PlatFoldCase(static_cast<unsigned char>(*b));
    if (x != y) return x < y ? -1 : 1;
    if (x == '\0') return 0;
  }
}

static bool EqualFolded(const char* a, const char* b) { return CompareFolded(a, b) == 0; }

static char* CopyText(const char* text) {
  const size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

// Tables grow geometrically; the count and its elements keep their layout.
static bool ReserveSections(int32_t count) {
  if (count <= SectionCapacity) return true;
  const int32_t capacity = SectionCapacity < 1 ? 1 : SectionCapacity * 2;
  void* table = std::realloc(Sections, sizeof(FolderMapSectionTable) +
                                           sizeof(char*) * static_cast<size_t>(capacity - 1));
  if (!table) return false;
  Sections = static_cast<FolderMapSectionTable*>(table);
  SectionCapacity = capacity;
  return true;
}

static bool ReserveEntries(int32_t count) {
  if (count <= EntryCapacity) return true;
  const int32_t capacity = EntryCapacity < 1 ? 1 : EntryCapacity * 2;
  void* table = std::realloc(Entries, sizeof(FolderMapEntryTable) +
                                          sizeof(FolderMapEntry) * static_cast<size_t>(capacity - 1));
  if (!table) return false;
  Entries = static_cast<FolderMapEntryTable*>(table);
  EntryCapacity = capacity;
  return true;
}

static bool AddSection(const char* name) {
  if (!ReserveSections(Sections->Count + 1)) return false;
  char* copy = CopyText(name);
  if (!copy) return false;
  Sections->Names[Sections->Count++] = copy;
  return true;
}

static bool AddEntry(const char* line) {
  if (!ReserveEntries(Entries->Count + 1)) return false;
  char* copy = CopyText(line);
  if (!copy) return false;
  FolderMapEntry& entry = Entries->Items[Entries->Count++];
  entry.Section = Sections->Count - 1;
  entry.Text = copy;
  return true;
}

static int CompareIndexed(const void* a, const void* b) {
  const int32_t x = *static_cast<const int32_t*>(a);
  const int32_t y = *static_cast<const int32_t*>(b);
  const int order = CompareFolded(Entries->Items[x].Text, Entries->Items[y].Text);
  if (order != 0) return order;
  return x < y ? -1 : (x > y ? 1 : 0);
}

static bool BuildMatchIndex() {
  const int32_t count = Entries->Count;
  MatchIndex = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(count > 0 ? count : 1)));
  if (!MatchIndex) return false;
  for (int32_t i = 0; i < count; ++i) MatchIndex[i] = i;
  std::qsort(MatchIndex, static_cast<size_t>(count), sizeof(int32_t), CompareIndexed);
  return true;
}

// The first entry in INI order whose text equals name without regard to
// letter case, or -1.
static int32_t FindFirstMatch(const char* name) {
  int32_t low = 0;
  int32_t high = Entries->Count;
  while (low < high) {
    const int32_t middle = low + (high - low) / 2;
    if (CompareFolded(Entries->Items[MatchIndex[middle]].Text, name) < 0)
      low = middle + 1;
    else
      high = middle;
  }
  if (low < Entries->Count && EqualFolded(Entries->Items[MatchIndex[low]].Text, name))
    return MatchIndex[low];
  return -1;
}

// The INI file beside the executable: its extension replaced by ".ini", or
// ".ini" appended when it has none.
static bool GetIniPath(char* path) {
  const uint32_t length = PlatGetModulePath(path, PLAT_PATH_BUFFER);
  if (length == 0) return false;
  size_t stem = length;
  if (length >= 4 && path[length - 4] == '.') {
    const char* last = path + length - 3;
    if (!std::strchr(last, '\\') && !std::strchr(last, '/')) stem = length - 4;
  }
  if (stem + 4 > PLAT_MAX_PATH) {
    PlatSetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::memcpy(path + stem, ".ini", 5);
  return true;
}

bool LoadFolderMapFrom(const char* iniPath) {
  FreeFolderMap();
  char* names = static_cast<char*>(std::malloc(INI_BUFFER_SIZE));
  char* lines = static_cast<char*>(std::malloc(INI_BUFFER_SIZE));
  bool result = names && lines && iniPath && ReserveSections(1) && ReserveEntries(1);
  if (result) {
    Sections->Count = 0;
    Entries->Count = 0;
    result = PlatReadIniSectionNames(iniPath, names, INI_BUFFER_SIZE) != 0;
  }
  for (const char* name = names; result && *name; name += std::strlen(name) + 1) {
    if (!AddSection(name)) {
      result = false;
      break;
    }
    if (PlatReadIniSection(iniPath, name, lines, INI_BUFFER_SIZE) == 0) continue;
    for (const char* line = lines; *line; line += std::strlen(line) + 1) {
      if (!AddEntry(line)) {
        result = false;
        break;
      }
    }
  }
  if (result) result = BuildMatchIndex();
  std::free(names);
  std::free(lines);
  if (!result) FreeFolderMap();
  return result;
}

bool LoadFolderMap() {
  char iniPath[PLAT_PATH_BUFFER];
  if (!GetIniPath(iniPath)) return false;
  return LoadFolderMapFrom(iniPath);
}

void FreeFolderMap() {
  if (Entries) {
    for (int32_t i = 0; i < Entries->Count; ++i) std::free(Entries->Items[i].Text);
    std::free(Entries);
    Entries = nullptr;
    EntryCapacity = 0;
  }
  if (Sections) {
    for (int32_t i = 0; i < Sections->Count; ++i) std::free(Sections->Names[i]);
    std::free(Sections);
    Sections = nullptr;
    SectionCapacity = 0;
  }
  std::free(MatchIndex);
  MatchIndex = nullptr;
}

void ResolveTargetPath(const char* dir, const char* sub, const char* name, char* out) {
  int32_t hit = -1;
  if (name && Sections && Entries && MatchIndex && Sections->Count > 0 && Entries->Count > 0) {
    if (LastMatch >= 0 && LastMatch < Entries->Count - 1 &&
        EqualFolded(Entries->Items[LastMatch + 1].Text, name))
      hit = LastMatch + 1;
    else
      hit = FindFirstMatch(name);
  }
  if (hit < 0) {
    JoinPath(dir, sub, name, out);
    return;
  }
  char folder[PLAT_PATH_BUFFER];
  JoinPath(dir, sub, nullptr, folder);
  const FolderMapEntry& entry = Entries->Items[hit];
  if (folder[0] == '\0' && ((dir && *dir) || (sub && *sub))) {
    out[0] = '\0';  // the folder part alone is too long; JoinPath has said why
  } else {
    JoinPath(folder, Sections->Names[entry.Section], entry.Text, out);
  }
  LastMatch = hit;
}
