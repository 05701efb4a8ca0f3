// The conversion log: appends to the log pane, the lines of skipped and
// failed textures, the number format of the summary, and the counters.
// A line is at most 4,096 characters: a longer text is cut, and the line
// still ends as its kind says.
#include "OskeltZtexLog.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Platform.h"

uint32_t ProcessedCount = 0;
uint32_t SkippedCount = 0;
uint32_t ErrorCount = 0;

void ErrorText(uint32_t code, char* out) {
  uint32_t length = PlatGetErrorText(code, out, LOG_MESSAGE_SIZE);
  if (length >= LOG_MESSAGE_SIZE) length = LOG_MESSAGE_SIZE - 1;
  while (length > 0 && static_cast<unsigned char>(out[length - 1]) <= ' ') --length;
  out[length] = '\0';
}

void LogClear(DialogHandle dialog) {
  if (Host && Host->ClearLog) Host->ClearLog(dialog);
}

static bool OutputOn = false;
static bool OutputLost = false;
static std::string OutputTail;  // the text of the line not yet complete

void LogToStandardOutput(bool on) {
  OutputOn = on;
  OutputLost = false;
  OutputTail.clear();
}

bool LogOutputLost() { return OutputLost; }

static void WriteOutput(const char* text, size_t size) {
  if (PlatWriteStandardOutput(text, static_cast<uint32_t>(size))) return;
  const uint32_t code = PlatGetLastError();
  if (code == ERROR_OPERATION_ABORTED) return;
  OutputLost = true;
  OutputTail.clear();
  if (code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA) return;  // its reader went away
  char reason[LOG_MESSAGE_SIZE];
  ErrorText(code, reason);
  char line[LOG_MESSAGE_SIZE + 96];
  std::snprintf(line, sizeof line, "OskeltZTEX: the log cannot be written to standard output (%s)\r\n", reason);
  PlatWriteStandardError(line);
}

// Complete lines go out at once, in one write; the rest waits for its line.
static void MirrorText(const char* text) {
  if (!OutputOn || OutputLost) return;
  const uint32_t code = PlatGetLastError();
  const char* lastBreak = std::strrchr(text, '\n');
  if (lastBreak == nullptr) {
    OutputTail += text;
  } else {
    const size_t complete = static_cast<size_t>(lastBreak - text) + 1;
    if (OutputTail.empty()) {
      WriteOutput(text, complete);
    } else {
      OutputTail.append(text, complete);
      WriteOutput(OutputTail.data(), OutputTail.size());
    }
    OutputTail.assign(OutputLost ? "" : lastBreak + 1);
  }
  PlatSetLastError(code);
}

void LogFinishOutput() {
  if (!OutputOn || OutputLost || OutputTail.empty()) return;
  const uint32_t code = PlatGetLastError();
  std::string tail;
  tail.swap(OutputTail);
  WriteOutput(tail.data(), tail.size());
  PlatSetLastError(code);
}

void LogAppendText(DialogHandle dialog, const char* text) {
  if (!text) return;
  if (Host && Host->AppendLog) Host->AppendLog(dialog, text);
  MirrorText(text);
}

// Appends up to count characters of text to a line of LOG_LINE_SIZE bytes,
// keeping reserve characters free at its end.
static void AppendToLine(char* line, size_t* length, const char* text, size_t count,
                         size_t reserve) {
  if (!text) return;
  const size_t limit = LOG_LINE_SIZE - 1 - reserve;
  const size_t room = *length < limit ? limit - *length : 0;
  if (count > room) count = room;
  std::memcpy(line + *length, text, count);
  *length += count;
  line[*length] = '\0';
}

static void AppendToLine(char* line, size_t* length, const char* text, size_t reserve) {
  if (text) AppendToLine(line, length, text, std::strlen(text), reserve);
}

