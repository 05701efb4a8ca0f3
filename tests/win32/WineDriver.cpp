#include "WineDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

namespace wine_dialog {

bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD intervalMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(intervalMs);
  }
}

// ---- Files -----------------------------------------------------------------

TempFolder::TempFolder(const char* tag) {
  char temp[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  std::string base = length ? std::string(temp, length) : std::string("C:\\");
  if (base.back() != '\\') base += '\\';
  // Short names: the long-log scenario puts long file names below this.
  for (unsigned n = GetCurrentProcessId() % 1000;; ++n) {
    const std::string candidate = base + "ow" + tag + std::to_string(n);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return;
  }
}

static void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

TempFolder::~TempFolder() {
  if (!path_.empty()) RemoveTree(path_);
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

static bool WriteWith(const std::string& path, const std::vector<uint8_t>& bytes, DWORD disposition) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = bytes.empty() ||
                  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteWith(path, bytes, CREATE_ALWAYS);
}

bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteWith(path, bytes, CREATE_NEW);
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(file, nullptr);
  bytes->assign(size, 0);
  DWORD read = 0;
  const BOOL ok = size == 0 || ReadFile(file, bytes->data(), size, &read, nullptr);
  CloseHandle(file);
  return ok && read == size;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool AnyFileMatches(const std::string& pattern) {
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string NameOnDisk(const std::string& path) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return "";
  FindClose(search);
  return found.cFileName;
}

bool SetLastWriteTime(const std::string& path, const FILETIME& time) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  return ok != FALSE;
}

bool GetLastWriteTime(const std::string& path, FILETIME* time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *time = data.ftLastWriteTime;
  return true;
}

