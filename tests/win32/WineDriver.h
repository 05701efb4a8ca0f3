// Drives the real OskeltZTEX.exe from a second process: its fixtures in
// temporary folders, the child process, and dialog 101 and its message boxes
// through window messages. Every wait is a poll with a timeout.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wine_dialog {

// Generous: a run, a box or a process end takes well under a second here.
constexpr DWORD WAIT_MS = 20000;

// Calls done every intervalMs milliseconds until it returns true (then
// true) or the time is up (then false).
bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs = WAIT_MS, DWORD intervalMs = 10);

// ---- Files -----------------------------------------------------------------

// A fresh folder below the temporary folder, removed with all its contents.
class TempFolder {
 public:
  explicit TempFolder(const char* tag);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // Path joined with a relative path below it.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

void MakeFolders(const std::string& path);  // every missing folder of path
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A file that must not exist yet (CREATE_NEW), with these bytes.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes);
bool FileExists(const std::string& path);
// True when a name in the folder matches the pattern's last component.
bool AnyFileMatches(const std::string& pattern);
bool FolderExists(const std::string& path);
// The name of the file on disk, as the folder lists it ("" when missing).
std::string NameOnDisk(const std::string& path);
bool SetLastWriteTime(const std::string& path, const FILETIME& time);
bool GetLastWriteTime(const std::string& path, FILETIME* time);
// Every file below folder, as paths relative to it, sorted; the folders
// named in except are left out with everything below them.
std::vector<std::string> FilesBelow(const std::string& folder,
                                    const std::vector<std::string>& except = {});

// A ZTEX texture of one level in 32-bit ARGB, with pixels that differ from
// row to row and from texture to texture (seed).
std::vector<uint8_t> ArgbTexture(uint32_t width, uint32_t height, uint32_t seed);
// A file that is no texture: its first four bytes are not the signature.
std::vector<uint8_t> NotATexture();
// The TGA file that ArgbTexture(width, height, seed) converts into.
std::vector<uint8_t> ExpectedTga(uint32_t width, uint32_t height, uint32_t seed);

// ---- The program -----------------------------------------------------------

// The built OskeltZTEX.exe, as a Windows path.
std::string ProgramPath();

// A child process; one that is still running when this ends is terminated.
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // exe with the parameters as they follow the program name on the command
  // line, started in the folder cwd. Its standard output is output (an
  // inheritable handle) when one is given; otherwise the process has no
  // standard handles at all, as a program started from the desktop.
  bool Start(const std::string& exe, const std::string& params, const std::string& cwd,
             HANDLE output = nullptr);
  DWORD Pid() const { return info_.dwProcessId; }
  bool Running() const;
  // Waits for the end of the process; false when it is still running.
  bool WaitExit(DWORD* code, DWORD timeoutMs = WAIT_MS);
  // Holds the main thread, where the program runs its dialog and its runs,
  // and returns once it has stopped; Resume lets it go on.
  bool Suspend();
  bool Resume();
  // Ends the process at once, as a task manager does, and waits for its end.
  bool Terminate();

 private:
  PROCESS_INFORMATION info_{};
};

// Success when the process ends within the timeout with exit code expected;
// otherwise says whether it was still running or which code it gave.
::testing::AssertionResult EndsWithCode(Child& child, DWORD expected);

// A file for a child's standard output: created empty, and open for
// writing through an inheritable handle for Child::Start (closed by the
// caller). The file can be read while the child writes it.
HANDLE CreateOutputFile(const std::string& path);

// A pipe for a child's standard output, read from this end without waiting.
class OutputPipe {
 public:
  OutputPipe();
  ~OutputPipe();
  OutputPipe(const OutputPipe&) = delete;
  OutputPipe& operator=(const OutputPipe&) = delete;
  bool Ok() const { return read_ && write_; }
  // The writing end, inheritable, for Child::Start.
  HANDLE WriteEnd() const { return write_; }
  // Once the child has started: then the child holds the only writing end,
  // and the pipe ends when the child does.
  void CloseWriteEnd();
  // The reader goes away: the child's writes fail from now on.
  void CloseReadEnd();
  // Appends what has arrived to text; false once the pipe has ended (every
  // writing end closed) and nothing more is there.
  bool ReadAvailable(std::string* text);

 private:
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};

// ---- Windows of the child --------------------------------------------------

// A visible top-level dialog-class window of the process whose caption is
// caption and that is not except; 0 after the timeout.
HWND WaitDialogWindow(DWORD pid, const std::string& caption, HWND except = nullptr,
                      DWORD timeoutMs = WAIT_MS);
// Dialog 101, once it is shown.
HWND WaitMainDialog(const Child& child);
// True when the process still has a visible window of that caption.
bool HasDialogWindow(DWORD pid, const std::string& caption, HWND except = nullptr);

// The text of a window, asked for with WM_GETTEXTLENGTH and WM_GETTEXT;
// fails (false) when the window does not answer.
bool WindowText(HWND window, std::string* text);
std::string WindowText(HWND window);  // "" when it does not answer
std::string ControlText(HWND dialog, int id);
std::string ClassOf(HWND window);
bool IsEnabled(HWND dialog, int id);
// The progress bar's range and position; false when it does not answer.
bool ProgressOf(HWND dialog, long* low, long* high, long* position);
// The enabled states, the progress bar and the log's length, for messages.
std::string Describe(HWND dialog);

// The controls' states seen while a run over matches textures was active.
struct RunState {
  bool Browse, Convert, Exit, Info;
};
// Waits until a run is past its start (the progress bar has the range of
// the match count, matches > 1) and reads the states; they count only when
// the range is still the run's after they were read.
bool WaitRunActive(HWND dialog, long matches, RunState* state);

// A click on a button as the button itself reports it.
bool Click(HWND dialog, int id);
// True when this system gives a file the new letter case of a rename onto
// its own name in other case (Wine keeps the stored case).
bool RenameChangesLetterCase();

// The text of a message box and a click on one of its buttons.
std::string BoxText(HWND box);
bool AnswerBox(HWND box, int buttonId);

// The caption that a message box without caption gets on this system.
std::string DefaultBoxTitle();
// The text that the log shows for a system error code: the system's message
// with every character below 0x21 turned into a blank.
std::string LogMessageOf(DWORD code);

// The summary that closes a run's log.
std::string Summary(const std::string& processed, const std::string& skipped,
                    const std::string& errors);
// The log text, once it ends with a complete summary.
bool WaitLogWithSummary(HWND dialog, std::string* log, DWORD timeoutMs = WAIT_MS);
bool HasCompleteSummary(const std::string& log);

}  // namespace wine_dialog
