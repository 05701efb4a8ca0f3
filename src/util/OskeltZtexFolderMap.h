// The texture folder map: the INI file next to the executable lists, per
// section (a sub-folder of the base directory), the TGA names that belong
// there.
#pragma once

#include <cstdint>

#include "Platform.h"

struct FolderMapEntry {
  int32_t Section;  // index into Sections
  char* Text;       // the line as read
};
// A count followed by that many elements; absent tables are null.
struct FolderMapSectionTable {
  int32_t Count;
  char* Names[1];
};
struct FolderMapEntryTable {
  int32_t Count;
  FolderMapEntry Items[1];
};

extern FolderMapSectionTable* Sections;
extern FolderMapEntryTable* Entries;
extern int32_t LastMatch;

// Reads the INI file of FolderMapLocation: the user's own map when the front
// end named one and it exists, else the one beside the executable. False,
// with the map empty, when the file is missing, holds no section, or memory
// runs out.
bool LoadFolderMap();
// Names a folder map of the user's own, which takes the place of the one
// beside the executable whenever that file exists; null or "" for none. A
// path beyond 260 characters is not kept (there is none then).
void SetUserFolderMap(const char* iniPath);
// The INI file that LoadFolderMap reads, into out (261 bytes). False with
// the last-error code when the executable's path cannot be told.
bool FolderMapLocation(char* out);
// Reads the given INI file; LoadFolderMap's work, for any file.
bool LoadFolderMapFrom(const char* iniPath);
// The INI path of a program: its last four characters replaced by ".ini"
// when they are an extension (a dot and three characters of the last
// component), ".ini" appended otherwise. out (261 bytes) may be modulePath.
// False with ERROR_FILENAME_EXCED_RANGE when that exceeds 260 characters.
bool FolderMapIniPath(const char* modulePath, char* out);
// Releases both tables and the lookup index; nothing when there are none.
void FreeFolderMap();
// Target path of a TGA name: dir\sub\section\line on a hit (the line's letter
// case), dir\sub\name otherwise; LastMatch becomes the hit. out (261 bytes)
// may be the storage of any argument; a result beyond 260 characters leaves
// it empty, with ERROR_FILENAME_EXCED_RANGE.
void ResolveTargetPath(const char* dir, const char* sub, const char* name, char* out);