static void ListFiles(const std::string& folder, const std::string& prefix,
                      const std::vector<std::string>& except, std::vector<std::string>* files) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string relative = prefix + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bool skip = false;
      for (const std::string& left : except) skip = skip || lstrcmpiA(left.c_str(), relative.c_str()) == 0;
      if (!skip) ListFiles(folder + "\\" + name, relative + "\\", except, files);
    } else {
      files->push_back(relative);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> FilesBelow(const std::string& folder, const std::vector<std::string>& except) {
  std::vector<std::string> files;
  ListFiles(folder, "", except, &files);
  std::sort(files.begin(), files.end());
  return files;
}

static void Put32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Level 0 as stored: per pixel the bytes of a little-endian ARGB word, which
// are blue, green, red and alpha in that order.
static std::vector<uint8_t> ArgbPixels(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint8_t> pixels;
  pixels.reserve(static_cast<size_t>(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      pixels.push_back(static_cast<uint8_t>(x * 17 + seed));
      pixels.push_back(static_cast<uint8_t>(y * 29 + (seed >> 8)));
      pixels.push_back(static_cast<uint8_t>(x ^ y ^ (seed >> 16)));
      pixels.push_back(static_cast<uint8_t>(0x40 + y));
    }
  return pixels;
}

std::vector<uint8_t> ArgbTexture(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint8_t> file = {'Z', 'T', 'E', 'X'};
  Put32(&file, 0);       // reserved
  Put32(&file, 9);       // 32-bit ARGB
  Put32(&file, width);
  Put32(&file, height);
  Put32(&file, 1);       // level 0 only
  Put32(&file, 0);
  Put32(&file, 0);
  Put32(&file, 0);
  const std::vector<uint8_t> pixels = ArgbPixels(width, height, seed);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

std::vector<uint8_t> NotATexture() {
  std::vector<uint8_t> file = ArgbTexture(4, 4, 0);
  std::memcpy(file.data(), "XTEZ", 4);
  return file;
}

std::vector<uint8_t> ExpectedTga(uint32_t width, uint32_t height, uint32_t seed) {
  std::vector<uint8_t> tga(18, 0);
  tga[2] = 2;
  tga[12] = static_cast<uint8_t>(width);
  tga[13] = static_cast<uint8_t>(width >> 8);
  tga[14] = static_cast<uint8_t>(height);
  tga[15] = static_cast<uint8_t>(height >> 8);
  tga[16] = 32;
  tga[17] = 8;
  const std::vector<uint8_t> pixels = ArgbPixels(width, height, seed);
  const size_t row = static_cast<size_t>(width) * 4;
  for (uint32_t y = height; y-- > 0;)
    tga.insert(tga.end(), pixels.begin() + y * row, pixels.begin() + (y + 1) * row);
  tga.insert(tga.end(), 8, 0);
  static const char signature[] = "TRUEVISION-XFILE.";
  tga.insert(tga.end(), signature, signature + sizeof signature);  // with its zero byte
  return tga;
}

// ---- The program -----------------------------------------------------------

std::string ProgramPath() {
  std::string path = OSKELT_PROGRAM;
  // The build gives a host path; drive Z: is the host's root under Wine.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

Child::~Child() {
  if (!info_.hProcess) return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, WAIT_MS);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool Child::Start(const std::string& exe, const std::string& params, const std::string& cwd,
                  HANDLE output) {
  std::string line = "\"" + exe + "\"";
  if (!params.empty()) line += " " + params;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  // Always the handles given here: without them Wine would hand the child
  // this process's own standard handles.
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  return CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, output ? TRUE : FALSE, 0,
                        nullptr, cwd.c_str(), &startup, &info_) != FALSE;
}

bool Child::Suspend() {
  if (!info_.hThread || SuspendThread(info_.hThread) == static_cast<DWORD>(-1)) return false;
  // SuspendThread only asks; the context is there once the thread has stopped.
  CONTEXT context;
  ZeroMemory(&context, sizeof context);
  context.ContextFlags = CONTEXT_CONTROL;
  return GetThreadContext(info_.hThread, &context) != FALSE;
}

bool Child::Resume() {
  return info_.hThread && ResumeThread(info_.hThread) != static_cast<DWORD>(-1);
}

bool Child::Terminate() {
  return info_.hProcess && TerminateProcess(info_.hProcess, 99) &&
         WaitForSingleObject(info_.hProcess, WAIT_MS) == WAIT_OBJECT_0;
}

bool Child::Running() const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Child::WaitExit(DWORD* code, DWORD timeoutMs) {
  if (!info_.hProcess || WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
    return false;
  return GetExitCodeProcess(info_.hProcess, code) != FALSE;
}

::testing::AssertionResult EndsWithCode(Child& child, DWORD expected) {
  DWORD code = 99;
  if (!child.WaitExit(&code))
    return ::testing::AssertionFailure() << "the process is still running";
  if (code != expected)
    return ::testing::AssertionFailure() << "exit code " << code << ", expected " << expected;
  return ::testing::AssertionSuccess();
}

HANDLE CreateOutputFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

OutputPipe::OutputPipe() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  // Room for a whole log: with Wine's default a write waits until this end
  // has read it, which would tie the child's pace to the polls.
  if (!CreatePipe(&read_, &write_, &inherit, 1 << 20)) {
    read_ = write_ = nullptr;
    return;
  }
  SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
}

OutputPipe::~OutputPipe() {
  CloseReadEnd();
  CloseWriteEnd();
}

void OutputPipe::CloseWriteEnd() {
  if (write_) CloseHandle(write_);
  write_ = nullptr;
}

void OutputPipe::CloseReadEnd() {
  if (read_) CloseHandle(read_);
  read_ = nullptr;
}

bool OutputPipe::ReadAvailable(std::string* text) {
  for (;;) {
    DWORD available = 0;
    if (!read_ || !PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    std::vector<char> buffer(available);
    DWORD got = 0;
    if (!ReadFile(read_, buffer.data(), available, &got, nullptr)) return false;
    text->append(buffer.data(), got);
  }
}

// ---- Windows of the child --------------------------------------------------

std::string ClassOf(HWND window) {
  char name[256];
  const int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? length : 0);
}

struct WindowSearch {
  DWORD pid;
  const std::string* caption;
  HWND except;
  HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  WindowSearch& search = *reinterpret_cast<WindowSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search.pid || window == search.except || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != "#32770") return TRUE;
  char caption[256];
  const int length = GetWindowTextA(window, caption, sizeof caption);
  if (std::string(caption, length > 0 ? length : 0) != *search.caption) return TRUE;
  search.found = window;
  return FALSE;
}

bool HasDialogWindow(DWORD pid, const std::string& caption, HWND except) {
  WindowSearch search = {pid, &caption, except, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found != nullptr;
}

HWND WaitDialogWindow(DWORD pid, const std::string& caption, HWND except, DWORD timeoutMs) {
  WindowSearch search = {pid, &caption, except, nullptr};
  PollUntil(
      [&] {
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

HWND WaitMainDialog(const Child& child) { return WaitDialogWindow(child.Pid(), "OskeltZTEX 2.6"); }

bool WindowText(HWND window, std::string* text) {
  DWORD_PTR length = 0;
  if (!window || !SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length))
    return false;
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 3000, &copied))
    return false;
  text->assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
  return true;
}

std::string WindowText(HWND window) {
  std::string text;
  return WindowText(window, &text) ? text : std::string();
}

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool IsEnabled(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  return control && IsWindowEnabled(control);
}

bool ProgressOf(HWND dialog, long* low, long* high, long* position) {
  const HWND bar = GetDlgItem(dialog, 1008);
  DWORD_PTR lo = 0, hi = 0, pos = 0;
  if (!bar || !SendMessageTimeoutA(bar, PBM_GETRANGE, TRUE, 0, SMTO_ABORTIFHUNG, 3000, &lo) ||
      !SendMessageTimeoutA(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 3000, &hi) ||
      !SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 3000, &pos))
    return false;
  *low = static_cast<long>(lo);
  *high = static_cast<long>(hi);
  *position = static_cast<long>(pos);
  return true;
}

std::string Describe(HWND dialog) {
  long low = -1, high = -1, position = -1;
  ProgressOf(dialog, &low, &high, &position);
  DWORD_PTR length = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, 1003), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length);
  return "progress " + std::to_string(low) + ".." + std::to_string(high) + " at " +
         std::to_string(position) + "; enabled: browse " + std::to_string(IsEnabled(dialog, 1002)) +
         ", convert " + std::to_string(IsEnabled(dialog, 1005)) + ", exit " +
         std::to_string(IsEnabled(dialog, 1006)) + ", info " + std::to_string(IsEnabled(dialog, 1004)) +
         "; log length " + std::to_string(length);
}

