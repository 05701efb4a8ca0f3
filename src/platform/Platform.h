// The operating-system layer: everything the core asks of the platform.
//
// Two implementations sit behind this header: Win32 (thin wrappers over the
// kernel calls) and POSIX (Linux). No other file of the core includes
// <windows.h> or a POSIX header.
//
// Conventions shared by every routine here:
// - Failure is a false / zero / invalid-handle result with the reason in the
//   calling thread's last-error code (Win32 numbering). A successful call
//   leaves the last-error code as it was.
// - Paths are 8-bit strings of at most 260 characters. Backslash is the
//   separator of every path the system builds; the POSIX layer also accepts
//   '/' and turns backslashes into '/' at the boundary.
// - On POSIX every path is looked up as on a file system that ignores letter
//   case and preserves it: each existing component is found without regard to
//   ASCII letter case (an exact match first, otherwise the first match in
//   upper-cased byte order); new components take the letter case given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LastError.h"

// Capacity of every path buffer: 260 characters plus the terminator.
enum { PLAT_MAX_PATH = 260, PLAT_PATH_BUFFER = 261 };

// ---------------------------------------------------------------------------
// Open files. A handle is an opaque value; PLAT_NO_FILE is "not open".
typedef intptr_t PlatFile;
const PlatFile PLAT_NO_FILE = -1;

// Opens an existing file for reading; others may read and write it meanwhile.
// A directory does not open.
PlatFile PlatOpenRead(const char* path);
// Creates a new, empty file for writing; others may only read it meanwhile.
// Fails with ERROR_FILE_EXISTS (80) when anything of that name exists.
PlatFile PlatCreateNew(const char* path);
bool PlatGetFileSize(PlatFile file, uint64_t* size);
bool PlatGetFilePosition(PlatFile file, uint64_t* position);
// Reads up to size bytes; *done receives the count read (0 at the end).
bool PlatRead(PlatFile file, void* buffer, uint32_t size, uint32_t* done);
// Reads up to size bytes from the given offset of the file; *done receives
// the count read (short only at the end of the file). Whether the file
// position moves is not defined: use positional reads or the position, not
// both.
bool PlatReadAt(PlatFile file, uint64_t offset, void* buffer, uint32_t size, uint32_t* done);
// Writes size bytes at the current position; *done receives the count written.
bool PlatWrite(PlatFile file, const void* buffer, uint32_t size, uint32_t* done);
void PlatClose(PlatFile file);

// A new file that takes the name `target` only when PlatPublishFile succeeds:
// until then nothing is at target. Where the system can, the file has no
// name at all, so a process that ends abruptly leaves nothing behind;
// elsewhere it is written under the name `temporary`, which the caller
// chooses in the target's folder, unique to its run, and removes with
// PlatDeleteFile when the file is not published. While the file is open its
// name is held: no other process can remove it (PlatDeleteLeftover refuses
// to). Opened for writing; others may only read it. Fails with
// ERROR_FILE_EXISTS when `temporary` or `target` exists (as the creation of
// a new file at the target would).
PlatFile PlatCreateTemporary(const char* target, const char* temporary);
// Gives the file of PlatCreateTemporary that the handle holds (the same two
// names) the name target: through the handle, never whatever bears the name
// `temporary` now. Never replaces anything: fails with ERROR_ALREADY_EXISTS
// when target exists in any letter case, and with ERROR_FILE_NOT_FOUND when
// the file lost its temporary name. A named file gives up its temporary name
// once it has the target's; a process that ends between the two leaves the
// temporary name for PlatDeleteLeftover. The file stays open either way.
bool PlatPublishFile(PlatFile file, const char* target, const char* temporary);
// Removes the named file of a PlatCreateTemporary whose writer has ended.
// Fails with ERROR_SHARING_VIOLATION, leaving the file as it is, while a
// live process holds it or when that cannot be told.
bool PlatDeleteLeftover(const char* path);
// The last-write time only, in 100 ns units since 1601-01-01 UTC (FILETIME).
bool PlatGetLastWriteTime(PlatFile file, uint64_t* fileTime);
bool PlatSetLastWriteTime(PlatFile file, uint64_t fileTime);
// Asks the file system to set aside room for the first size bytes of a file
// open for writing, so that writing them does not have to find it piece by
// piece; the file's size stays as it is (a file cut short never shows a tail
// of zeros). True when the room is set aside, and also where the file system
// or the system has no way to do it (nothing is done then); false with the
// code when the request fails (the disk is full, for instance). Advisory: the
// writes that follow decide.
bool PlatReserveFileSpace(PlatFile file, uint64_t size);

