// The dialog helpers over the installed front end; an operation it leaves
// empty is skipped.
#include "OskeltZtexDialog.h"

#include "OskeltZtexLog.h"
#include "Platform.h"

void PumpMessages(DialogHandle dialog) {
  if (Host->PumpMessages) Host->PumpMessages(dialog);
}

void EnableControl(DialogHandle dialog, int id, bool enable) {
  if (Host->EnableControl) Host->EnableControl(dialog, id, enable);
}

void EnableCloseCommand(DialogHandle dialog, bool enable) {
  if (Host->EnableCloseCommand) Host->EnableCloseCommand(dialog, enable);
}

bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start) {
  return Host->BrowseForFolder && Host->BrowseForFolder(owner, out, title, start);
}

void ProgressReset(DialogHandle dialog, int32_t n) {
  if (Host->ProgressReset) Host->ProgressReset(dialog, n);
}

void ProgressStep(DialogHandle dialog, int32_t delta) {
  if (Host->ProgressStep) Host->ProgressStep(dialog, delta);
}

int ShowMessage(DialogHandle dialog, HostBoxKind kind, const char* text, const char* caption) {
  if (Host->ShowMessage) return Host->ShowMessage(dialog, kind, text, caption);
  return kind == BOX_QUESTION ? BOX_ANSWER_NO : BOX_ANSWER_OK;
}

void ExplainNotice(DialogHandle dialog, const char* text) {
  if (Host->ExplainNotice) Host->ExplainNotice(dialog, text);
}

void SetPathText(DialogHandle dialog, const char* text) {
  if (Host->SetPathText) Host->SetPathText(dialog, text);
}

void SetControlFocus(DialogHandle dialog, int id) {
  if (Host->SetFocus) Host->SetFocus(dialog, id);
}

void SetBigIcon(DialogHandle dialog) {
  if (Host->SetBigIcon) Host->SetBigIcon(dialog);
}

void* GetControl(DialogHandle dialog, int id) {
  return Host->GetControl ? Host->GetControl(dialog, id) : nullptr;
}

void* CreateToolTipWindow(DialogHandle dialog) {
  return Host->CreateToolTipWindow ? Host->CreateToolTipWindow(dialog) : nullptr;
}

void AddToolTip(DialogHandle dialog, void* tipWindow, int id, const char* text) {
  if (Host->AddToolTip) Host->AddToolTip(dialog, tipWindow, id, text);
}

uint32_t SetDialogTimer(DialogHandle dialog, uint32_t id, uint32_t milliseconds) {
  return Host->SetTimer ? Host->SetTimer(dialog, id, milliseconds) : 0;
}

void KillDialogTimer(DialogHandle dialog, uint32_t id) {
  if (Host->KillTimer) Host->KillTimer(dialog, id);
}

void PostDialogTimer(DialogHandle dialog, uint32_t id) {
  if (Host->PostTimer) Host->PostTimer(dialog, id);
}

void EndMainDialog(DialogHandle dialog, intptr_t result) {
  if (Host->EndDialog) Host->EndDialog(dialog, result);
}

void EndProcess(uint32_t code) {
  LogFinishOutput();
  if (Host->ExitProcess) Host->ExitProcess(code);
  PlatExitProcess(code);
}
