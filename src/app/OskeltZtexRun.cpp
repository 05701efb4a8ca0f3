// The batch run: every _compiled\*-C.TEX of the base directory (the current
// directory) is moved into place, skipped or converted into a TGA file.
#include <cstdio>
#include <cstring>

#include "OskeltZTEX.h"
#include "OskeltZtexConvert.h"
#include "OskeltZtexDialog.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexLog.h"
#include "OskeltZtexPath.h"
#include "Platform.h"

// The temporary file of a failed conversion between its close and its
// deletion; deleted before the process ends if a close is confirmed while
// the run pumps messages there.
static char PendingTemporary[PLAT_PATH_BUFFER];

// The strip buffers and the decoding thread of the run's conversions, from
// the start of the run to its end.
static ConvertContext* RunContext = nullptr;

void DeletePendingTemporary() {
  if (PendingTemporary[0] == '\0') return;
  PlatDeleteFile(PendingTemporary);  // nothing there when the file had no name
  PendingTemporary[0] = '\0';
}

void TemporaryPathOf(const char* target, char* out) {
  const size_t length = std::strlen(target);
  std::memmove(out, target, length + 1);
  if (length > 0) out[length - 1] = '~';
}

// A found name that holds a separator or a control character cannot be one
// file in _compiled: on a system that allows such names, a backslash would
// reach other folders and a line break would forge log lines.
static bool IsPlainName(const char* name) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c; ++c)
    if (*c == '\\' || *c == '/' || *c < 0x20) return false;
  return true;
}

static void SetControlsForRun(DialogHandle dialog) {
  EnableControl(dialog, IDC_BROWSE, false);
  EnableControl(dialog, IDC_CONVERT, false);
  if (CommandLineMode) {
    HadErrors = true;
    EnableControl(dialog, IDC_EXIT, false);
    EnableCloseCommand(dialog, false);
  }
}

// Counting pass: the number of matches, pumping once per match. 0 when the
// search finds nothing.
static int32_t CountMatches(DialogHandle dialog, const char* pattern) {
  char name[PLAT_PATH_BUFFER];
  PlatSearch search = PlatFindFirst(pattern, name);
  if (search == PLAT_NO_SEARCH) return 0;
  int32_t count = 0;
  do {
    ++count;
    PumpMessages(dialog);
  } while (PlatFindNext(search, name));
  PlatFindClose(search);
  return count;
}

// Converts the open source into a temporary file that takes the target's
// name only when it is complete and stamped: whatever ends the run, nothing
// unfinished is ever at the target name, and nothing there is replaced.
static void ConvertTexture(DialogHandle dialog, PlatFile source, const char* sourcePath,
                           const char* target) {
  char temporary[PLAT_PATH_BUFFER];
  TemporaryPathOf(target, temporary);
  // What a run that ended abruptly left of this texture goes first.
  PlatDeleteFile(temporary);
  PlatFile output = PlatCreateTemporary(target, temporary);
  if (output == PLAT_NO_FILE) {
    LogWrite(dialog, LOG_ERROR, target);
    return;
  }
  if (ConvertZtexToTga(source, output, RunContext)) {
    uint64_t written;
    if (PlatGetLastWriteTime(source, &written)) PlatSetLastWriteTime(output, written);
    if (PlatPublishFile(output, target, temporary)) {
      LogWrite(dialog, LOG_OK, target);
      PlatClose(output);
      return;
    }
    LogWrite(dialog, LOG_ERROR, target);  // something took the name meanwhile
  } else {
    LogWrite(dialog, LOG_ERROR, sourcePath);
  }
  PlatClose(output);
  std::strcpy(PendingTemporary, temporary);
  PumpMessages(dialog);
  DeletePendingTemporary();
}

// One match of the texture loop: open, place, then move, skip or convert.
static void HandleTexture(DialogHandle dialog, const char* found) {
  char sourcePath[PLAT_PATH_BUFFER];
  char tgaName[PLAT_PATH_BUFFER];
  char basePath[PLAT_PATH_BUFFER];
  char target[PLAT_PATH_BUFFER];

  if (!IsPlainName(found)) {
    PlatSetLastError(ERROR_INVALID_NAME);
    LogWrite(dialog, LOG_ERROR, found);
    return;
  }
  JoinPath(nullptr, SOURCE_FOLDER, found, sourcePath);
  if (sourcePath[0] == '\0') {
    LogWrite(dialog, LOG_ERROR, found);
    return;
  }
  PlatFile source = PlatOpenRead(sourcePath);
  if (source == PLAT_NO_FILE) {
    LogWrite(dialog, LOG_ERROR, found);
    return;
  }

  // The tail "-C.TEX" is cut by length, whatever its letter case.
  const size_t stem = std::strlen(found) - SOURCE_TAIL_LENGTH;
  std::memcpy(tgaName, found, stem);
  std::strcpy(tgaName + stem, TGA_EXTENSION);
  JoinPath(nullptr, nullptr, tgaName, basePath);
  ResolveTargetPath(nullptr, nullptr, tgaName, target);
  if (basePath[0] == '\0' || target[0] == '\0') {
    LogWrite(dialog, LOG_ERROR, found);
  } else if (!ForceParentDirectories(target)) {
    LogWrite(dialog, LOG_ERROR, target);
  } else if (FileExists(basePath)) {
    PlatMoveFile(basePath, target);
    LogWrite(dialog, LOG_OK, target);
  } else if (FileExists(target)) {
    if (!NameCaseMatches(target)) PlatMoveFile(target, target);
    LogWrite(dialog, LOG_SKIPPED, target);
  } else {
    ConvertTexture(dialog, source, sourcePath, target);
  }
  PlatClose(source);
}

