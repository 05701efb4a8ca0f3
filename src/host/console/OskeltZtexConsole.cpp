#include "OskeltZtexConsole.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>

#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHost.h"
#include "Platform.h"

namespace {

struct Timer {
  uint32_t id;
  uint32_t milliseconds;
  struct timespec due;
};

struct ConsoleState {
  bool ended = false;
  std::deque<uint32_t> posted;  // posted timer messages
  std::deque<Timer> timers;     // running timers
  bool progressOnTerminal = false;
  bool progressDrawn = false;
  int32_t progressMax = 100;
  int32_t progressPos = 0;
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

void ClearLog(DialogHandle) {}

// Writes the pane's text to standard output with "\r\n" as "\n".
void AppendLog(DialogHandle, const char* text) {
  const bool redraw = Console.progressDrawn;
  ErasePending();
  for (const char* p = text; *p; ++p) {
    if (p[0] == '\r' && p[1] == '\n') continue;
    std::fputc(*p, stdout);
  }
  if (std::strchr(text, '\n')) std::fflush(stdout);
  if (redraw) DrawProgress();
}

void* GetControl(DialogHandle, int id) {
  static int controls[IDC_PROGRESS + 1];
  return id >= IDC_PATH && id <= IDC_PROGRESS ? &controls[id] : nullptr;
}

void EnableControl(DialogHandle, int, bool) {}
void EnableCloseCommand(DialogHandle, bool) {}

void DeliverPosted(DialogHandle dialog) {
  while (!Console.posted.empty()) {
    const uint32_t id = Console.posted.front();
    Console.posted.pop_front();
    MainDialogTimer(dialog, id);
  }
}

void PumpMessages(DialogHandle dialog) { DeliverPosted(dialog); }

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

int ShowMessage(DialogHandle, HostBoxKind kind, const char* text, const char*) {
  ErasePending();
  std::fflush(stdout);
  for (const char* p = text; *p; ++p) {
    if (p[0] == '\r' && p[1] == '\n') continue;
    std::fputc(*p, stderr);
  }
  std::fputc('\n', stderr);
  std::fflush(stderr);
  // Nobody can answer: a question is declined.
  return kind == BOX_QUESTION ? BOX_ANSWER_NO : BOX_ANSWER_OK;
}

bool BrowseForFolder(DialogHandle, char*, const char*, const char*) { return false; }
void SetPathText(DialogHandle, const char*) {}
void SetFocus(DialogHandle, int) {}
void SetBigIcon(DialogHandle) {}
void* CreateToolTipWindow(DialogHandle) { return nullptr; }
void AddToolTip(DialogHandle, void*, int, const char*) {}

struct timespec Now() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

uint32_t SetTimer(DialogHandle, uint32_t id, uint32_t milliseconds) {
  struct timespec due = Now();
  due.tv_sec += milliseconds / 1000;
  due.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (due.tv_nsec >= 1000000000L) {
    due.tv_sec += 1;
    due.tv_nsec -= 1000000000L;
  }
  Console.timers.push_back(Timer{id, milliseconds, due});
  return id;
}

void KillTimer(DialogHandle, uint32_t id) {
  for (auto it = Console.timers.begin(); it != Console.timers.end(); ++it) {
    if (it->id == id) {
      Console.timers.erase(it);
      return;
    }
  }
}

void PostTimer(DialogHandle, uint32_t id) { Console.posted.push_back(id); }

void EndDialog(DialogHandle, intptr_t) { Console.ended = true; }

void ExitProcess(uint32_t code) {
  ErasePending();
  PlatExitProcess(code);
}

const HostOps ConsoleOps = {
    ClearLog,      AppendLog,      GetControl,   EnableControl,        EnableCloseCommand,
    PumpMessages,  ProgressReset,  ProgressStep, ShowMessage,          BrowseForFolder,
    SetPathText,   SetFocus,       SetBigIcon,   CreateToolTipWindow,  AddToolTip,
    SetTimer,      KillTimer,      PostTimer,    EndDialog,            ExitProcess};

// Waits for the first running timer and delivers it; false when none runs.
bool WaitForTimer(DialogHandle dialog) {
  if (Console.timers.empty()) return false;
  Timer timer = Console.timers.front();
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &timer.due, nullptr);
  // A timer fires again after its period until it is killed.
  Console.timers.front().due = Now();
  Console.timers.front().due.tv_sec += timer.milliseconds / 1000;
  MainDialogTimer(dialog, timer.id);
  return true;
}

}  // namespace

int RunConsoleMainDialog() {
  Console.progressOnTerminal = isatty(STDERR_FILENO) != 0;
  SetHost(&ConsoleOps);
  DialogHandle dialog = &DialogToken;

  InitMainDialog(dialog);
  MainDialogShown(dialog, true);
  while (!Console.ended) {
    DeliverPosted(dialog);
    if (Console.ended) break;
    // Only a running timer could still start something; without one nobody
    // is there to close the window, so it is closed now.
    if (!Console.posted.empty() || WaitForTimer(dialog)) continue;
    CloseMainDialog(dialog, 0);
  }
  MainDialogDestroyed(dialog);
  std::fflush(stdout);
  return static_cast<int>(MainExitCode());
}
