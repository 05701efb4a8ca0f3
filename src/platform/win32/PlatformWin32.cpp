// Win32 implementation of the operating-system layer: thin wrappers over the
// kernel calls, with the access, sharing and creation values the program
// relies on.
#include <windows.h>

#include "Platform.h"

#include <cstdio>
#include <cstring>

static_assert(sizeof(PlatFile) == sizeof(HANDLE), "a file handle fits a PlatFile");
static_assert(sizeof(PlatSearch) == sizeof(HANDLE), "a search handle fits a PlatSearch");

static HANDLE ToHandle(PlatFile file) { return reinterpret_cast<HANDLE>(file); }
static PlatFile FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? PLAT_NO_FILE : reinterpret_cast<PlatFile>(handle);
}

static bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

uint32_t PlatGetLastError() { return GetLastError(); }
void PlatSetLastError(uint32_t code) { SetLastError(code); }

// ---------------------------------------------------------------------------
// Open files.

PlatFile PlatOpenRead(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER), PLAT_NO_FILE;
  return FromHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

PlatFile PlatCreateNew(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER), PLAT_NO_FILE;
  return FromHandle(
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
}

bool PlatGetFileSize(PlatFile file, uint64_t* size) {
  if (!size) return Fail(ERROR_INVALID_PARAMETER);
  LARGE_INTEGER value;
  if (!GetFileSizeEx(ToHandle(file), &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool PlatGetFilePosition(PlatFile file, uint64_t* position) {
  if (!position) return Fail(ERROR_INVALID_PARAMETER);
  LARGE_INTEGER zero, value;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(ToHandle(file), zero, &value, FILE_CURRENT)) return false;
  *position = static_cast<uint64_t>(value.QuadPart);
  return true;
}

bool PlatRead(PlatFile file, void* buffer, uint32_t size, uint32_t* done) {
  if (!done || (!buffer && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD count = 0;
  const BOOL ok = ReadFile(ToHandle(file), buffer, size, &count, nullptr);
  *done = count;
  return ok != FALSE;
}

// A read with an offset; on a handle opened for synchronous access it also
// moves the file position behind the bytes read.
bool PlatReadAt(PlatFile file, uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
  if (!done || (!buffer && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  *done = 0;
  OVERLAPPED at;
  ZeroMemory(&at, sizeof at);
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  const DWORD saved = GetLastError();
  if (!ReadFile(ToHandle(file), buffer, size, &count, &at)) {
    if (GetLastError() != ERROR_HANDLE_EOF) return false;
    SetLastError(saved);  // at or beyond the end: a short read, no failure
    count = 0;
  }
  *done = count;
  return true;
}

bool PlatWrite(PlatFile file, const void* buffer, uint32_t size, uint32_t* done) {
  if (!done || (!buffer && size != 0)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD count = 0;
  const BOOL ok = WriteFile(ToHandle(file), buffer, size, &count, nullptr);
  *done = count;
  return ok != FALSE;
}

void PlatClose(PlatFile file) {
  if (file != PLAT_NO_FILE) CloseHandle(ToHandle(file));
}

// The allocation size, which leaves the end of the file where it is.
bool PlatReserveFileSpace(PlatFile file, uint64_t size) {
  if (file == PLAT_NO_FILE) return Fail(ERROR_INVALID_HANDLE);
  if (size == 0) return true;
  FILE_ALLOCATION_INFO allocation;
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  const DWORD saved = GetLastError();
  if (SetFileInformationByHandle(ToHandle(file), FileAllocationInfo, &allocation, sizeof allocation))
    return true;
  switch (GetLastError()) {
    case ERROR_INVALID_FUNCTION:  // the file system cannot
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_PARAMETER:
      SetLastError(saved);
      return true;
    default:
      return false;
  }
}

// The file is written under the name temporary, a name of the caller's run.
// Others may read it but neither delete nor rename it while it is open, so
// no run removes the live file of another; the handle itself may rename it
// (DELETE access), which is how it is published.
PlatFile PlatCreateTemporary(const char* target, const char* temporary) {
  if (!target || !temporary) return Fail(ERROR_INVALID_PARAMETER), PLAT_NO_FILE;
  const DWORD saved = GetLastError();
  // As a file created at once at the target name, it cannot be made where
  // that name exists.
  if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) return Fail(ERROR_FILE_EXISTS), PLAT_NO_FILE;
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return PLAT_NO_FILE;
  SetLastError(saved);
  return FromHandle(file);
}

// The file the handle holds takes the target's name, never replacing one:
// a rename through the handle, which cannot move any other file.
bool PlatPublishFile(PlatFile file, const char* target, const char* temporary) {
  if (file == PLAT_NO_FILE) return Fail(ERROR_INVALID_HANDLE);
  if (!target || !temporary) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD saved = GetLastError();
  char full[MAX_PATH + 1];
  const DWORD length = GetFullPathNameA(target, sizeof full, full, nullptr);
  if (length == 0) return false;
  if (length >= sizeof full) return Fail(ERROR_FILENAME_EXCED_RANGE);
  // The NT form of the full path: "\??\" and the path in UTF-16.
  const int wide = MultiByteToWideChar(CP_ACP, 0, full, -1, nullptr, 0);
  if (wide <= 0) return false;
  const size_t bytes = sizeof(FILE_RENAME_INFO) + (4 + static_cast<size_t>(wide)) * sizeof(WCHAR);
  FILE_RENAME_INFO* info = static_cast<FILE_RENAME_INFO*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
  if (!info) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  const WCHAR prefix[] = L"\\??\\";
  std::memcpy(info->FileName, prefix, 4 * sizeof(WCHAR));
  MultiByteToWideChar(CP_ACP, 0, full, -1, info->FileName + 4, wide);
  info->FileNameLength = static_cast<DWORD>((4 + wide - 1) * sizeof(WCHAR));
  const BOOL renamed = SetFileInformationByHandle(ToHandle(file), FileRenameInfo, info, static_cast<DWORD>(bytes));
  HeapFree(GetProcessHeap(), 0, info);
  if (!renamed) {
    // A name that exists is reported as the rename of a path onto it would.
    const DWORD code = GetLastError();
    return Fail(code == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : code);
  }
  SetLastError(saved);
  return true;
}

// The writer of a live temporary file denies deletion to everybody else.
bool PlatDeleteLeftover(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  return DeleteFileA(path) != FALSE;
}

bool PlatGetLastWriteTime(PlatFile file, uint64_t* fileTime) {
  if (!fileTime) return Fail(ERROR_INVALID_PARAMETER);
  FILETIME written;
  if (!GetFileTime(ToHandle(file), nullptr, nullptr, &written)) return false;
  *fileTime = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  return true;
}

bool PlatSetLastWriteTime(PlatFile file, uint64_t fileTime) {
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(fileTime);
  written.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  return SetFileTime(ToHandle(file), nullptr, nullptr, &written) != FALSE;
}

// ---------------------------------------------------------------------------
// Names.

bool PlatFileExists(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD saved = GetLastError();
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  SetLastError(saved);
  return true;
}

bool PlatDirectoryExists(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PlatCreateDirectory(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  return CreateDirectoryA(path, nullptr) != FALSE;
}

bool PlatDeleteFile(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  return DeleteFileA(path) != FALSE;
}

bool PlatMoveFile(const char* from, const char* to) {
  if (!from || !to) return Fail(ERROR_INVALID_PARAMETER);
  return MoveFileA(from, to) != FALSE;
}

// ---------------------------------------------------------------------------
// Directory search; "." and ".." are passed over.

static bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

static void CopyName(const WIN32_FIND_DATAA& data, char* name) {
  const size_t length = strnlen(data.cFileName, MAX_PATH - 1);
  std::memcpy(name, data.cFileName, length);
  name[length] = '\0';
}

PlatSearch PlatFindFirst(const char* pattern, char* name) {
  if (!pattern || !name) return Fail(ERROR_INVALID_PARAMETER), PLAT_NO_SEARCH;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return PLAT_NO_SEARCH;
  while (IsDotName(data.cFileName)) {
    if (!FindNextFileA(search, &data)) {
      FindClose(search);
      SetLastError(ERROR_FILE_NOT_FOUND);
      return PLAT_NO_SEARCH;
    }
  }
  CopyName(data, name);
  return reinterpret_cast<PlatSearch>(search);
}

bool PlatFindNext(PlatSearch search, char* name) {
  if (!name) return Fail(ERROR_INVALID_PARAMETER);
  WIN32_FIND_DATAA data;
  do {
    if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &data)) return false;
  } while (IsDotName(data.cFileName));
  CopyName(data, name);
  return true;
}

void PlatFindClose(PlatSearch search) {
  if (search != PLAT_NO_SEARCH) FindClose(reinterpret_cast<HANDLE>(search));
}

// ---------------------------------------------------------------------------
// Process.

uint32_t PlatGetCurrentDirectory(char* buffer, uint32_t size) {
  if (!buffer || size == 0) return Fail(ERROR_INVALID_PARAMETER), 0;
  const DWORD length = GetCurrentDirectoryA(size, buffer);
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    if (length >= size) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return length;
}

bool PlatSetCurrentDirectory(const char* path) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  return SetCurrentDirectoryA(path) != FALSE;
}

uint32_t PlatGetModulePath(char* buffer, uint32_t size) {
  if (!buffer || size == 0) return Fail(ERROR_INVALID_PARAMETER), 0;
  const DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    if (length >= size) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return length;
}

void PlatExitProcess(uint32_t code) {
  fflush(nullptr);
  ExitProcess(code);
}

uint32_t PlatGetProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  uint32_t count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
    for (; process != 0; process &= process - 1) ++count;
  return count > 0 ? count : 1;
}

uint32_t PlatGetProcessId() { return GetCurrentProcessId(); }

// A standard handle that a caller gave as a file or a pipe; null for a
// console, the NUL device or none.
static HANDLE RedirectedHandle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD type = GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE ? handle : nullptr;
}

static bool WriteAll(HANDLE handle, const char* text, uint32_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, text, size, &written, nullptr)) return false;
    if (written == 0) return Fail(ERROR_DISK_FULL);
    text += written;
    size -= written;
  }
  return true;
}