bool WaitRunActive(HWND dialog, long matches, RunState* state) {
  const auto inRun = [&] {
    long low = 0, high = 0, position = 0;
    return ProgressOf(dialog, &low, &high, &position) && low == 0 && high == matches;
  };
  return PollUntil([&] {
    if (!inRun()) return false;
    state->Browse = IsEnabled(dialog, 1002);
    state->Convert = IsEnabled(dialog, 1005);
    state->Exit = IsEnabled(dialog, 1006);
    state->Info = IsEnabled(dialog, 1004);
    return inRun();
  });
}

bool RenameChangesLetterCase() {
  static int known = -1;
  if (known >= 0) return known == 1;
  TempFolder folder("q");
  const std::string path = folder / "probe.tmp";
  WriteBytes(path, {1});
  MoveFileA(path.c_str(), (folder / "PROBE.tmp").c_str());
  known = NameOnDisk(folder / "probe.tmp") == "PROBE.tmp" ? 1 : 0;
  return known == 1;
}

bool Click(HWND dialog, int id) {
  // Posted: a run happens inside the click's handler, so a sent click would
  // hold this process until the run ends.
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))) != FALSE;
}

std::string BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

bool AnswerBox(HWND box, int buttonId) { return Click(box, buttonId); }

// Shows a box without caption on a thread of this process, so that the
// system's own default title can be read off it.
static DWORD WINAPI ShowProbeBox(void*) {
  MessageBoxA(nullptr, "caption probe", nullptr, MB_OK);
  return 0;
}

struct ProbeSearch {
  HWND found;
};

static BOOL CALLBACK MatchProbe(HWND window, LPARAM context) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window) || ClassOf(window) != "#32770")
    return TRUE;
  char text[64] = "";
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  if (std::strcmp(text, "caption probe") != 0) return TRUE;
  reinterpret_cast<ProbeSearch*>(context)->found = window;
  return FALSE;
}

std::string DefaultBoxTitle() {
  static std::string title;
  static bool known = false;
  if (known) return title;
  const HANDLE thread = CreateThread(nullptr, 0, ShowProbeBox, nullptr, 0, nullptr);
  if (!thread) return "";
  ProbeSearch search = {nullptr};
  PollUntil([&] {
    EnumWindows(MatchProbe, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (search.found) {
    char caption[256] = "";
    GetWindowTextA(search.found, caption, sizeof caption);
    title = caption;
    known = true;
    AnswerBox(search.found, IDOK);
  }
  WaitForSingleObject(thread, WAIT_MS);
  CloseHandle(thread);
  return title;
}

std::string LogMessageOf(DWORD code) {
  char message[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                      nullptr, code, 0, message, sizeof message, nullptr);
  std::string text(message, length < sizeof message ? length : 0);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x21) c = ' ';
  return text;
}

std::string Summary(const std::string& processed, const std::string& skipped,
                    const std::string& errors) {
  return "\r\n\r\nSummary:\r\n  Processed: " + processed + "\r\n  Skipped: " + skipped +
         "\r\n  Errors: " + errors + "\r\n";
}

bool HasCompleteSummary(const std::string& log) {
  // The summary comes in pieces: complete once the last count is followed
  // by the closing line break.
  const size_t summary = log.rfind("\r\n\r\nSummary:\r\n  Processed: ");
  if (summary == std::string::npos) return false;
  const size_t errors = log.find("\r\n  Errors: ", summary);
  if (errors == std::string::npos) return false;
  const size_t digits = errors + std::strlen("\r\n  Errors: ");
  const size_t end = log.find_first_not_of("0123456789,", digits);
  return end != digits && end != std::string::npos && log.compare(end, std::string::npos, "\r\n") == 0;
}

bool WaitLogWithSummary(HWND dialog, std::string* log, DWORD timeoutMs) {
  const HWND pane = GetDlgItem(dialog, 1003);
  // Not too often: a long log is a large copy each time.
  return PollUntil([&] { return WindowText(pane, log) && HasCompleteSummary(*log); }, timeoutMs, 100);
}

}  // namespace wine_dialog
