// The front-end seam on dialog 101, call for call over user32, comctl32 and
// the shell, and the dialog procedure that routes the dialog's messages into
// the program's logic.
#include "OskeltZtexWin32.h"

#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "Platform.h"
#include "resource.h"

HINSTANCE ModuleInstance = nullptr;

static HWND Dialog(DialogHandle dialog) { return static_cast<HWND>(dialog); }

// The log pane's text limit. The rich-edit default (32,767 characters) would
// let a long run lose its last lines, the summary among them.
static const LPARAM LOG_TEXT_LIMIT = 0x7FFFFFFE;

static void ClearLog(DialogHandle dialog) { SetDlgItemTextA(Dialog(dialog), IDC_LOG, ""); }

static void AppendLog(DialogHandle dialog, const char* text) {
  const HWND log = GetDlgItem(Dialog(dialog), IDC_LOG);
  if (log) {
    const LRESULT length = SendMessageA(log, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(log, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(log, EM_SCROLLCARET, 0, 0);
    SendMessageA(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageA(log, EM_SCROLLCARET, 0, 0);
  }
}

static void* GetControl(DialogHandle dialog, int id) { return GetDlgItem(Dialog(dialog), id); }

static void EnableControl(DialogHandle dialog, int id, bool enable) {
  const HWND control = GetDlgItem(Dialog(dialog), id);
  if (control) EnableWindow(control, enable ? TRUE : FALSE);
}

static void EnableCloseCommand(DialogHandle dialog, bool enable) {
  const HMENU menu = GetSystemMenu(Dialog(dialog), FALSE);
  if (!menu) return;
  EnableMenuItem(menu, SC_CLOSE, enable ? MF_ENABLED : (MF_BYCOMMAND | MF_GRAYED | MF_DISABLED));
  DrawMenuBar(Dialog(dialog));
}

// Only messages for the dialog and its controls: those of other windows of
// the thread (the tip window) and thread messages wait in the queue.
static void PumpMessages(DialogHandle dialog) {
  MSG message;
  while (PeekMessageA(&message, Dialog(dialog), 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(Dialog(dialog), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

static void ProgressReset(DialogHandle dialog, int32_t n) {
  const HWND bar = GetDlgItem(Dialog(dialog), IDC_PROGRESS);
  if (!bar) return;
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  SendMessageA(bar, PBM_SETRANGE32, 0, n);
}

static void ProgressStep(DialogHandle dialog, int32_t delta) {
  SendDlgItemMessageA(Dialog(dialog), IDC_PROGRESS, PBM_DELTAPOS, static_cast<WPARAM>(delta), 0);
}

static int ShowAbout(HWND dialog, const char* text, const char* caption) {
  MSGBOXPARAMSA box;
  ZeroMemory(&box, sizeof box);
  box.cbSize = sizeof box;
  box.hwndOwner = dialog;
  box.hInstance = ModuleInstance;
  box.lpszText = text;
  box.lpszCaption = caption;
  box.dwStyle = MB_USERICON;
  box.lpszIcon = MAKEINTRESOURCEA(IDI_MAIN);
  return MessageBoxIndirectA(&box);
}

static int ShowMessage(DialogHandle dialog, HostBoxKind kind, const char* text, const char* caption) {
  UINT style = MB_OK;
  switch (kind) {
    case BOX_NOTICE:
      style = MB_OK;
      break;
    case BOX_ERROR:
      style = MB_OK | MB_ICONERROR;
      break;
    case BOX_WARNING:
      style = MB_OK | MB_ICONWARNING;
      break;
    case BOX_QUESTION:
      style = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
      break;
    case BOX_ABOUT:
      return ShowAbout(Dialog(dialog), text, caption);
  }
  return MessageBoxA(Dialog(dialog), text, caption, style);
}

int CALLBACK BrowseCallback(HWND picker, UINT message, LPARAM value, LPARAM callbackValue) {
  if (message == BFFM_INITIALIZED) {
    if (callbackValue) SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, callbackValue);
  } else if (message == BFFM_SELCHANGED) {
    if (value) {
      char path[MAX_PATH + 1];
      const BOOL isFolder = SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(value), path);
      SendMessageA(picker, BFFM_ENABLEOK, 0, isFolder ? 1 : 0);
    }
  }
  return 0;
}

static bool BrowseForFolder(DialogHandle owner, char* out, const char* title, const char* start) {
  bool chosen = false;
  char displayName[MAX_PATH + 1];
  displayName[0] = '\0';
  BROWSEINFOA info;
  ZeroMemory(&info, sizeof info);
  info.hwndOwner = Dialog(owner);
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(start);
  info.iImage = 0;
  IMalloc* allocator = nullptr;
  const LPITEMIDLIST item = SHBrowseForFolderA(&info);
  if (item) {
    out[0] = '\0';
    chosen = SHGetPathFromIDListA(item, out) != FALSE;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) allocator->Free(item);
  }
  if (allocator) allocator->Release();
  return chosen;
}

static void SetPathText(DialogHandle dialog, const char* text) {
  SetDlgItemTextA(Dialog(dialog), IDC_PATH, text);
}

static void SetFocusTo(DialogHandle dialog, int id) { SetFocus(GetDlgItem(Dialog(dialog), id)); }

static void SetBigIcon(DialogHandle dialog) {
  SendMessageA(Dialog(dialog), WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_MAIN))));
}

static void* CreateToolTipWindow(DialogHandle dialog) {
  const HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Dialog(dialog),
                                   nullptr, ModuleInstance, nullptr);
  if (!tip) return nullptr;
  SetWindowPos(tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  return tip;
}

static void AddToolTip(DialogHandle dialog, void* tipWindow, int id, const char* text) {
  const HWND control = GetDlgItem(Dialog(dialog), id);
  if (!control || !text) return;
  TOOLINFOA tool;
  ZeroMemory(&tool, sizeof tool);
  tool.cbSize = TTTOOLINFOA_V1_SIZE;  // the 44-byte record of a 32-bit build
  tool.uFlags = TTF_SUBCLASS;
  tool.hinst = ModuleInstance;
  tool.hwnd = control;
  if (!GetClientRect(control, &tool.rect)) return;
  tool.uId = 0;
  tool.lpszText = const_cast<char*>(text);
  SendMessageA(static_cast<HWND>(tipWindow), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

static uint32_t SetTimerOf(DialogHandle dialog, uint32_t id, uint32_t milliseconds) {
  return static_cast<uint32_t>(SetTimer(Dialog(dialog), id, milliseconds, nullptr));
}

static void KillTimerOf(DialogHandle dialog, uint32_t id) { KillTimer(Dialog(dialog), id); }

static void PostTimer(DialogHandle dialog, uint32_t id) {
  PostMessageA(Dialog(dialog), WM_TIMER, id, 0);
}

static void EndDialogWith(DialogHandle dialog, intptr_t result) { EndDialog(Dialog(dialog), result); }

static void ExitProcessWith(uint32_t code) { PlatExitProcess(code); }

// Every operation of the seam, slot by slot.
static const HostOps Win32Ops = {
    .ClearLog = ClearLog, .AppendLog = AppendLog,
    .GetControl = GetControl, .EnableControl = EnableControl, .EnableCloseCommand = EnableCloseCommand,
    .PumpMessages = PumpMessages,
    .ProgressReset = ProgressReset, .ProgressStep = ProgressStep,
    .ShowMessage = ShowMessage, .BrowseForFolder = BrowseForFolder,
    .SetPathText = SetPathText, .SetFocus = SetFocusTo, .SetBigIcon = SetBigIcon,
    .CreateToolTipWindow = CreateToolTipWindow, .AddToolTip = AddToolTip,
    .SetTimer = SetTimerOf, .KillTimer = KillTimerOf, .PostTimer = PostTimer,
    .EndDialog = EndDialogWith, .ExitProcess = ExitProcessWith,
};

void InstallWin32Host() { SetHost(&Win32Ops); }

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessageA(dialog, IDC_LOG, EM_EXLIMITTEXT, 0, LOG_TEXT_LIMIT);
      return InitMainDialog(dialog);
    case WM_COMMAND:
      return HandleMainCommand(dialog, HIWORD(wParam), LOWORD(wParam),
                               reinterpret_cast<void*>(lParam));
    case WM_TIMER:
      return MainDialogTimer(dialog, wParam);
    case WM_SHOWWINDOW:
      return MainDialogShown(dialog, wParam != 0);
    case WM_CLOSE:
      return CloseMainDialog(dialog, 0);
    case WM_DESTROY:
      return MainDialogDestroyed(dialog);
    default:
      return 0;
  }
}
