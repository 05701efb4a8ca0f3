// libFuzzer target: arbitrary bytes as the folder-map INI file, read through
// the real INI reader by LoadFolderMapFrom, then names looked up (fixed ones,
// lines of the input, and the loaded lines in other letter case) with
// LastMatch carried along and set from the input. Besides the sanitizers it
// checks the loaded tables' shape and compares every lookup with a plain
// linear scan of the same rules.
#include <cstdint>
#include <cstdlib>
#include <stdlib.h>  // mkdtemp
#include <filesystem>
#include <string>
#include <vector>

#include "OskeltZtexUtil.h"
#include "Platform.h"

namespace {

struct FuzzFolder {
  FuzzFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "oskelt-ini-fuzz-XXXXXX").string();
    path = mkdtemp(&pattern[0]) ? pattern : std::string();
  }
  ~FuzzFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

const FuzzFolder& Folder() {
  static FuzzFolder folder;
  return folder;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

bool EqualFolded(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (PlatFoldCase((unsigned char)a[i]) != PlatFoldCase((unsigned char)b[i])) return false;
  return true;
}

// The join of the path helpers, over strings; empty when beyond 260.
std::string Join(const std::string& dir, const std::string& sub, const std::string* name) {
  std::string path = dir;
  if (!path.empty() && path.back() != '\\') path += '\\';
  path += sub;
  if (!path.empty() && path.back() != '\\') path += '\\';
  if (name) path += *name;
  return path.size() > PLAT_MAX_PATH ? std::string() : path;
}

// What the lookup must give, and the LastMatch after it.
std::string Expected(const std::string& dir, const std::string& sub, const std::string* name,
                     int32_t* lastMatch) {
  int32_t hit = -1;
  if (name && Sections && Entries && Sections->Count > 0 && Entries->Count > 0) {
    const int32_t count = Entries->Count;
    if (*lastMatch < count - 1 && EqualFolded(Entries->Items[*lastMatch + 1].Text, *name))
      hit = *lastMatch + 1;
    for (int32_t i = 0; hit < 0 && i < count; ++i)
      if (EqualFolded(Entries->Items[i].Text, *name)) hit = i;
  }
  if (hit < 0) return Join(dir, sub, name);
  *lastMatch = hit;
  const std::string folder = Join(dir, sub, nullptr);
  if (folder.empty() && !(dir.empty() && sub.empty())) return std::string();
  const std::string text = Entries->Items[hit].Text;
  return Join(folder, Sections->Names[Entries->Items[hit].Section], &text);
}

void Lookup(const std::string& dir, const std::string& sub, const std::string* name) {
  int32_t expectedLast = LastMatch;
  const std::string expected = Expected(dir, sub, name, &expectedLast);
  char out[PLAT_PATH_BUFFER + 1];
  out[PLAT_PATH_BUFFER] = 0x5A;
  ResolveTargetPath(dir.empty() ? nullptr : dir.c_str(), sub.empty() ? nullptr : sub.c_str(),
                    name ? name->c_str() : nullptr, out);
  Check(out[PLAT_PATH_BUFFER] == 0x5A);
  Check(expected == out);
  Check(expectedLast == LastMatch);
}

// The loaded tables: both present or both absent; every name and line
// non-empty; every line's section a valid index.
void CheckTables(bool loaded) {
  Check(loaded == (Sections != nullptr) && loaded == (Entries != nullptr));
  if (!loaded) return;
  Check(Sections->Count > 0 && Entries->Count >= 0);
  for (int32_t i = 0; i < Sections->Count; ++i) Check(Sections->Names[i] && Sections->Names[i][0]);
  int32_t previous = 0;
  for (int32_t i = 0; i < Entries->Count; ++i) {
    const FolderMapEntry& e = Entries->Items[i];
    Check(e.Text && e.Text[0] && e.Section >= previous && e.Section < Sections->Count);
    previous = e.Section;
  }
}

// Up to `most` pieces of the input between line ends and zero bytes.
std::vector<std::string> InputLines(const uint8_t* data, size_t size, size_t most) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i <= size && lines.size() < most; ++i) {
    const char c = i < size ? (char)data[i] : '\n';
    if (c == '\n' || c == '\r' || c == '\0') {
      if (!line.empty()) lines.push_back(line.substr(0, 300));
      line.clear();
    } else if (line.size() <= 300) {
      line += c;
    }
  }
  return lines;
}

std::string OtherCase(const std::string& text) {
  std::string other = text;
  for (char& c : other) {
    if (c >= 'a' && c <= 'z')
      c = (char)(c - 32);
    else if (c >= 'A' && c <= 'Z')
      c = (char)(c + 32);
  }
  return other;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (Folder().path.empty() || size > UINT32_MAX) return 0;
  const std::string ini = Folder().path + "/map.ini";

  const PlatFile writer = PlatCreateNew(ini.c_str());
  Check(writer != PLAT_NO_FILE);
  uint32_t done = 0;
  Check(size == 0 || (PlatWrite(writer, data, (uint32_t)size, &done) && done == size));
  PlatClose(writer);

  const bool loaded = LoadFolderMapFrom(ini.c_str());
  CheckTables(loaded);

  // LastMatch as a run leaves it: anywhere from 0 to beyond the map.
  const int32_t entries = Entries ? Entries->Count : 0;
  LastMatch = size > 0 ? (int32_t)(data[0] % (entries + 3)) : 0;

  std::vector<std::string> names = {"a.tga", "A.TGA", "x", ""};
  for (const std::string& line : InputLines(data, size, 12)) names.push_back(line);
  for (int32_t i = 0; i < entries && i < 12; ++i) {
    names.push_back(Entries->Items[i].Text);
    names.push_back(OtherCase(Entries->Items[entries - 1 - i].Text));
  }
  // A base directory whose length comes from the input reaches the limit.
  const std::string dir(size > 1 ? data[1] : 0, 'd');
  for (const std::string& name : names) {
    Lookup("", "", &name);
    Lookup(dir, "sub", &name);
  }
  Lookup("", "", nullptr);
  Lookup(dir, "", nullptr);

  FreeFolderMap();
  FreeFolderMap();
  CheckTables(false);
  Lookup("", "", &names[0]);
  PlatDeleteFile(ini.c_str());
  return 0;
}
