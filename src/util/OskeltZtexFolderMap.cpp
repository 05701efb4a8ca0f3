// The texture folder map: the INI file next to the executable, read into the
// tables Sections and Entries, and the lookup of a TGA name's target path.
//
// Lookups go through an index built once at load time: an open-addressing
// hash table from each folded line to the first entry (in INI order) that
// has it, so a lookup costs the same for the first and the last line of a
// large map, whatever the map's size.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "OskeltZtexFolderMap.h"
#include "OskeltZtexPath.h"

FolderMapSectionTable* Sections = nullptr;
FolderMapEntryTable* Entries = nullptr;
int32_t LastMatch = 0;

enum : uint32_t { INI_BUFFER_SIZE = 32767 };

struct IndexSlot {
  uint32_t Hash;
  int32_t Entry;  // -1: empty
};

static IndexSlot* Index = nullptr;
static size_t IndexMask = 0;  // slot count minus one; the count is a power of two
static int32_t SectionCapacity = 0;
static int32_t EntryCapacity = 0;
static unsigned char Fold[256];  // PlatFoldCase of every byte

static void FillFoldTable() {
  for (int c = 0; c < 256; ++c) Fold[c] = PlatFoldCase(static_cast<unsigned char>(c));
}

static bool EqualFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = Fold[static_cast<unsigned char>(*a)];
    if (x != Fold[static_cast<unsigned char>(*b)]) return false;
    if (x == '\0') return true;
  }
}

// FNV-1a over the folded bytes.
static uint32_t HashFolded(const char* text) {
  uint32_t hash = 2166136261u;
  for (; *text; ++text) {
    hash ^= Fold[static_cast<unsigned char>(*text)];
    hash *= 16777619u;
  }
  return hash;
}

