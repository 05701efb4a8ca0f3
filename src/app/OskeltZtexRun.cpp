// The batch run: every _compiled\*-C.TEX of the base directory (the current
// directory) is moved into place, skipped or converted into a TGA file.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

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

// What every temporary name of this program carries after the target's
// name: a marker, a tag of the run and an end that no TGA has.
static const char TEMPORARY_MARKER[] = ".oskeltztex-";
static const char TEMPORARY_END[] = ".tmp";
const size_t TAG_LENGTH = 17;  // "XXXXXXXX-XXXXXXXX"
const size_t TEMPORARY_SUFFIX = sizeof TEMPORARY_MARKER - 1 + TAG_LENGTH + sizeof TEMPORARY_END - 1;
const size_t PATH_LIMIT = PLAT_MAX_PATH;

// The run's tag: the process id and a random number, 8 hex digits each.
static const char* RunTag() {
  static char tag[TAG_LENGTH + 1];
  if (tag[0] == '\0') {
    uint32_t random = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      std::random_device device;
      random ^= device();
    } catch (...) {
      // The clock alone still sets this run apart from the runs before it.
    }
    std::snprintf(tag, sizeof tag, "%08X-%08X", static_cast<unsigned>(PlatGetProcessId()),
                  static_cast<unsigned>(random));
  }
  return tag;
}

// Where the last component of a path begins.
static size_t NameStart(const char* path) {
  size_t at = std::strlen(path);
  while (at > 0 && path[at - 1] != '\\' && path[at - 1] != '/') --at;
  return at;
}

// How much of the target path a temporary name keeps before its suffix: all
// of it, or as much of its last component as the path limit leaves.
static bool TemporaryStem(const char* target, size_t* stem) {
  const size_t length = std::strlen(target);
  const size_t name = NameStart(target);
  *stem = length + TEMPORARY_SUFFIX <= PATH_LIMIT ? length : PATH_LIMIT - TEMPORARY_SUFFIX;
  if (*stem < name) return PlatFail(ERROR_FILENAME_EXCED_RANGE);
  return true;
}

static bool TemporaryWithTag(const char* target, const char* tag, char* out) {
  size_t stem = 0;
  if (!TemporaryStem(target, &stem)) {
    out[0] = '\0';
    return false;
  }
  std::memmove(out, target, stem);
  std::snprintf(out + stem, PLAT_PATH_BUFFER - stem, "%s%s%s", TEMPORARY_MARKER, tag, TEMPORARY_END);
  return true;
}

bool TemporaryPathOf(const char* target, char* out) { return TemporaryWithTag(target, RunTag(), out); }

// Temporary files that runs which have ended left for this target: a kill
// before a file was published, or between its publishing and the removal
// of its temporary name. A file that a live run still holds stays, and so
// does every name that is not one of this program's temporary names.
static void RemoveLeftovers(const char* target) {
  char anyTag[TAG_LENGTH + 1];
  std::memset(anyTag, '?', TAG_LENGTH);
  anyTag[8] = '-';
  anyTag[TAG_LENGTH] = '\0';
  char pattern[PLAT_PATH_BUFFER];
  if (!TemporaryWithTag(target, anyTag, pattern)) return;
  const size_t folder = NameStart(target);
  char name[PLAT_PATH_BUFFER];
  const PlatSearch search = PlatFindFirst(pattern, name);
  if (search == PLAT_NO_SEARCH) return;
  do {
    char path[PLAT_PATH_BUFFER];
    const size_t length = std::strlen(name);
    if (folder + length > PATH_LIMIT) continue;
    std::memcpy(path, target, folder);
    std::memcpy(path + folder, name, length + 1);
    PlatDeleteLeftover(path);
  } while (PlatFindNext(search, name));
  PlatFindClose(search);
}

// A log that can no longer reach standard output ends the run as a
// confirmed close does.
static void Pump(DialogHandle dialog) {
  PumpMessages(dialog);
  if (LogOutputLost()) CloseMainDialogNow(dialog);
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
    Pump(dialog);
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
  if (!TemporaryPathOf(target, temporary)) {
    LogWrite(dialog, LOG_ERROR, target);
    return;
  }
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
  Pump(dialog);
  DeletePendingTemporary();
}

// The decision for a texture whose target folder exists: move a flat TGA
// into place, skip a placed one, or convert. A flat TGA that cannot be moved
// because a file of its name lies at the target already stays where it is,
// both files kept; any other failure of the move is an error.
static void PlaceTexture(DialogHandle dialog, PlatFile source, const char* sourcePath,
                         const char* basePath, const char* target) {
  RemoveLeftovers(target);
  if (FileExists(basePath)) {
    if (PlatMoveFile(basePath, target) || std::strcmp(basePath, target) == 0 ||
        PlatGetLastError() == ERROR_ALREADY_EXISTS || PlatGetLastError() == ERROR_FILE_EXISTS)
      LogWrite(dialog, LOG_OK, target);
    else
      LogWrite(dialog, LOG_ERROR, target);
  } else if (FileExists(target)) {
    if (!NameCaseMatches(target)) PlatMoveFile(target, target);
    LogWrite(dialog, LOG_SKIPPED, target);
  } else {
    ConvertTexture(dialog, source, sourcePath, target);
  }
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
  } else {
    PlaceTexture(dialog, source, sourcePath, basePath, target);
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
  const char* last = base + NameStart(base);
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
    ExplainNoTextures(dialog, pattern);
    ShowMessage(dialog, BOX_NOTICE, TEXT_NO_TEXTURES, nullptr);
  } else {
    ProgressReset(dialog, matches);
    char found[PLAT_PATH_BUFFER];
    PlatSearch search = PlatFindFirst(pattern, found);
    if (search != PLAT_NO_SEARCH) {
      do {
        Pump(dialog);
        HandleTexture(dialog, found);
        ProgressStep(dialog, 1);
        Pump(dialog);
      } while (PlatFindNext(search, found));
      PlatFindClose(search);
    }
    ProgressReset(dialog, 1);
    WriteSummary(dialog);
    if (CommandLineMode) HadErrors = ErrorCount != 0;
    if (LogOutputLost()) CloseMainDialogNow(dialog);
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
