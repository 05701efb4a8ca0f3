// The main dialog's logic: the command line, start-up, the commands of the
// buttons, the auto-start of command-line mode and the close protocol.
#include "OskeltZTEX.h"

#include <cstdio>
#include <cstring>

#include "OskeltZtexDialog.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHint.h"
#include "OskeltZtexLog.h"
#include "OskeltZtexPath.h"
#include "Platform.h"

// What was wrong with the command line, for a front end that can say more
// than the notice: the parameter at fault and why, then the usage. Given
// before the notice, which shows it.
static void ExplainParameters(DialogHandle dialog, uint32_t folderCode) {
  char line[LOG_LINE_SIZE];
  if (ParamCount > 2) {
    std::snprintf(line, sizeof line, "OskeltZTEX: \"%s\": too many parameters (-C takes one folder at most)",
                  ParamList[3]);
  } else {
    char reason[LOG_MESSAGE_SIZE];
    ErrorText(folderCode, reason);
    std::snprintf(line, sizeof line, "OskeltZTEX: \"%s\": no such folder (%s)", ParamList[2], reason);
  }
  ExplainNotice(dialog, line);
  ExplainNotice(dialog, TEXT_USAGE);
}

// Where the folder map was looked for, and what kept it from loading.
static void ExplainFolderMap(DialogHandle dialog, uint32_t loadCode) {
  char ini[PLAT_PATH_BUFFER], reason[LOG_MESSAGE_SIZE];
  char line[LOG_LINE_SIZE];
  if (!FolderMapLocation(ini)) {
    ErrorText(PlatGetLastError(), reason);
    std::snprintf(line, sizeof line, "OskeltZTEX: the folder map's path cannot be told (%s)", reason);
  } else if (!FileExists(ini) && !DirectoryExists(ini)) {
    std::snprintf(line, sizeof line, "OskeltZTEX: the folder map %s is missing", ini);
  } else if (loadCode == ERROR_NOT_ENOUGH_MEMORY) {
    ErrorText(loadCode, reason);
    std::snprintf(line, sizeof line, "OskeltZTEX: the folder map %s cannot be loaded (%s)", ini, reason);
  } else {
    const PlatFile file = PlatOpenRead(ini);
    if (file == PLAT_NO_FILE) {
      ErrorText(PlatGetLastError(), reason);
      std::snprintf(line, sizeof line, "OskeltZTEX: the folder map %s cannot be read (%s)", ini, reason);
    } else {
      PlatClose(file);
      std::snprintf(line, sizeof line, "OskeltZTEX: the folder map %s holds no section", ini);
    }
  }
  ExplainNotice(dialog, line);
}

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
  uint32_t folderCode = 0;
  if (ParamCount == 1) {
    CommandLineMode = true;
  } else if (ParamCount == 2) {
    CommandLineMode = PlatSetCurrentDirectory(ParamList[2]);
    folderCode = PlatGetLastError();
  }
  if (CommandLineMode) {
    // Until a run has finished without errors, whatever ends the program
    // ends it with exit code 1.
    HadErrors = true;
    LogToStandardOutput(true);
    AutoStartTimer = SetDialogTimer(dialog, AutoStartTimer, AUTO_START_DELAY_MS);
    return true;
  }
  ExplainParameters(dialog, folderCode);
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
    const uint32_t loadCode = PlatGetLastError();
    ExplainFolderMap(dialog, loadCode);
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

// Ends the dialog; during a run also the process, at once, with exit code 1
// and without the run's unfinished file.
static void EndDialogAndRun(DialogHandle dialog, intptr_t result) {
  EndMainDialog(dialog, result);
  if (!WorkInProgress) return;
  DeletePendingTemporary();
  EndProcess(1);
}

intptr_t CloseMainDialog(DialogHandle dialog, intptr_t result) {
  if (!WorkInProgress) {
    EndMainDialog(dialog, result);
    return -1;
  }
  if (ShowMessage(dialog, BOX_QUESTION, TEXT_TERMINATE, TEXT_TERMINATE_CAPTION) != BOX_ANSWER_YES)
    return -1;
  EndDialogAndRun(dialog, result);
  return 0;
}

intptr_t CloseMainDialogNow(DialogHandle dialog) {
  EndDialogAndRun(dialog, 0);
  return 0;
}

intptr_t MainDialogDestroyed(DialogHandle) {
  FreeFolderMap();
  LogFinishOutput();
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
