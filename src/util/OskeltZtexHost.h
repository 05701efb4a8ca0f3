// The front-end seam: everything the batch run and the dialog logic do to a
// window. The logic is written once over this record and never knows which
// front end it drives (Win32 dialog, Qt window, console, or a test's
// recorder); it reaches it only through the dialog helpers
// (OskeltZtexDialog.h) and the log (OskeltZtexLog.h). A front end fills one
// HostOps record slot by slot by name, leaves empty what it has no use for
// (the helpers then do nothing), and installs it with SetHost before the
// dialog starts.
#pragma once

#include <cstdint>

// The main dialog as the front end knows it (an HWND on Windows).
typedef void* DialogHandle;

// Message boxes the system shows.
enum HostBoxKind : uint8_t {
  BOX_NOTICE = 0,    // MB_OK, no caption (the platform's default title)
  BOX_ERROR = 1,     // MB_ICONERROR, OK
  BOX_WARNING = 2,   // MB_ICONWARNING, OK
  BOX_QUESTION = 3,  // MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
  BOX_ABOUT = 4      // the program's icon, OK
};

// Answers of ShowMessage.
enum : int { BOX_ANSWER_OK = 1, BOX_ANSWER_YES = 6, BOX_ANSWER_NO = 7 };

struct HostOps {
  // Log pane (IDC_LOG): empty it; append text at its end and scroll it into
  // view. Both do nothing when the dialog has no log pane.
  void (*ClearLog)(DialogHandle dialog) = nullptr;
  void (*AppendLog)(DialogHandle dialog, const char* text) = nullptr;
  // The window of a control, null when the dialog has no such control.
  void* (*GetControl)(DialogHandle dialog, int id) = nullptr;
  // Enable or disable a control; nothing when the dialog has no such control.
  void (*EnableControl)(DialogHandle dialog, int id, bool enable) = nullptr;
  // Enable or disable the window's Close command (title bar, system menu).
  void (*EnableCloseCommand)(DialogHandle dialog, bool enable) = nullptr;
  // Handle every message waiting for the dialog and its controls, then return.
  // May re-enter the dialog logic (a click, a close request, a timer).
  void (*PumpMessages)(DialogHandle dialog) = nullptr;
  // Progress bar (IDC_PROGRESS): position 0 and range 0..n; advance by delta,
  // clamped to the range.
  void (*ProgressReset)(DialogHandle dialog, int32_t n) = nullptr;
  void (*ProgressStep)(DialogHandle dialog, int32_t delta) = nullptr;
  // A modal message box; caption null for the platform's default title.
  // Returns one of the BOX_ANSWER values.
  int (*ShowMessage)(DialogHandle dialog, HostBoxKind kind, const char* text, const char* caption) = nullptr;
  // One more line about the notice that the next ShowMessage shows, for a
  // front end with room for it beside the box's fixed text (the console:
  // standard error, after the notice; the Qt window: the box's details).
  void (*ExplainNotice)(DialogHandle dialog, const char* text) = nullptr;
  // The folder picker: starts at start (may be null), offers only folders.
  // True with the chosen path in out (261 bytes); false when cancelled (out
  // unchanged) or when the choice has no file-system path.
  bool (*BrowseForFolder)(DialogHandle dialog, char* out, const char* title, const char* start) = nullptr;
  // Show text in the path field (IDC_PATH).
  void (*SetPathText)(DialogHandle dialog, const char* text) = nullptr;
  // Put the keyboard focus on a control.
  void (*SetFocus)(DialogHandle dialog, int id) = nullptr;
  // Give the dialog the program's big icon.
  void (*SetBigIcon)(DialogHandle dialog) = nullptr;
  // Tool tips: create the one tip window (null on failure), then register a
  // hint for a control; a missing control is skipped.
  void* (*CreateToolTipWindow)(DialogHandle dialog) = nullptr;
  void (*AddToolTip)(DialogHandle dialog, void* tipWindow, int id, const char* text) = nullptr;
  // Timers: SetTimer returns the id, or 0 when it could not be created.
  // PostTimer queues one timer message carrying id, as if it had fired.
  uint32_t (*SetTimer)(DialogHandle dialog, uint32_t id, uint32_t milliseconds) = nullptr;
  void (*KillTimer)(DialogHandle dialog, uint32_t id) = nullptr;
  void (*PostTimer)(DialogHandle dialog, uint32_t id) = nullptr;
  // End the modal dialog with a result; the front end's loop then returns.
  void (*EndDialog)(DialogHandle dialog, intptr_t result) = nullptr;
  // End the process at once with an exit code. Does not return in a program.
  void (*ExitProcess)(uint32_t code) = nullptr;
};

// The installed front end; null until SetHost.
extern const HostOps* Host;
void SetHost(const HostOps* ops);
