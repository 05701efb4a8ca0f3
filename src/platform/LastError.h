// The last-error convention of the whole program: the Win32 codes it sets
// and meets, the 32-bit boolean of the decode entries, and the thread's
// last-error code with the one-expression failure helper. The texture core
// needs this and nothing else of the operating-system layer; Platform.h
// includes it for everyone else.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <winerror.h>  // the platform's own definitions of the codes below
#else
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_NO_DATA 232L
#define ERROR_DIRECTORY 267L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_DEVICE 1117L
#define ERROR_FILE_CORRUPT 1392L
#define ERROR_CANT_RESOLVE_FILENAME 1921L
#define ERROR_INVALID_DATATYPE 1804L
#define ERROR_INVALID_PIXEL_FORMAT 2000L
#endif

// A 32-bit boolean as the decode entries return it: all bits set for true,
// zero for false. Callers test only for zero or non-zero.
typedef int32_t Bool32;
const Bool32 BOOL32_TRUE = -1;
const Bool32 BOOL32_FALSE = 0;

// The thread's last-error code.
uint32_t PlatGetLastError();
void PlatSetLastError(uint32_t code);
// Sets the last-error code and gives the failure value of the caller's
// result type: `return PlatFail(ERROR_INVALID_PARAMETER);` returns false,
// `return PlatFail<uint32_t>(...)` returns 0.
template <typename Result = bool>
inline Result PlatFail(uint32_t code) {
  PlatSetLastError(code);
  return Result();
}