static char* CopyText(const char* text, size_t length) {
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

// Gives a table (a count followed by its items) room for exactly `capacity`
// items; a new table starts with a count of 0. False when memory runs out,
// with the table as it was.
template <typename Item, typename Table>
static bool ResizeTable(Table** table, int32_t* room, int32_t capacity) {
  void* resized =
      std::realloc(*table, sizeof(Table) + sizeof(Item) * static_cast<size_t>(capacity - 1));
  if (!resized) return false;
  if (!*table) static_cast<Table*>(resized)->Count = 0;
  *table = static_cast<Table*>(resized);
  *room = capacity;
  return true;
}

// The tables grow geometrically (one element at a time would copy the whole
// table at every addition); TrimTables gives each table exactly Count
// elements when loading is done.
template <typename Item, typename Table>
static bool ReserveTable(Table** table, int32_t* room, int32_t count) {
  if (count <= *room) return true;
  if (*room > INT32_MAX / 2) return false;
  return ResizeTable<Item>(table, room, *room < 1 ? 1 : *room * 2);
}

static bool ReserveSections(int32_t count) {
  return ReserveTable<char*>(&Sections, &SectionCapacity, count);
}

static bool ReserveEntries(int32_t count) {
  return ReserveTable<FolderMapEntry>(&Entries, &EntryCapacity, count);
}

// A failed shrink keeps the larger table, which is as good.
static void TrimTables() {
  ResizeTable<char*>(&Sections, &SectionCapacity, Sections->Count > 0 ? Sections->Count : 1);
  ResizeTable<FolderMapEntry>(&Entries, &EntryCapacity, Entries->Count > 0 ? Entries->Count : 1);
}

static bool AddSection(const char* name, size_t length) {
  if (Sections->Count == INT32_MAX || !ReserveSections(Sections->Count + 1)) return false;
  char* copy = CopyText(name, length);
  if (!copy) return false;
  Sections->Names[Sections->Count++] = copy;
  return true;
}

static bool AddEntry(const char* line, size_t length) {
  if (Entries->Count == INT32_MAX || !ReserveEntries(Entries->Count + 1)) return false;
  char* copy = CopyText(line, length);
  if (!copy) return false;
  FolderMapEntry& entry = Entries->Items[Entries->Count++];
  entry.Section = Sections->Count - 1;
  entry.Text = copy;
  return true;
}

// The slot that holds name's first entry, or the empty slot where it would go.
static IndexSlot* FindSlot(const char* name, uint32_t hash) {
  for (size_t i = hash & IndexMask;; i = (i + 1) & IndexMask) {
    IndexSlot* slot = &Index[i];
    if (slot->Entry < 0) return slot;
    if (slot->Hash == hash && EqualFolded(Entries->Items[slot->Entry].Text, name)) return slot;
  }
}

// Every entry in INI order; a name met again keeps its first entry. At most
// half of the slots are used, so every probe ends at an empty slot.
static bool BuildIndex() {
  size_t slots = 2;
  while (slots < static_cast<size_t>(Entries->Count) * 2) {
    if (slots > SIZE_MAX / 2 / sizeof(IndexSlot)) return false;
    slots *= 2;
  }
  Index = static_cast<IndexSlot*>(std::malloc(slots * sizeof(IndexSlot)));
  if (!Index) return false;
  IndexMask = slots - 1;
  for (size_t i = 0; i < slots; ++i) Index[i].Entry = -1;
  for (int32_t e = 0; e < Entries->Count; ++e) {
    const uint32_t hash = HashFolded(Entries->Items[e].Text);
    IndexSlot* slot = FindSlot(Entries->Items[e].Text, hash);
    if (slot->Entry < 0) {
      slot->Hash = hash;
      slot->Entry = e;
    }
  }
  return true;
}

// The first entry in INI order whose text equals name without regard to
// letter case, or -1.
static int32_t FindFirstMatch(const char* name) {
  return FindSlot(name, HashFolded(name))->Entry;
}

bool FolderMapIniPath(const char* modulePath, char* out) {
  if (!modulePath || !out) {
    PlatSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const size_t length = std::strlen(modulePath);
  // An extension is a dot and three characters of the last component.
  size_t stem = length;
  if (length >= 4 && modulePath[length - 4] == '.') {
    const char* tail = modulePath + length - 3;
    if (!std::strpbrk(tail, "\\/")) stem = length - 4;
  }
  if (stem + 4 > PLAT_MAX_PATH) {
    out[0] = '\0';
    PlatSetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::memmove(out, modulePath, stem);
  std::memcpy(out + stem, ".ini", 5);
  return true;
}

// Walks a list as the INI reader returns it: strings one after another, each
// with its terminator, ended by an empty one. count (characters written
// without the final terminator) bounds the walk as well.
static const char* NextInList(const char* list, uint32_t count, const char* at, size_t* length) {
  const char* end = list + count;
  if (at >= end || *at == '\0') return nullptr;
  const void* zero = std::memchr(at, '\0', static_cast<size_t>(end - at));
  *length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - at)
                 : static_cast<size_t>(end - at);
  return at;
}

// A buffer for the reader's lists, grown as a list needs.
struct ListBuffer {
  char* Data;
  uint32_t Size;
};

// Reads a list whole: while the reader reports a full buffer (size - 2: the
// list may be cut), the buffer doubles and the list is read again. *count
// receives the reader's result. False when the buffer cannot grow.
template <typename Read>
static bool ReadWholeList(ListBuffer* buffer, Read read, uint32_t* count) {
  for (;;) {
    *count = read(buffer->Data, buffer->Size);
    if (*count < buffer->Size - 2) return true;
    if (buffer->Size > UINT32_MAX / 2) return false;
    std::free(buffer->Data);
    buffer->Size *= 2;
    buffer->Data = static_cast<char*>(std::malloc(buffer->Size));
    if (!buffer->Data) return false;
  }
}

bool LoadFolderMapFrom(const char* iniPath) {
  FreeFolderMap();
  FillFoldTable();
  ListBuffer names = {static_cast<char*>(std::malloc(INI_BUFFER_SIZE)), INI_BUFFER_SIZE};
  ListBuffer lines = {static_cast<char*>(std::malloc(INI_BUFFER_SIZE)), INI_BUFFER_SIZE};
  bool result = names.Data && lines.Data && ReserveSections(1) && ReserveEntries(1);
  if (!result) PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  uint32_t nameCount = 0;
  if (result) {
    if (!iniPath) {
      PlatSetLastError(ERROR_INVALID_PARAMETER);
      result = false;
    } else if (!ReadWholeList(&names, [iniPath](char* buffer, uint32_t size) {
                 return PlatReadIniSectionNames(iniPath, buffer, size);
               }, &nameCount)) {
      PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
      result = false;
    } else {
      result = nameCount != 0;
    }
  }
  size_t nameLength = 0;
  for (const char* name = result ? NextInList(names.Data, nameCount, names.Data, &nameLength) : nullptr;
       result && name;
       name = NextInList(names.Data, nameCount, name + nameLength + 1, &nameLength)) {
    if (!AddSection(name, nameLength)) {
      PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
      result = false;
      break;
    }
    // The name must reach the reader with its terminator.
    const char* section = Sections->Names[Sections->Count - 1];
    uint32_t lineCount = 0;
    if (!ReadWholeList(&lines, [iniPath, section](char* buffer, uint32_t size) {
          return PlatReadIniSection(iniPath, section, buffer, size);
        }, &lineCount)) {
      PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
      result = false;
      break;
    }
    size_t lineLength = 0;
    for (const char* line = NextInList(lines.Data, lineCount, lines.Data, &lineLength); line;
         line = NextInList(lines.Data, lineCount, line + lineLength + 1, &lineLength)) {
      if (!AddEntry(line, lineLength)) {
        PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        result = false;
        break;
      }
    }
  }
  if (result && !BuildIndex()) {
    PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    result = false;
  }
  if (result) TrimTables();
  std::free(names.Data);
  std::free(lines.Data);
  if (!result) FreeFolderMap();
  return result;
}

// The user's own map, empty for none.
static char UserFolderMap[PLAT_PATH_BUFFER];

void SetUserFolderMap(const char* iniPath) {
  UserFolderMap[0] = '\0';
  if (iniPath && std::strlen(iniPath) <= PLAT_MAX_PATH) std::strcpy(UserFolderMap, iniPath);
}

bool FolderMapLocation(char* out) {
  if (!out) {
    PlatSetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (UserFolderMap[0] != '\0' && FileExists(UserFolderMap)) {
    std::strcpy(out, UserFolderMap);
    return true;
  }
  char modulePath[PLAT_PATH_BUFFER];
  if (PlatGetModulePath(modulePath, sizeof modulePath) == 0) {
    out[0] = '\0';
    return false;
  }
  return FolderMapIniPath(modulePath, out);
}

bool LoadFolderMap() {
  char iniPath[PLAT_PATH_BUFFER];
  if (!FolderMapLocation(iniPath)) return false;
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
  std::free(Index);
  Index = nullptr;
  IndexMask = 0;
}

void ResolveTargetPath(const char* dir, const char* sub, const char* name, char* out) {
  if (!out) return;
  int32_t hit = -1;
  if (name && Sections && Entries && Index && Sections->Count > 0 && Entries->Count > 0) {
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
  if (folder[0] == '\0' && ((dir && *dir) || (sub && *sub)))
    out[0] = '\0';  // the folder part alone is too long; JoinPath has set the code
  else
    JoinPath(folder, Sections->Names[entry.Section], entry.Text, out);
  LastMatch = hit;
}
