// Runs the Windows program in command-line mode on a folder and reports what
// its window shows once the run is over: the log pane's text goes to a file,
// then the window is closed. Exits with the program's exit code.
//
//   oskelt_wine_log PROGRAM FOLDER LOGFILE
//
// A run that ends the process by itself (a clean run) leaves LOGFILE empty.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static const int IDC_LOG = 1003;
static const int IDC_CONVERT = 1005;

struct Search {
  DWORD process;
  HWND found;
};

static BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char cls[64], caption[64];
  if (owner != search->process || !GetClassNameA(window, cls, sizeof cls)) return TRUE;
  GetWindowTextA(window, caption, sizeof caption);
  if (std::strcmp(cls, "#32770") == 0 && std::strcmp(caption, "OskeltZTEX 2.6") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

static std::string LogText(HWND dialog) {
  const HWND log = GetDlgItem(dialog, IDC_LOG);
  DWORD_PTR length = 0;
  if (!log || !SendMessageTimeoutA(log, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length))
    return std::string();
  std::vector<char> text(length + 2, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 3000, &got);
  return std::string(text.data(), got);
}

// The run is over once the summary is complete and Convert is enabled again.
static bool RunIsOver(HWND dialog) {
  const std::string text = LogText(dialog);
  const size_t errors = text.rfind("\r\n  Errors: ");
  if (errors == std::string::npos || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
  return IsWindowEnabled(GetDlgItem(dialog, IDC_CONVERT)) != FALSE;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: oskelt_wine_log PROGRAM FOLDER LOGFILE\n");
    return 2;
  }
  FILE* out = std::fopen(argv[3], "wb");
  if (!out) return 2;
  std::string line = std::string("\"") + argv[1] + "\" -C \"" + argv[2] + "\"";
  std::vector<char> command(line.begin(), line.end());
  command.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[2],
                      &startup, &child)) {
    std::fprintf(stderr, "cannot start %s (%lu)\n", argv[1], GetLastError());
    return 2;
  }
  const DWORD deadline = GetTickCount() + 120000;
  HWND dialog = nullptr;
  for (;;) {
    if (WaitForSingleObject(child.hProcess, 50) == WAIT_OBJECT_0) break;  // ended by itself
    if (GetTickCount() > deadline) {
      std::fprintf(stderr, "the run did not end in time\n");
      TerminateProcess(child.hProcess, 99);
      return 3;
    }
    if (!dialog) {
      Search search = {child.dwProcessId, nullptr};
      EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
      dialog = search.found;
    }
    if (dialog && RunIsOver(dialog)) {
      const std::string text = LogText(dialog);
      std::fwrite(text.data(), 1, text.size(), out);
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      WaitForSingleObject(child.hProcess, 20000);
      break;
    }
  }
  std::fclose(out);
  DWORD code = 99;
  GetExitCodeProcess(child.hProcess, &code);
  return static_cast<int>(code);
}