// A name or path as a line shows it: each control character (a line break
// in a file name, say) as '?', so that no name can break or forge a line.
static void AppendName(char* line, size_t* length, const char* text, size_t reserve) {
  const size_t start = *length;
  AppendToLine(line, length, text, reserve);
  for (size_t i = start; i < *length; ++i)
    if (static_cast<unsigned char>(line[i]) < 0x20) line[i] = '?';
}

void ComposeErrorLine(const char* text, const char* message, uint32_t count, char* line) {
  static const char Close[] = ")\r\n";
  const size_t reserve = sizeof Close - 1;
  if (!line) return;
  size_t length = 0;
  line[0] = '\0';
  AppendToLine(line, &length, "ERROR: ", reserve);
  AppendName(line, &length, text, reserve);
  AppendToLine(line, &length, " (", reserve);
  if (message) {
    const void* end = std::memchr(message, '\0', count);
    if (end) count = static_cast<uint32_t>(static_cast<const char*>(end) - message);
    const size_t start = length;
    AppendToLine(line, &length, message, count, reserve);
    for (size_t i = start; i < length; ++i)
      if (static_cast<unsigned char>(line[i]) < 0x21) line[i] = ' ';
  }
  AppendToLine(line, &length, Close, 0);
}

static void WriteErrorLine(DialogHandle dialog, const char* text) {
  // The code is taken before anything else can change it.
  const uint32_t code = PlatGetLastError();
  char message[LOG_MESSAGE_SIZE];
  uint32_t count = PlatGetErrorText(code, message, sizeof message);
  if (count >= sizeof message) count = sizeof message - 1;
  message[count] = '\0';
  char line[LOG_LINE_SIZE];
  ComposeErrorLine(text, message, count, line);
  LogAppendText(dialog, line);
}

static void WriteSkippedLine(DialogHandle dialog, const char* text) {
  static const char End[] = "\r\n";
  const size_t reserve = sizeof End - 1;
  char line[LOG_LINE_SIZE];
  size_t length = 0;
  line[0] = '\0';
  AppendToLine(line, &length, "skipped: ", reserve);
  AppendName(line, &length, text, reserve);
  AppendToLine(line, &length, End, 0);
  LogAppendText(dialog, line);
}

static void WriteEntry(DialogHandle dialog, uint8_t kind, const char* text, uint32_t number) {
  switch (kind) {
    case LOG_TEXT:
      LogAppendText(dialog, text);
      break;
    case LOG_NUMBER: {
      char digits[14];
      FormatThousands(number, digits);
      LogAppendText(dialog, digits);
      break;
    }
    case LOG_OK:
      ++ProcessedCount;
      break;
    case LOG_SKIPPED:
      WriteSkippedLine(dialog, text);
      ++ProcessedCount;
      ++SkippedCount;
      break;
    case LOG_ERROR:
      WriteErrorLine(dialog, text);
      ++ProcessedCount;
      ++ErrorCount;
      break;
    default:
      break;
  }
}

void LogWrite(DialogHandle dialog, uint8_t kind, const char* text) {
  WriteEntry(dialog, kind, text, 0);
}

void LogWrite(DialogHandle dialog, uint8_t kind, uint32_t number) {
  WriteEntry(dialog, kind, nullptr, number);
}

void FormatThousands(uint32_t value, char* out) {
  static const uint32_t Divisors[] = {1000000000u, 1000000u, 1000u};
  enum : size_t { SIZE = 14 };  // "4,294,967,295" and its terminator
  if (!out) return;
  size_t length = 0;
  bool grouped = false;
  out[0] = '\0';
  for (uint32_t divisor : Divisors) {
    if (grouped || value >= divisor) {
      length += static_cast<size_t>(std::snprintf(out + length, SIZE - length, grouped ? "%3.3u," : "%u,",
                                                  static_cast<unsigned>(value / divisor)));
      value %= divisor;
      grouped = true;
    }
  }
  std::snprintf(out + length, SIZE - length, grouped ? "%3.3u" : "%u", static_cast<unsigned>(value));
}

void ResetCounters() {
  ProcessedCount = 0;
  SkippedCount = 0;
  ErrorCount = 0;
}
