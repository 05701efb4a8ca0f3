// The program's working routines: one ZTEX file to one TGA file, the path
// and file helpers, the texture folder map, the conversion log with its
// counters, and the dialog helpers.
#pragma once

#include <cstdint>

#include "OskeltZtexConvert.h"
#include "OskeltZtexHost.h"
#include "Platform.h"

// ---------------------------------------------------------------------------
// Paths and files (OskeltZtexPath.cpp). Paths are at most 260 characters in
// buffers of PLAT_PATH_BUFFER bytes; backslash is the separator.

// One backslash appended to a non-empty path that does not end in one. A
// path of 260 characters has no room: it stays, with ERROR_FILENAME_EXCED_RANGE.
void AddTrailingBackslash(char* path);
// dir, sub and name joined with backslashes into out (261 bytes); out may be
// the storage of any argument. A result longer than 260 characters is
// refused: out becomes empty and the last error ERROR_FILENAME_EXCED_RANGE.
void JoinPath(const char* dir, const char* sub, const char* name, char* out);
bool FileExists(const char* path);
bool DirectoryExists(const char* path);
// The file exists and its stored name has exactly the letter case of the
// path's last component.
bool NameCaseMatches(const char* path);
// Creates every missing folder on the parent path of path (a path ending in
// a backslash is a folder, created too). BOOL32_TRUE when the parent exists
// afterwards or there is none; BOOL32_FALSE with the failed creation's code,
// or ERROR_FILENAME_EXCED_RANGE for a path beyond 260 characters.
Bool32 ForceParentDirectories(const char* path);

// ---------------------------------------------------------------------------
// The texture folder map (OskeltZtexFolderMap.cpp): the INI file next to the
// executable lists, per section (a sub-folder of the base directory), the TGA
// names that belong there.

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

// Reads the INI file beside the executable (FolderMapIniPath of its path).
// False, with the map empty, when the file is missing, holds no section, or
// memory runs out.
bool LoadFolderMap();
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

// ---------------------------------------------------------------------------
// The conversion log and its counters (OskeltZtexLog.cpp).

enum : uint8_t { LOG_TEXT = 0, LOG_NUMBER = 1, LOG_OK = 2, LOG_SKIPPED = 3, LOG_ERROR = 4 };

void LogAppendText(DialogHandle dialog, const char* text);
// LOG_TEXT, LOG_OK, LOG_SKIPPED and LOG_ERROR take a text (unused by LOG_OK);
// LOG_NUMBER takes a number.
void LogWrite(DialogHandle dialog, uint8_t kind, const char* text);
void LogWrite(DialogHandle dialog, uint8_t kind, uint32_t number);
// value in decimal with comma thousands separators; out holds 14 bytes.
void FormatThousands(uint32_t value, char* out);
void ResetCounters();

enum : uint32_t { LOG_LINE_SIZE = 4096 + 1, LOG_MESSAGE_SIZE = 256 };
// The LOG_ERROR line "ERROR: text (message)\r\n" into line (LOG_LINE_SIZE
// bytes), from the first count characters of a system message; every
// character of the message below 0x21 becomes a space. A line that would be
// longer is cut before its closing ")\r\n".
void ComposeErrorLine(const char* text, const char* message, uint32_t count, char* line);

// ---------------------------------------------------------------------------
// Dialog helpers (OskeltZtexDialog.cpp): the window operations of the run.

void PumpMessages(DialogHandle dialog);
void EnableControl(DialogHandle dialog, int id, bool enable);
bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start);
void ProgressReset(DialogHandle dialog, int32_t n);
void ProgressStep(DialogHandle dialog, int32_t delta);
