#include "RecordingHost.h"

#include <algorithm>
#include <cstring>

Recorder Rec;

static int DialogToken = 0;

DialogHandle TestDialog() { return &DialogToken; }

static void Event(const std::string& text) { Rec.events.push_back(text); }

static void ClearLog(DialogHandle) {
  Event("clear-log");
  if (Rec.hasLogPane) Rec.log.clear();
}

static void AppendLog(DialogHandle, const char* text) {
  if (Rec.hasLogPane) Rec.log += text;
}

static void* GetControl(DialogHandle, int id) {
  static int controls[2000];
  return (id > 0 && id < 2000 && !Rec.missingControls.count(id)) ? &controls[id] : nullptr;
}

static void EnableControlOp(DialogHandle, int id, bool enable) {
  Event("enable " + std::to_string(id) + (enable ? " on" : " off"));
  Rec.enabled[id] = enable;
}

static void EnableCloseCommand(DialogHandle, bool enable) {
  Event(enable ? "close-command on" : "close-command off");
  Rec.closeEnabled = enable;
}

static void Pump(DialogHandle) {
  ++Rec.pumps;
  Event("pump");
  if (Rec.onPump) Rec.onPump(Rec.pumps);
  while (!Rec.queue.empty()) {
    std::function<void()> message = Rec.queue.front();
    Rec.queue.pop_front();
    message();
  }
}

static void ProgressResetOp(DialogHandle, int32_t n) {
  Event("progress-reset " + std::to_string(n));
  Rec.progressPos = 0;
  Rec.progressMax = n;
}

static void ProgressStepOp(DialogHandle, int32_t delta) {
  Event("progress-step " + std::to_string(delta));
  Rec.progressPos = std::min(std::max(Rec.progressPos + delta, 0), Rec.progressMax);
}

static int ShowMessage(DialogHandle, HostBoxKind kind, const char* text, const char* caption) {
  RecordedBox box{kind, text ? text : "", caption ? caption : "(none)"};
  Rec.boxes.push_back(box);
  Event("box " + std::to_string(kind) + " " + box.text);
  if (Rec.onBox) Rec.onBox(box);
  if (kind != BOX_QUESTION) return BOX_ANSWER_OK;
  if (Rec.answers.empty()) return BOX_ANSWER_NO;
  const int answer = Rec.answers.front();
  Rec.answers.pop_front();
  return answer;
}

static void ExplainNotice(DialogHandle, const char* text) {
  Event(std::string("explain ") + (text ? text : ""));
  Rec.explanations.push_back(text ? text : "");
}

static bool Browse(DialogHandle, char* out, const char* title, const char* start) {
  Event(std::string("browse ") + (title ? title : ""));
  Rec.browseStart = start ? start : "";
  if (!Rec.browseResult) return false;
  std::strncpy(out, Rec.browseChoice.c_str(), 260);
  out[260] = '\0';
  return true;
}

static void SetPathText(DialogHandle, const char* text) {
  Event("path");
  Rec.pathText = text ? text : "";
}

static void SetFocusOp(DialogHandle, int id) {
  Event("focus " + std::to_string(id));
  Rec.focus = id;
}

static void SetBigIcon(DialogHandle) { Event("icon"); }

static int TipWindowToken = 0;

static void* CreateToolTipWindow(DialogHandle) {
  Event("tip-window");
  return Rec.tipWindowFails ? nullptr : &TipWindowToken;
}

static void AddToolTip(DialogHandle, void*, int id, const char* text) {
  Event("tip " + std::to_string(id));
  Rec.tipTexts.push_back(text ? text : "");
}

static uint32_t SetTimerOp(DialogHandle, uint32_t id, uint32_t ms) {
  Event("set-timer " + std::to_string(id) + " " + std::to_string(ms));
  const uint32_t result = Rec.setTimerResult == 0xFFFFFFFFu ? id : Rec.setTimerResult;
  if (result != 0) Rec.liveTimers.push_back(result);
  return result;
}

static void KillTimerOp(DialogHandle, uint32_t id) {
  Event("kill-timer " + std::to_string(id));
  Rec.liveTimers.erase(std::remove(Rec.liveTimers.begin(), Rec.liveTimers.end(), id),
                       Rec.liveTimers.end());
}

static void PostTimer(DialogHandle, uint32_t id) {
  Event("post-timer " + std::to_string(id));
  Rec.queue.push_back([id] {
    if (Rec.onTimer) Rec.onTimer(id);
  });
}

static void EndDialogOp(DialogHandle, intptr_t result) {
  Event("end-dialog " + std::to_string(result));
  Rec.dialogEnded = true;
  Rec.dialogResult = result;
}

static void ExitProcessOp(uint32_t code) {
  Event("exit " + std::to_string(code));
  throw ProcessEnded{code};
}

static const HostOps RecordingOps = {
    .ClearLog = ClearLog, .AppendLog = AppendLog,
    .GetControl = GetControl, .EnableControl = EnableControlOp, .EnableCloseCommand = EnableCloseCommand,
    .PumpMessages = Pump,
    .ProgressReset = ProgressResetOp, .ProgressStep = ProgressStepOp,
    .ShowMessage = ShowMessage, .ExplainNotice = ExplainNotice, .BrowseForFolder = Browse,
    .SetPathText = SetPathText, .SetFocus = SetFocusOp, .SetBigIcon = SetBigIcon,
    .CreateToolTipWindow = CreateToolTipWindow, .AddToolTip = AddToolTip,
    .SetTimer = SetTimerOp, .KillTimer = KillTimerOp, .PostTimer = PostTimer,
    .EndDialog = EndDialogOp, .ExitProcess = ExitProcessOp,
};

void InstallRecordingHost() {
  Rec = Recorder();
  SetHost(&RecordingOps);
}

bool IsEnabled(int id) {
  auto it = Rec.enabled.find(id);
  return it == Rec.enabled.end() || it->second;
}

void FireLiveTimers() {
  const std::vector<uint32_t> timers = Rec.liveTimers;
  for (uint32_t id : timers)
    if (Rec.onTimer) Rec.onTimer(id);
}

std::vector<std::string> EventsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& e : Rec.events)
    if (e.compare(0, prefix.size(), prefix) == 0) found.push_back(e);
  return found;
}
