// The conversion log and its counters: text appended to the log pane, the
// lines of skipped and failed textures, the number format of the summary.
#pragma once

#include <cstdint>

#include "OskeltZtexHost.h"

enum : uint8_t { LOG_TEXT = 0, LOG_NUMBER = 1, LOG_OK = 2, LOG_SKIPPED = 3, LOG_ERROR = 4 };

// Counters of the current (or last) batch run: every logged outcome, the
// skipped and the failed ones. Only LogWrite counts; ResetCounters clears.
extern uint32_t ProcessedCount;
extern uint32_t SkippedCount;
extern uint32_t ErrorCount;

// Empties the log pane.
void LogClear(DialogHandle dialog);
// Appends text to the log pane and, while the log goes to standard output,
// there too.
void LogAppendText(DialogHandle dialog, const char* text);

// The log's copy on standard output, for scripts: while it is on, each line
// goes there in one write as soon as it is complete. A write that fails
// loses the output for good: LogOutputLost() is true from then on (the
// program then ends its run as a confirmed close does), and the reason went
// to standard error unless the reader had gone. A write given up because the
// process was asked to end drops that text only.
void LogToStandardOutput(bool on);
bool LogOutputLost();
// Writes what waits for the rest of its line; called before the process ends.
void LogFinishOutput();
// LOG_TEXT, LOG_OK, LOG_SKIPPED and LOG_ERROR take a text (unused by LOG_OK);
// LOG_NUMBER takes a number.
void LogWrite(DialogHandle dialog, uint8_t kind, const char* text);
void LogWrite(DialogHandle dialog, uint8_t kind, uint32_t number);
// value in decimal with comma thousands separators; out holds 14 bytes.
void FormatThousands(uint32_t value, char* out);
void ResetCounters();

enum : uint32_t { LOG_LINE_SIZE = 4096 + 1, LOG_MESSAGE_SIZE = 256 };
// The platform's one-line text of an error code, without a line break at
// its end, into out (LOG_MESSAGE_SIZE bytes); empty when there is none.
void ErrorText(uint32_t code, char* out);
// The LOG_ERROR line "ERROR: text (message)\r\n" into line (LOG_LINE_SIZE
// bytes), from the first count characters of a system message; every
// character of the text below 0x20 becomes '?', of the message below 0x21 a
// space. A line that would be longer is cut before its closing ")\r\n".
void ComposeErrorLine(const char* text, const char* message, uint32_t count, char* line);
