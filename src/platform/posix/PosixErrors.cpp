// The thread's last-error code, the Win32 codes of errno values, the texts of
// the codes, and the ASCII letter-case folding of the POSIX layer.
#include <errno.h>

#include <cstring>

#include "Platform.h"
#include "PosixInternal.h"

namespace posix {

thread_local uint32_t LastError = ERROR_SUCCESS;

bool Fail(uint32_t code) {
  LastError = code;
  return false;
}

struct ErrnoCode {
  int error;
  uint32_t code;
};

// The nearest Win32 code for each errno value the layer can meet.
static const ErrnoCode ERRNO_CODES[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_BUSY},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {ENOLCK, ERROR_LOCK_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EIO, ERROR_IO_DEVICE},
    {ENXIO, ERROR_IO_DEVICE},
    {ENODEV, ERROR_IO_DEVICE},
    {ESTALE, ERROR_IO_DEVICE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EOVERFLOW, ERROR_INVALID_PARAMETER},
    {ESPIPE, ERROR_INVALID_FUNCTION},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EPIPE, ERROR_BROKEN_PIPE},
};

uint32_t CodeFromErrno(int error) {
  for (const ErrnoCode& e : ERRNO_CODES)
    if (e.error == error) return e.code;
  return ERROR_IO_DEVICE;
}

bool FailErrno() { return Fail(CodeFromErrno(errno)); }

uint32_t CopyOut(const char* text, size_t length, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  if (length + 1 > size) {
    buffer[0] = '\0';
    return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
  }
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

unsigned char UpperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

int CompareFolded(const char* a, size_t an, const char* b, size_t bn) {
  const size_t n = an < bn ? an : bn;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return an < bn ? -1 : an > bn ? 1 : 0;
}

int CompareFolded(const std::string& a, const std::string& b) {
  return CompareFolded(a.data(), a.size(), b.data(), b.size());
}

std::string UpperName(const std::string& name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(UpperAscii(c));
  return upper;
}

}  // namespace posix

using namespace posix;

uint32_t PlatGetLastError() { return LastError; }
void PlatSetLastError(uint32_t code) { LastError = code; }

// Test hook.
uint32_t PlatPosixCodeFromErrno(int error) { return CodeFromErrno(error); }

struct ErrorText {
  uint32_t code;
  const char* text;
};

static const ErrorText ERROR_TEXTS[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "The operation does not apply to this object."},
    {ERROR_FILE_NOT_FOUND, "The file cannot be found."},
    {ERROR_PATH_NOT_FOUND, "The folder path cannot be found."},
    {ERROR_TOO_MANY_OPEN_FILES, "Too many files are open at once."},
    {ERROR_ACCESS_DENIED, "Access to the file or folder is denied."},
    {ERROR_INVALID_HANDLE, "The file handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory to complete the operation."},
    {ERROR_OUTOFMEMORY, "The system ran out of memory."},
    {ERROR_NOT_SAME_DEVICE, "The file cannot be moved to another drive."},
    {ERROR_NO_MORE_FILES, "No more files match."},
    {ERROR_WRITE_PROTECT, "The medium is write-protected."},
    {ERROR_SHARING_VIOLATION, "The file is in use by another process."},
    {ERROR_LOCK_VIOLATION, "The file is locked by another process."},
    {ERROR_HANDLE_EOF, "The end of the file was reached."},
    {ERROR_NOT_SUPPORTED, "The operation is not supported."},
    {ERROR_FILE_EXISTS, "The file exists already."},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
    {ERROR_BROKEN_PIPE, "The pipe has been closed."},
    {ERROR_DISK_FULL, "The disk is full."},
    {ERROR_CALL_NOT_IMPLEMENTED, "The function is not available on this system."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the data."},
    {ERROR_INVALID_NAME, "The file name, folder name or path is not valid."},
    {ERROR_DIR_NOT_EMPTY, "The folder is not empty."},
    {ERROR_BUSY, "The resource is busy."},
    {ERROR_ALREADY_EXISTS, "A file or folder of that name exists already."},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long."},
    {ERROR_FILE_TOO_LARGE, "The file has reached the size limit set for it."},
    {ERROR_NO_DATA, "The pipe is being closed."},
    {ERROR_DIRECTORY, "The name is not a folder."},
    {ERROR_MR_MID_NOT_FOUND, "No text is known for this error number."},
    {ERROR_OPERATION_ABORTED, "The operation was given up because the program is ending."},
    {ERROR_IO_DEVICE, "A device input/output error stopped the operation."},
    {ERROR_FILE_CORRUPT, "The file is damaged and cannot be read."},
    {ERROR_INVALID_DATATYPE, "The data is not of a supported type."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name cannot be resolved: too many symbolic links."},
    {ERROR_INVALID_PIXEL_FORMAT, "The pixel format is not supported."},
};

uint32_t PlatGetErrorText(uint32_t code, char* buffer, uint32_t size) {
  for (const ErrorText& e : ERROR_TEXTS)
    if (e.code == code) return CopyOut(e.text, std::strlen(e.text), buffer, size);
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return Fail(ERROR_MR_MID_NOT_FOUND), 0;
}

unsigned char PlatFoldCase(unsigned char c) { return UpperAscii(c); }
