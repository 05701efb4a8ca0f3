// The main dialog's logic: the command line, start-up, the commands of the
// buttons, the auto-start of command-line mode and the close protocol.
#include "OskeltZTEX.h"

#include <cstring>

#include "OskeltZtexDialog.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHint.h"
#include "Platform.h"

static void ShowCurrentDirectory(DialogHandle dialog) {
  char path[PLAT_PATH_BUFFER];
  path[0] = '\0';
  PlatGetCurrentDirectory(path, sizeof path);
  SetPathText(dialog, path);
}

static bool IsSwitch(const char* param) {
  return param && std::strlen(param) == 2 && (param[1] == 'C' || param[1] == 'c');
}

// Returns false after it has ended the process on a bad command line.
static bool ReadCommandLine(DialogHandle dialog) {
  CommandLineMode = false;
  if (ParamCount < 1 || !IsSwitch(ParamList[1])) return true;
  if (ParamCount == 1) {
    CommandLineMode = true;
  } else if (ParamCount == 2) {
    CommandLineMode = PlatSetCurrentDirectory(ParamList[2]);
  }
  if (CommandLineMode) {
    AutoStartTimer = SetDialogTimer(dialog, AutoStartTimer, AUTO_START_DELAY_MS);
    return true;
  }
  ShowMessage(dialog, BOX_ERROR, TEXT_INVALID_PARAMETERS, TEXT_INVALID_CAPTION);
  EndProcess(1);
  return false;
}

intptr_t InitMainDialog(DialogHandle dialog) {
  if (!ReadCommandLine(dialog)) return 0;
  if (!CommandLineMode) PlatSetCurrentDirectory(TEXT_DEFAULT_BASE);
  SetBigIcon(dialog);
  CreateToolTips(dialog);
  if (!LoadFolderMap()) {
    ShowMessage(dialog, BOX_WARNING, TEXT_INI_ERROR, nullptr);
    EndProcess(1);
    return 0;
  }
  ShowCurrentDirectory(dialog);
  SetControlFocus(dialog, IDC_CONVERT);
  return 0;
}

static void ChooseBaseDirectory(DialogHandle dialog) {
  char path[PLAT_PATH_BUFFER];
  path[0] = '\0';
  PlatGetCurrentDirectory(path, PLAT_MAX_PATH);
  if (BrowseForFolder(dialog, path, TEXT_BROWSE_TITLE, path)) PlatSetCurrentDirectory(path);
  ShowCurrentDirectory(dialog);
}

intptr_t HandleMainCommand(DialogHandle dialog, uint32_t notification, uint32_t id, void* control) {
  if (!control) return 0;
  if (notification != 0) return -1;
  switch (id) {
    case IDC_BROWSE:
      ChooseBaseDirectory(dialog);
      return 0;
    case IDC_INFO:
      ShowMessage(dialog, BOX_ABOUT, TEXT_ABOUT, TEXT_ABOUT_CAPTION);
      return 0;
    case IDC_CONVERT:
      RunConversion(dialog);
      return 0;
    case IDC_EXIT:
      CloseMainDialog(dialog, 0);
      return 0;
    default:
      return -1;
  }
}

intptr_t MainDialogTimer(DialogHandle dialog, uintptr_t id) {
  if (CommandLineMode && AutoStartTimer != 0 && id == AutoStartTimer) {
    KillDialogTimer(dialog, AutoStartTimer);
    AutoStartTimer = 0;
    return HandleMainCommand(dialog, 0, IDC_CONVERT, GetControl(dialog, IDC_CONVERT));
  }
  return 0;
}

intptr_t MainDialogShown(DialogHandle dialog, bool shown) {
  if (CommandLineMode && shown) {
    PumpMessages(dialog);
    PostDialogTimer(dialog, AutoStartTimer);
  }
  return 0;
}

intptr_t CloseMainDialog(DialogHandle dialog, intptr_t result) {
  if (WorkInProgress) {
    if (ShowMessage(dialog, BOX_QUESTION, TEXT_TERMINATE, TEXT_TERMINATE_CAPTION) != BOX_ANSWER_YES)
      return -1;
    EndMainDialog(dialog, result);
    DeletePendingTemporary();
    EndProcess(1);
    return 0;
  }
  EndMainDialog(dialog, result);
  return -1;
}

intptr_t CloseMainDialogNow(DialogHandle dialog) {
  EndMainDialog(dialog, 0);
  if (WorkInProgress) {
    DeletePendingTemporary();
    EndProcess(1);
  }
  return 0;
}

intptr_t MainDialogDestroyed(DialogHandle) {
  FreeFolderMap();
  return 0;
}

uint32_t MainExitCode() { return (CommandLineMode && HadErrors) ? 1 : 0; }

int SplitCommandLine(const char* line, char* storage, size_t storageSize, const char** params,
                     int maxParams) {
  if (!line || !storage || storageSize == 0 || !params || maxParams <= 0) return 0;
  const size_t length = std::strlen(line);
  if (storageSize < length + 1) return 0;
  int count = 0;
  const char* p = line;
  char* out = storage;
  for (;;) {
    while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
    if (*p == '\0' || count == maxParams) break;
    params[count++] = out;
    bool quoted = false;
    while (*p != '\0' && (quoted || static_cast<unsigned char>(*p) > ' ')) {
      if (*p == '"')
        quoted = !quoted;
      else
        *out++ = *p;
      ++p;
    }
    *out++ = '\0';
  }
  return count;
}
