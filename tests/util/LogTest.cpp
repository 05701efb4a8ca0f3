// The conversion log through the recording front end: the lines of each
// kind, the counters, the number format and the system message's text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OskeltZtexGlob.h"
#include "OskeltZtexUtil.h"
#include "RecordingHost.h"
#include "UtilTestSupport.h"

namespace {

class Log : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallRecordingHost();
    ResetCounters();
  }
  void TearDown() override { ResetCounters(); }
  void ExpectCounts(uint32_t processed, uint32_t skipped, uint32_t errors) {
    EXPECT_EQ(processed, ProcessedCount);
    EXPECT_EQ(skipped, SkippedCount);
    EXPECT_EQ(errors, ErrorCount);
  }
};

std::string Thousands(uint32_t value) {
  char out[32];
  std::memset(out, 0x55, sizeof out);
  FormatThousands(value, out);
  for (size_t i = 14; i < sizeof out; ++i) EXPECT_EQ(0x55, out[i]) << value;
  return out;
}

std::string Composed(const char* text, const char* message, uint32_t count) {
  char line[LOG_LINE_SIZE + 16];
  std::memset(line, 0x55, sizeof line);
  ComposeErrorLine(text, message, count, line);
  for (size_t i = LOG_LINE_SIZE; i < sizeof line; ++i) EXPECT_EQ(0x55, line[i]);
  return line;
}

TEST_F(Log, TextGoesInUnchangedWithoutALineBreak) {
  LogWrite(TestDialog(), LOG_TEXT, "one");
  LogWrite(TestDialog(), LOG_TEXT, " two\r\n");
  LogWrite(TestDialog(), LOG_TEXT, static_cast<const char*>(nullptr));
  EXPECT_EQ("one two\r\n", Rec.log);
  ExpectCounts(0, 0, 0);
}

TEST_F(Log, NumbersCarryThousandsSeparators) {
  LogWrite(TestDialog(), LOG_NUMBER, 1234567u);
  LogWrite(TestDialog(), LOG_TEXT, "|");
  LogWrite(TestDialog(), LOG_NUMBER, 0u);
  EXPECT_EQ("1,234,567|0", Rec.log);
  ExpectCounts(0, 0, 0);
}

TEST_F(Log, AConvertedTextureOnlyCounts) {
  LogWrite(TestDialog(), LOG_OK, "walls\\stone.tga");
  EXPECT_EQ("", Rec.log);
  ExpectCounts(1, 0, 0);
}

TEST_F(Log, ASkipIsALineAndCountsTwice) {
  LogWrite(TestDialog(), LOG_SKIPPED, "Armor\\FOO.tga");
  EXPECT_EQ("skipped: Armor\\FOO.tga\r\n", Rec.log);
  ExpectCounts(1, 1, 0);
}

TEST_F(Log, AnErrorShowsTheSystemTextOfTheLastErrorCode) {
  PlatSetLastError(ERROR_FILE_NOT_FOUND);
  LogWrite(TestDialog(), LOG_ERROR, "_compiled\\BAR-C.TEX");
  EXPECT_EQ("ERROR: _compiled\\BAR-C.TEX (" + ShownErrorText(ERROR_FILE_NOT_FOUND) + ")\r\n", Rec.log);
  EXPECT_NE("", ShownErrorText(ERROR_FILE_NOT_FOUND));
  ExpectCounts(1, 0, 1);

  Rec.log.clear();
  PlatSetLastError(ERROR_FILE_CORRUPT);
  LogWrite(TestDialog(), LOG_ERROR, "x");
  EXPECT_EQ("ERROR: x (" + ShownErrorText(ERROR_FILE_CORRUPT) + ")\r\n", Rec.log);
  ExpectCounts(2, 0, 2);
}

TEST_F(Log, ACodeWithoutTextLeavesTheParenthesesEmpty) {
  const uint32_t unknown = 0x2BAD1DEAu;
  char text[LOG_MESSAGE_SIZE];
  ASSERT_EQ(0u, PlatGetErrorText(unknown, text, sizeof text));
  PlatSetLastError(unknown);
  LogWrite(TestDialog(), LOG_ERROR, "FOO-C.TEX");
  EXPECT_EQ("ERROR: FOO-C.TEX ()\r\n", Rec.log);
}

TEST_F(Log, ControlCharactersOfTheSystemTextBecomeSpaces) {
  EXPECT_EQ("ERROR: a.tga (Bad thing.  )\r\n", Composed("a.tga", "Bad\tthing.\r\n", 12));
  EXPECT_EQ("ERROR: a.tga ( x y  z!\xE9)\r\n", Composed("a.tga", "\x01x\x1Fy \nz!\xE9", 9));
  // Only count characters of the message are taken.
  EXPECT_EQ("ERROR: a.tga (abc)\r\n", Composed("a.tga", "abcdef", 3));
  EXPECT_EQ("ERROR: a.tga ()\r\n", Composed("a.tga", "", 0));
  EXPECT_EQ("ERROR:  ()\r\n", Composed(nullptr, nullptr, 0));
}

