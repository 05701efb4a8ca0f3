// The conversion log: appends to the log pane, the lines of skipped and
// failed textures, the number format of the summary, and the counters.
#include <cstdio>
#include <cstring>

#include "OskeltZtexGlob.h"
#include "OskeltZtexUtil.h"

enum : size_t { LOG_LINE_SIZE = 4096 + 1, LOG_MESSAGE_SIZE = 256 };

void LogAppendText(DialogHandle dialog, const char* text) {
  if (text) Host->AppendLog(dialog, text);
}

// Appends text to a line of LOG_LINE_SIZE bytes; what does not fit is cut.
static void AppendToLine(char* line, size_t* length, const char* text) {
  if (!text) return;
  const size_t room = LOG_LINE_SIZE - 1 - *length;
  size_t add = std::strlen(text);
  if (add > room) add = room;
  std::memcpy(line + *length, text, add);
  *length += add;
  line[*length] = '\0';
}

static void WriteErrorLine(DialogHandle dialog, const char* text) {
  // The code is taken before anything else can change it.
  const uint32_t code = PlatGetLastError();
  char message[LOG_MESSAGE_SIZE];
  uint32_t count = PlatGetErrorText(code, message, sizeof message);
  if (count >= sizeof message) count = sizeof message - 1;
  message[count] = '\0';
  for (uint32_t i = 0; i < count; ++i)
    if (static_cast<unsigned char>(message[i]) < 0x21) message[i] = ' ';

  char line[LOG_LINE_SIZE];
  size_t length = 0;
  line[0] = '\0';
  AppendToLine(line, &length, "ERROR: ");
  AppendToLine(line, &length, text);
  AppendToLine(line, &length, " (");
  AppendToLine(line, &length, message);
  // The line always ends with its parenthesis and line break.
  if (length > LOG_LINE_SIZE - 4) length = LOG_LINE_SIZE - 4;
  line[length] = '\0';
  AppendToLine(line, &length, ")\r\n");
  LogAppendText(dialog, line);
}

static void WriteSkippedLine(DialogHandle dialog, const char* text) {
  char line[LOG_LINE_SIZE];
  size_t length = 0;
  line[0] = '\0';
  AppendToLine(line, &length, "skipped: ");
  AppendToLine(line, &length, text);
  if (length > LOG_LINE_SIZE - 3) length = LOG_LINE_SIZE - 3;
  line[length] = '\0';
  AppendToLine(line, &length, "\r\n");
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
  size_t length = 0;
  bool grouped = false;
  out[0] = '\0';
  for (uint32_t divisor : Divisors) {
    if (grouped || value >= divisor) {
      length += std::snprintf(out + length, 14 - length, grouped ? "%3.3u," : "%u,",
                              static_cast<unsigned>(value / divisor));
      value %= divisor;
      grouped = true;
    }
  }
  std::snprintf(out + length, 14 - length, grouped ? "%3.3u" : "%u", static_cast<unsigned>(value));
}

void ResetCounters() {
  ProcessedCount = 0;
  SkippedCount = 0;
  ErrorCount = 0;
}
