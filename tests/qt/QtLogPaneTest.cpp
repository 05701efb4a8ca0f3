// The log pane over long runs: every line arrives, in order, the summary
// closes it, the pane ends scrolled to its last line, and appending keeps up
// with a pump per line.
#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include <cstdio>
#include <string>

#include "OskeltZtexGlob.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"
#include "QtDriver.h"
#include "TestSupport.h"

namespace {

QPlainTextEdit* PaneOf(QDialog* dialog) { return qobject_cast<QPlainTextEdit*>(ControlOf(dialog, IDC_LOG)); }

std::string Numbered(const char* prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%05d", prefix, i);
  return name;
}

TEST(QtLogPane, ALongRunKeepsEveryLineInOrderAndEndsWithTheSummary) {
  const int count = 2000;
  Workspace work;
  for (int i = 0; i < count; ++i) WriteTruncatedTexture(work.Source(Numbered("T", i) + "-C.TEX"));
  std::string expected;
  for (int i = 0; i < count; ++i)
    expected += ErrorLine("_compiled\\" + Numbered("T", i) + "-C.TEX", ERROR_HANDLE_EOF) + "\n";
  expected += "\n\nSummary:\n  Processed: 2,000\n  Skipped: 0\n  Errors: 2,000\n";

  QString log;
  bool atEnd = false, atLeft = false;
  DialogRecord record;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    log = LogText(dialog);
    QPlainTextEdit* pane = PaneOf(dialog);
    // Scrolled so that the last line, the summary's, is in view.
    QTextCursor end(pane->document());
    end.movePosition(QTextCursor::End);
    end.movePosition(QTextCursor::PreviousBlock);
    atEnd = pane->viewport()->rect().contains(pane->cursorRect(end));
    atLeft = pane->horizontalScrollBar()->value() == 0;
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  EXPECT_EQ(expected, log.toStdString());
  EXPECT_TRUE(atEnd);
  EXPECT_TRUE(atLeft);
  EXPECT_EQ(static_cast<size_t>(count + 1), record.progressValues.size());
}

TEST(QtLogPane, TensOfThousandsOfLinesWithAPumpPerLineArriveWhole) {
  const int lines = 50000;
  const std::string line = "skipped: Worlds\\Stone\\A_Rather_Long_Texture_Name_For_The_Pane.tga\r\n";
  qint64 pumpsOnly = 0, withText = 0;
  int blocks = 0;
  QString last;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < lines; ++i) PumpMessages(dialog);
    pumpsOnly = clock.nsecsElapsed();
    clock.restart();
    for (int i = 0; i < lines; ++i) {
      LogAppendText(dialog, line.c_str());
      PumpMessages(dialog);
    }
    LogAppendText(dialog, "\r\n\r\nSummary:\r\n  Processed: 50,000\r\n");
    withText = clock.nsecsElapsed();
    QPlainTextEdit* pane = PaneOf(dialog);
    const QString text = LogText(dialog);
    blocks = pane->blockCount();
    last = text.section(QLatin1Char('\n'), -2, -2);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, nullptr));
  // Each line a block, two empty ones, the summary's two, and the empty last.
  EXPECT_EQ(lines + 5, blocks);
  EXPECT_EQ("  Processed: 50,000", last);
  const double perTenThousand = 1e4 / lines / 1e6;
  RecordProperty("ms_per_10000_pumps", std::to_string(pumpsOnly * perTenThousand));
  RecordProperty("ms_per_10000_lines_with_pumps", std::to_string(withText * perTenThousand));
  std::printf("10,000 pumps: %.1f ms; 10,000 lines with a pump each: %.1f ms\n", pumpsOnly * perTenThousand,
              withText * perTenThousand);
}

}  // namespace