TEST_F(Log, NoNameOrPathCanBreakOrForgeALine) {
  // A file name may hold line breaks and other control characters on some
  // systems; in a line each shows as '?', so nothing can pose as a summary.
  PlatSetLastError(ERROR_INVALID_NAME);
  LogWrite(TestDialog(), LOG_ERROR, "x\nSummary:\n  Errors: 0\r\nz\t\x1b[2J-C.TEX");
  LogWrite(TestDialog(), LOG_SKIPPED, "Armor\\a\nb.tga");
  const std::string error = "ERROR: x?Summary:?  Errors: 0??z??[2J-C.TEX (" + ShownErrorText(ERROR_INVALID_NAME) + ")\r\n";
  EXPECT_EQ(error + "skipped: Armor\\a?b.tga\r\n", Rec.log);
  ExpectCounts(2, 1, 1);
  // Bytes from 0x20 up stay as they are.
  EXPECT_EQ("ERROR: caf\xE9 ~ (m)\r\n", Composed("caf\xE9 ~", "m", 1));
}

TEST_F(Log, ALineNeverOutgrowsItsBuffer) {
  const std::string huge(6000, 'n');
  const std::string line = Composed(huge.c_str(), "text", 4);
  EXPECT_EQ(static_cast<size_t>(LOG_LINE_SIZE - 1), line.size());
  EXPECT_EQ("ERROR: nnn", line.substr(0, 10));
  EXPECT_EQ("nnn)\r\n", line.substr(line.size() - 6));

  PlatSetLastError(ERROR_ACCESS_DENIED);
  LogWrite(TestDialog(), LOG_ERROR, huge.c_str());
  EXPECT_EQ(static_cast<size_t>(LOG_LINE_SIZE - 1), Rec.log.size());
  EXPECT_EQ(")\r\n", Rec.log.substr(Rec.log.size() - 3));
  Rec.log.clear();
  LogWrite(TestDialog(), LOG_SKIPPED, huge.c_str());
  EXPECT_EQ(static_cast<size_t>(LOG_LINE_SIZE - 1), Rec.log.size());
  EXPECT_EQ("skipped: nnn", Rec.log.substr(0, 12));
  EXPECT_EQ("n\r\n", Rec.log.substr(Rec.log.size() - 3));
  ExpectCounts(2, 1, 1);
}

TEST_F(Log, AnUnknownKindDoesNothing) {
  for (unsigned kind : {5u, 6u, 200u, 255u}) {
    LogWrite(TestDialog(), static_cast<uint8_t>(kind), "text");
    LogWrite(TestDialog(), static_cast<uint8_t>(kind), 7u);
  }
  EXPECT_EQ("", Rec.log);
  ExpectCounts(0, 0, 0);
}

TEST_F(Log, WithoutALogPaneTheOutcomesStillCount) {
  Rec.hasLogPane = false;
  LogWrite(TestDialog(), LOG_TEXT, "text");
  LogWrite(TestDialog(), LOG_SKIPPED, "a.tga");
  PlatSetLastError(ERROR_ACCESS_DENIED);
  LogWrite(TestDialog(), LOG_ERROR, "b.tga");
  LogWrite(TestDialog(), LOG_OK, "c.tga");
  EXPECT_EQ("", Rec.log);
  ExpectCounts(3, 1, 1);
}

TEST_F(Log, TheSummaryOfOneOutcomeOfEachKind) {
  LogWrite(TestDialog(), LOG_OK, "a.tga");
  LogWrite(TestDialog(), LOG_SKIPPED, "Armor\\b.tga");
  PlatSetLastError(ERROR_FILE_CORRUPT);
  LogWrite(TestDialog(), LOG_ERROR, "_compiled\\C-C.TEX");
  LogWrite(TestDialog(), LOG_TEXT, "\r\n\r\nSummary:\r\n  Processed: ");
  LogWrite(TestDialog(), LOG_NUMBER, ProcessedCount);
  LogWrite(TestDialog(), LOG_TEXT, "\r\n  Skipped: ");
  LogWrite(TestDialog(), LOG_NUMBER, SkippedCount);
  LogWrite(TestDialog(), LOG_TEXT, "\r\n  Errors: ");
  LogWrite(TestDialog(), LOG_NUMBER, ErrorCount);
  LogWrite(TestDialog(), LOG_TEXT, "\r\n");
  EXPECT_EQ("skipped: Armor\\b.tga\r\n"
            "ERROR: _compiled\\C-C.TEX (" + ShownErrorText(ERROR_FILE_CORRUPT) + ")\r\n"
            "\r\n\r\nSummary:\r\n  Processed: 3\r\n  Skipped: 1\r\n  Errors: 1\r\n",
            Rec.log);
}

TEST_F(Log, ResetCountersStartsFromZero) {
  LogWrite(TestDialog(), LOG_SKIPPED, "a.tga");
  LogWrite(TestDialog(), LOG_ERROR, "b.tga");
  ResetCounters();
  ExpectCounts(0, 0, 0);
  LogWrite(TestDialog(), LOG_OK, "c.tga");
  ExpectCounts(1, 0, 0);
}

TEST(FormatThousands, GroupsOfThreeDigitsAfterTheFirst) {
  EXPECT_EQ("0", Thousands(0));
  EXPECT_EQ("999", Thousands(999));
  EXPECT_EQ("1,000", Thousands(1000));
  EXPECT_EQ("12,345", Thousands(12345));
  EXPECT_EQ("999,999", Thousands(999999));
  EXPECT_EQ("1,000,000", Thousands(1000000));
  EXPECT_EQ("1,000,005", Thousands(1000005));
  EXPECT_EQ("10,000,000", Thousands(10000000));
  EXPECT_EQ("1,000,000,000", Thousands(1000000000u));
  EXPECT_EQ("4,294,967,295", Thousands(4294967295u));
}

}  // namespace