// ---------------------------------------------------------------------------
// Names in the file system.
bool PlatFileExists(const char* path);       // an existing file; a directory is not one
bool PlatDirectoryExists(const char* path);  // an existing directory (a trailing separator is allowed)
bool PlatCreateDirectory(const char* path);  // one level; fails with 183 when the name exists
bool PlatDeleteFile(const char* path);
// Renames a file or directory; never replaces an existing one (fails with 183).
// A rename onto the same name in other letter case changes the stored case.
bool PlatMoveFile(const char* from, const char* to);

// ---------------------------------------------------------------------------
// Directory search. The pattern's last component may hold '*' and '?' and
// matches without regard to letter case; matching directories are returned
// too, "." and ".." never. POSIX returns the names ordered by their bytes
// upper-cased (ASCII). Names are written into 261-byte buffers.
typedef intptr_t PlatSearch;
const PlatSearch PLAT_NO_SEARCH = -1;

// Starts a search and returns the first match, or PLAT_NO_SEARCH with
// ERROR_FILE_NOT_FOUND (nothing matches) or the failure of the folder lookup.
PlatSearch PlatFindFirst(const char* pattern, char* name);
// Next match; false with ERROR_NO_MORE_FILES at the end.
bool PlatFindNext(PlatSearch search, char* name);
void PlatFindClose(PlatSearch search);

// ---------------------------------------------------------------------------
// Process.
// Writes the current directory into buffer (size bytes with terminator) and
// returns its length, or 0 on failure (buffer empty then).
uint32_t PlatGetCurrentDirectory(char* buffer, uint32_t size);
bool PlatSetCurrentDirectory(const char* path);
// Full path of the running executable, as PlatGetCurrentDirectory.
uint32_t PlatGetModulePath(char* buffer, uint32_t size);
// Ends the process at once with the given exit code (output is flushed).
[[noreturn]] void PlatExitProcess(uint32_t code);
// The number of processor cores the process may run on; at least 1.
uint32_t PlatGetProcessorCount();
// The process's id.
uint32_t PlatGetProcessId();

// Standard output and error, for the log of a run that scripts read. Text
// is written with "\r\n" line ends, which the POSIX layer writes as "\n".
// Writes all size bytes of text to standard output; true without writing
// where the process has no file or pipe there (Win32: a console, or none).
// Fails with ERROR_BROKEN_PIPE (or ERROR_NO_DATA) when its reader has gone,
// with ERROR_OPERATION_ABORTED when a caught request to end the process
// came while the output took nothing (what it did not take is dropped), and
// with the system's code otherwise.
bool PlatWriteStandardOutput(const char* text, uint32_t size);
// One message for the user on standard error, where there is one.
void PlatWriteStandardError(const char* text);

// From the call on, a request from outside to end the process (POSIX:
// SIGINT, SIGTERM, SIGHUP) no longer ends it at once but is kept for the
// program to act on at a safe point; a second request ends it as before. A
// write to a pipe whose reader has gone, or beyond the file size limit, fails
// with an error code instead of ending the process (SIGPIPE and SIGXFSZ are
// ignored). Returns a descriptor that becomes readable when a request has
// arrived, for an event loop to watch; -1 where the platform has none.
intptr_t PlatCatchEndRequests();
// True once a caught request to end the process has arrived.
bool PlatEndRequested();

// ---------------------------------------------------------------------------
// INI files, as the profile-file reader delivers them: a list of
// null-terminated strings ended by an empty string. The result is the number
// of characters written without the final terminator; 0 for a missing file,
// no sections, or a section without lines. Nothing beyond size is written.
// A list that does not fit whole with its final terminator is cut as the
// Windows profile functions cut it: the buffer holds the list's first
// size - 2 characters (the last string cut short) and two terminators, and
// the result is size - 2. Since a list of exactly size - 2 characters gives
// that result as well, size - 2 means "perhaps cut": read again with a
// larger buffer.
uint32_t PlatReadIniSectionNames(const char* iniPath, char* buffer, uint32_t size);
uint32_t PlatReadIniSection(const char* iniPath, const char* section, char* buffer, uint32_t size);

// ---------------------------------------------------------------------------
// Text.
// One-line description of an error code; returns its length, 0 when the
// platform has none. The text may end in a line break.
uint32_t PlatGetErrorText(uint32_t code, char* buffer, uint32_t size);
// The one letter-case folding used wherever names compare without regard to
// case (ASCII on POSIX, the ANSI code page on Windows).
unsigned char PlatFoldCase(unsigned char c);