// Where the run looked, and a hint when the base directory is a _compiled
// folder itself (its parent was meant).
static void ExplainNoTextures(DialogHandle dialog, const char* pattern) {
  char base[PLAT_PATH_BUFFER];
  char line[LOG_LINE_SIZE];
  if (PlatGetCurrentDirectory(base, sizeof base) == 0) std::strcpy(base, ".");
  std::snprintf(line, sizeof line, "OskeltZTEX: nothing matches %s in %s", pattern, base);
  ExplainNotice(dialog, line);
  const char* last = base + std::strlen(base);
  while (last > base && last[-1] != '/' && last[-1] != '\\') --last;
  size_t i = 0;
  for (; last[i] != '\0' && SOURCE_FOLDER[i] != '\0'; ++i)
    if (PlatFoldCase(static_cast<unsigned char>(last[i])) !=
        PlatFoldCase(static_cast<unsigned char>(SOURCE_FOLDER[i])))
      return;
  if (last[i] != SOURCE_FOLDER[i]) return;
  std::snprintf(line, sizeof line,
                "OskeltZTEX: %s is itself a %s folder; pass the folder that holds it: OskeltZTEX -C %.*s",
                base, SOURCE_FOLDER, static_cast<int>(last - base > 1 ? last - base - 1 : last - base), base);
  ExplainNotice(dialog, line);
}

static void WriteSummary(DialogHandle dialog) {
  LogWrite(dialog, LOG_TEXT, "\r\n\r\nSummary:\r\n  Processed: ");
  LogWrite(dialog, LOG_NUMBER, ProcessedCount);
  LogWrite(dialog, LOG_TEXT, "\r\n  Skipped: ");
  LogWrite(dialog, LOG_NUMBER, SkippedCount);
  LogWrite(dialog, LOG_TEXT, "\r\n  Errors: ");
  LogWrite(dialog, LOG_NUMBER, ErrorCount);
  LogWrite(dialog, LOG_TEXT, "\r\n");
}

void RunConversion(DialogHandle dialog) {
  LogClear(dialog);
  WorkInProgress = true;
  SetControlsForRun(dialog);
  ResetCounters();
  // A run ended from inside leaves its context to the end of the process.
  if (RunContext == nullptr) RunContext = CreateConvertContext(0);  // none: buffers per texture

  char pattern[PLAT_PATH_BUFFER];
  JoinPath(nullptr, SOURCE_FOLDER, SOURCE_PATTERN, pattern);

  const int32_t matches = CountMatches(dialog, pattern);
  if (matches == 0) {
    ShowMessage(dialog, BOX_NOTICE, TEXT_NO_TEXTURES, nullptr);
    ExplainNoTextures(dialog, pattern);
  } else {
    ProgressReset(dialog, matches);
    char found[PLAT_PATH_BUFFER];
    PlatSearch search = PlatFindFirst(pattern, found);
    if (search != PLAT_NO_SEARCH) {
      do {
        PumpMessages(dialog);
        HandleTexture(dialog, found);
        ProgressStep(dialog, 1);
        PumpMessages(dialog);
      } while (PlatFindNext(search, found));
      PlatFindClose(search);
    }
    ProgressReset(dialog, 1);
    WriteSummary(dialog);
    if (CommandLineMode) HadErrors = ErrorCount != 0;
  }

  ReleaseConvertContext(RunContext);
  RunContext = nullptr;
  EnableControl(dialog, IDC_CONVERT, true);
  if (!CommandLineMode) {
    EnableControl(dialog, IDC_BROWSE, true);
  } else if (!HadErrors) {
    EndProcess(0);
    return;
  }
  EnableControl(dialog, IDC_EXIT, true);
  EnableCloseCommand(dialog, true);
  WorkInProgress = false;
}
