// The program's working routines: one ZTEX file to one TGA file, the path
// and file helpers, the texture folder map, the conversion log with its
// counters, and the dialog helpers.
#pragma once

#include <cstdint>

#include "OskeltZtexHost.h"
#include "Platform.h"

// ---------------------------------------------------------------------------
// One ZTEX file to one TGA file (OskeltZtexConvert.cpp).

#pragma pack(push, 1)
struct TgaHeader {
  uint8_t IdLength;
  uint8_t ColorMapType;
  uint8_t ImageType;
  uint16_t ColorMapFirstEntry;
  uint16_t ColorMapLength;
  uint8_t ColorMapEntrySize;
  uint16_t XOrigin;
  uint16_t YOrigin;
  uint16_t Width;
  uint16_t Height;
  uint8_t PixelDepth;
  uint8_t ImageDescriptor;
};
struct TgaFooter {
  uint32_t ExtensionOffset;
  uint32_t DeveloperOffset;
  char Signature[18];  // "TRUEVISION-XFILE." and a zero byte
};
#pragma pack(pop)
static_assert(sizeof(TgaHeader) == 18, "TgaHeader is the 18-byte file record");
static_assert(sizeof(TgaFooter) == 26, "TgaFooter is the 26-byte file record");

// Reads the ZTEX texture from input (positioned at its first byte) and writes
// the complete TGA image to output (an empty file). Closes neither file.
// Textures wider or higher than 65535 pixels fail with ERROR_INVALID_DATATYPE.
bool ConvertZtexToTga(PlatFile input, PlatFile output);
// Reverses the order of `rows` equal rows in buffer (size bytes), in place.
bool FlipRows(uint32_t rows, uint32_t size, void* buffer);

// The conversion's buffers (OskeltZtexConvertBuffers.cpp). Obtain returns
// null when memory is exhausted. Large released blocks are kept for the next
// conversion; FreeConversionBuffers frees every kept block (call it when a
// batch is over; obtaining a buffer later is still allowed).
void* ObtainConversionBuffer(uint32_t size);
void ReleaseConversionBuffer(void* buffer);
void FreeConversionBuffers();

// ---------------------------------------------------------------------------
// Paths and files (OskeltZtexPath.cpp). Paths are at most 260 characters in
// buffers of PLAT_PATH_BUFFER bytes; backslash is the separator.

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
// Creates every missing folder on the parent path of path.
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

// Reads the INI file beside the executable (its name with the extension
// replaced by ".ini", or ".ini" appended when it has none).
bool LoadFolderMap();
// Reads the given INI file; LoadFolderMap's work, for any file.
bool LoadFolderMapFrom(const char* iniPath);
void FreeFolderMap();
// Target path of a TGA name: dir\sub\section\line on a hit, dir\sub\name
// otherwise. out (261 bytes) may be the storage of any argument.
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

// ---------------------------------------------------------------------------
// Dialog helpers (OskeltZtexDialog.cpp): the window operations of the run.

void PumpMessages(DialogHandle dialog);
void EnableControl(DialogHandle dialog, int id, bool enable);
bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start);
void ProgressReset(DialogHandle dialog, int32_t n);
void ProgressStep(DialogHandle dialog, int32_t delta);