bool PlatWriteStandardOutput(const char* text, uint32_t size) {
  if (!text && size != 0) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD saved = GetLastError();
  const HANDLE output = RedirectedHandle(STD_OUTPUT_HANDLE);
  if (output && !WriteAll(output, text, size)) return false;
  SetLastError(saved);
  return true;
}

void PlatWriteStandardError(const char* text) {
  if (!text) return;
  const DWORD saved = GetLastError();
  if (const HANDLE error = RedirectedHandle(STD_ERROR_HANDLE))
    WriteAll(error, text, static_cast<uint32_t>(std::strlen(text)));
  SetLastError(saved);
}

// A program with a window learns of an end through its messages; there is
// nothing to catch here.
intptr_t PlatCatchEndRequests() { return -1; }

bool PlatEndRequested() { return false; }

// ---------------------------------------------------------------------------
// INI files, through the profile-file reader.

// A list cut at size - 2 characters gets both its terminators here: Wine's
// section-name reader writes only the first. A list, cut or not, is no
// failure, so the code the reader set on the way (Wine sets 0, or
// ERROR_INSUFFICIENT_BUFFER for a cut section) is dropped.
static uint32_t EndList(uint32_t count, char* buffer, uint32_t size, DWORD saved) {
  if (count == size - 2) {
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
  }
  if (count != 0) SetLastError(saved);
  return count;
}

