#include "OskeltZtexConsole.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHost.h"
#include "OskeltZtexLog.h"
#include "resource.h"
#include "Platform.h"

namespace {

struct ConsoleState {
  bool ended = false;
  std::deque<uint32_t> posted;  // posted timer messages
  bool progressOnTerminal = false;
  bool progressDrawn = false;
  int32_t progressMax = 100;
  int32_t progressPos = 0;
  std::string explanation;  // lines about the next notice, each ended by "\n"
};

ConsoleState Console;
int DialogToken;

void ErasePending() {
  if (!Console.progressDrawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  Console.progressDrawn = false;
}

void DrawProgress() {
  if (!Console.progressOnTerminal) return;
  const int32_t max = Console.progressMax > 0 ? Console.progressMax : 1;
  const int32_t pos = Console.progressPos;
  const int width = 30;
  const int filled = static_cast<int>(static_cast<int64_t>(pos) * width / max);
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '-';
  bar[width] = '\0';
  std::fprintf(stderr, "\r\033[K[%s] %d/%d %d%%", bar, pos, Console.progressMax,
               static_cast<int>(static_cast<int64_t>(pos) * 100 / max));
  std::fflush(stderr);
  Console.progressDrawn = true;
}

// The log itself goes to standard output from the log; the progress line
// on the terminal gives way to it and comes back with the next step.
void AppendLog(DialogHandle, const char*) { ErasePending(); }

// A request to end the process, or a log that cannot reach standard output
// any more, ends the program as a confirmed close does.
bool EndRequested() { return PlatEndRequested() || LogOutputLost(); }

// The run's commands come from controls; any id of the dialog has one.
void* GetControl(DialogHandle, int id) {
  static int controls[IDC_PROGRESS + 1];
  return id >= IDC_PATH && id <= IDC_PROGRESS ? &controls[id] : nullptr;
}

void DeliverPosted(DialogHandle dialog) {
  while (!Console.posted.empty()) {
    const uint32_t id = Console.posted.front();
    Console.posted.pop_front();
    MainDialogTimer(dialog, id);
  }
}

void PumpMessages(DialogHandle dialog) {
  if (EndRequested()) CloseMainDialogNow(dialog);
  DeliverPosted(dialog);
}

void ProgressReset(DialogHandle, int32_t n) {
  Console.progressPos = 0;
  Console.progressMax = n;
  if (n <= 1) {
    ErasePending();
    return;
  }
  DrawProgress();
}

void ProgressStep(DialogHandle, int32_t delta) {
  int64_t pos = static_cast<int64_t>(Console.progressPos) + delta;
  if (pos > Console.progressMax) pos = Console.progressMax;
  if (pos < 0) pos = 0;
  Console.progressPos = static_cast<int32_t>(pos);
  if (Console.progressMax > 1) DrawProgress();
}

// Notices go to standard error, each followed by the lines that explain it;
// nobody can answer, so a question is declined.
int ShowMessage(DialogHandle, HostBoxKind kind, const char* text, const char*) {
  ErasePending();
  std::string notice = text;
  notice += '\n';
  notice += Console.explanation;
  Console.explanation.clear();
  PlatWriteStandardError(notice.c_str());
  return kind == BOX_QUESTION ? BOX_ANSWER_NO : BOX_ANSWER_OK;
}

// What the notice cannot say: kept for it.
void ExplainNotice(DialogHandle, const char* text) {
  Console.explanation += text;
  Console.explanation += '\n';
}

// The console's timers never fire by themselves: the message that the
// dialog posts when it is shown is what starts a run.
uint32_t SetTimer(DialogHandle, uint32_t id, uint32_t) { return id; }

void PostTimer(DialogHandle, uint32_t id) { Console.posted.push_back(id); }

void EndDialog(DialogHandle, intptr_t) { Console.ended = true; }

void ExitProcess(uint32_t code) {
  ErasePending();
  PlatExitProcess(code);
}

// What a console can do of the seam: no controls to switch, no picker, no
// tool tips, no timer that fires by itself.
const HostOps ConsoleOps = {
    .AppendLog = AppendLog,
    .GetControl = GetControl,
    .PumpMessages = PumpMessages,
    .ProgressReset = ProgressReset, .ProgressStep = ProgressStep,
    .ShowMessage = ShowMessage, .ExplainNotice = ExplainNotice,
    .SetTimer = SetTimer, .PostTimer = PostTimer,
    .EndDialog = EndDialog, .ExitProcess = ExitProcess,
};

}  // namespace

int RunConsoleMainDialog() {
  Console.progressOnTerminal = isatty(STDERR_FILENO) != 0;
  SetHost(&ConsoleOps);
  DialogHandle dialog = &DialogToken;

  InitMainDialog(dialog);
  MainDialogShown(dialog, true);
  while (!Console.ended) {
    if (EndRequested()) {
      CloseMainDialogNow(dialog);
      break;
    }
    DeliverPosted(dialog);
    if (Console.ended) break;
    // Nothing is left that could start a run, and nobody is there to close
    // the window: it is closed now.
    if (Console.posted.empty()) CloseMainDialog(dialog, 0);
  }
  MainDialogDestroyed(dialog);
  return static_cast<int>(MainExitCode());
}
