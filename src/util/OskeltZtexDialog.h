// The dialog helpers: every operation the dialog logic and the batch run ask
// of the window, each carried by the installed front end (OskeltZtexHost.h).
// An operation the front end leaves empty does nothing (or gives the answer
// named below).
#pragma once

#include <cstdint>

#include "OskeltZtexHost.h"

// Handles every message waiting for the dialog and its controls.
void PumpMessages(DialogHandle dialog);
// Enables or disables a control; nothing when the dialog has no such control.
void EnableControl(DialogHandle dialog, int id, bool enable);
// Enables or disables the window's Close command.
void EnableCloseCommand(DialogHandle dialog, bool enable);
// The folder picker; false when cancelled or when there is none.
bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start);
// Progress bar: position 0 and range 0..n; advance by delta.
void ProgressReset(DialogHandle dialog, int32_t n);
void ProgressStep(DialogHandle dialog, int32_t delta);
// A modal message box (caption null: the platform's title); the answer, No
// to a question nobody can answer.
int ShowMessage(DialogHandle dialog, HostBoxKind kind, const char* text, const char* caption);
// A line that says more about the notice that the next ShowMessage shows,
// where the front end has room for one.
void ExplainNotice(DialogHandle dialog, const char* text);
void SetPathText(DialogHandle dialog, const char* text);
void SetControlFocus(DialogHandle dialog, int id);
void SetBigIcon(DialogHandle dialog);
// The window of a control, null when the dialog has none.
void* GetControl(DialogHandle dialog, int id);
// Tool tips: the tip window (null when it cannot be made), then one hint.
void* CreateToolTipWindow(DialogHandle dialog);
void AddToolTip(DialogHandle dialog, void* tipWindow, int id, const char* text);
// Timers: SetDialogTimer gives the id, 0 when no timer could be made.
uint32_t SetDialogTimer(DialogHandle dialog, uint32_t id, uint32_t milliseconds);
void KillDialogTimer(DialogHandle dialog, uint32_t id);
void PostDialogTimer(DialogHandle dialog, uint32_t id);
// Ends the modal dialog; the front end's loop then returns.
void EndMainDialog(DialogHandle dialog, intptr_t result);
// Ends the process at once with an exit code.
void EndProcess(uint32_t code);