uint32_t PlatReadIniSectionNames(const char* iniPath, char* buffer, uint32_t size) {
  if (!iniPath || !buffer || size < 2) return Fail(ERROR_INVALID_PARAMETER), 0;
  const DWORD saved = GetLastError();
  return EndList(GetPrivateProfileSectionNamesA(buffer, size, iniPath), buffer, size, saved);
}

uint32_t PlatReadIniSection(const char* iniPath, const char* section, char* buffer, uint32_t size) {
  if (!iniPath || !section || !buffer || size < 2) return Fail(ERROR_INVALID_PARAMETER), 0;
  const DWORD saved = GetLastError();
  return EndList(GetPrivateProfileSectionA(section, buffer, size, iniPath), buffer, size, saved);
}

// ---------------------------------------------------------------------------
// Text.

uint32_t PlatGetErrorText(uint32_t code, char* buffer, uint32_t size) {
  if (!buffer || size == 0) return 0;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code, 0,
                     buffer, size, nullptr);
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

// The ANSI code page's upper case of every byte, built once.
unsigned char PlatFoldCase(unsigned char c) {
  static unsigned char table[256];
  static bool built = false;
  if (!built) {
    char letters[256];
    for (int i = 0; i < 256; ++i) letters[i] = static_cast<char>(i);
    CharUpperBuffA(letters + 1, 255);  // byte 0 stays 0
    for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(letters[i]);
    built = true;
  }
  return table[c];
}
