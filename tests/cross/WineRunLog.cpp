// Runs the Windows program in command-line mode on a folder and reports what
// its window shows once the run is over: the log pane's text goes to a file,
// then the window is closed. Exits with the program's exit code.
//
//   oskelt_wine_log PROGRAM FOLDER LOGFILE
//
// A run that ends the process by itself (a clean run) leaves LOGFILE empty.
#include "WineDriver.h"

#include <cstdio>
#include <string>

using namespace wine_dialog;

static const int IDC_LOG = 1003;
static const int IDC_CONVERT = 1005;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: oskelt_wine_log PROGRAM FOLDER LOGFILE\n");
    return 2;
  }
  FILE* out = std::fopen(argv[3], "wb");
  if (!out) return 2;
  const std::string folder = argv[2];
  Child program;
  if (!program.Start(argv[1], "-C \"" + folder + "\"", folder)) {
    std::fprintf(stderr, "cannot start %s (%lu)\n", argv[1], GetLastError());
    return 2;
  }
  // Over when the process has ended by itself, or when the log ends with a
  // complete summary and Convert is enabled again.
  HWND dialog = nullptr;
  std::string log;
  const bool over = PollUntil(
      [&] {
        if (!program.Running()) return true;
        if (!dialog) dialog = WaitDialogWindow(program.Pid(), "OskeltZTEX 2.6", nullptr, 0);
        return dialog && WindowText(GetDlgItem(dialog, IDC_LOG), &log) && HasCompleteSummary(log) &&
               IsEnabled(dialog, IDC_CONVERT);
      },
      120000, 50);
  if (!over) {
    std::fprintf(stderr, "the run did not end in time\n");
    return 3;  // the child is ended with the driver's Child
  }
  if (program.Running()) {
    std::fwrite(log.data(), 1, log.size(), out);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  }
  std::fclose(out);
  DWORD code = 99;
  program.WaitExit(&code);
  return static_cast<int>(code);
}
