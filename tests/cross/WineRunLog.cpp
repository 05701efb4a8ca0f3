// Runs the Windows program in command-line mode on a folder and reports what
// its window shows once the run is over: the log pane's text goes to a file,
// then the window is closed. Exits with the program's exit code.
//
//   oskelt_wine_log PROGRAM FOLDER LOGFILE [OUTPUT SNAPSHOT]
//
// A run that ends the process by itself (a clean run) leaves LOGFILE empty.
// With OUTPUT the program's standard output is that file; SNAPSHOT then gets
// a copy of it taken while the window was still open after the run (empty
// when the process ended by itself).
#include "WineDriver.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace wine_dialog;

static const int IDC_LOG = 1003;
static const int IDC_CONVERT = 1005;

static bool WriteText(const char* path, const std::string& text) {
  return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::fprintf(stderr, "usage: oskelt_wine_log PROGRAM FOLDER LOGFILE [OUTPUT SNAPSHOT]\n");
    return 2;
  }
  const bool withOutput = argc == 6;
  HANDLE output = nullptr;
  if (withOutput && !(output = CreateOutputFile(argv[4]))) {
    std::fprintf(stderr, "cannot create %s (%lu)\n", argv[4], GetLastError());
    return 2;
  }
  const std::string folder = argv[2];
  Child program;
  const bool started = program.Start(argv[1], "-C \"" + folder + "\"", folder, output);
  if (output) CloseHandle(output);
  if (!started) {
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
  std::string shown, snapshot;
  if (program.Running()) {
    shown = log;
    // The output as a script sees it before anyone closes the window.
    std::vector<uint8_t> bytes;
    if (withOutput && ReadBytes(argv[4], &bytes)) snapshot.assign(bytes.begin(), bytes.end());
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  }
  if (!WriteText(argv[3], shown) || (withOutput && !WriteText(argv[5], snapshot))) {
    std::fprintf(stderr, "cannot write the results (%lu)\n", GetLastError());
    return 2;
  }
  DWORD code = 99;
  program.WaitExit(&code);
  return static_cast<int>(code);
}
