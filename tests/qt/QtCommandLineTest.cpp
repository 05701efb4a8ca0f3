// Command-line mode in the real window: the run starts by itself once the
// window is shown, Exit and Close are off while it runs, and the process ends
// with the exit codes of each case. The cases that end the process run as
// children of the test binary, or as the real program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "OskeltZtexGlob.h"
#include "Platform.h"
#include "QtDriver.h"
#include "QtScenario.h"
#include "TestSupport.h"
#include "ZtexWriter.h"

namespace {

namespace fs = std::filesystem;

QString Flag(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

std::map<QString, QString> Fields(const QString& moment, const ControlStates& s) {
  return {{"moment", moment},       {"browse", Flag(s.browse)},
          {"convert", Flag(s.convert)}, {"exit", Flag(s.exit)},
          {"info", Flag(s.info)},    {"close", Flag(s.closeButton)},
          {"running", Flag(s.workInProgress)}};
}

// The dialog with the child's command line, left to start by itself; once
// the run is over (or a box was answered) it reports the controls and closes
// the window from its title bar.
QT_SCENARIO(command_line) {
  QApplication application(argc, argv);
  DialogRecord record;
  DialogScript script;
  script.params = ChildParams;
  script.onBox = [](QMessageBox* box) {
    Report({{"box", box->text()}, {"title", box->windowTitle()}, {"detail", box->informativeText()}});
  };
  bool reported = false;
  script.onProgress = [&reported](QDialog* dialog, int) {
    if (!reported) Report(Fields("during", StatesOf(dialog)));
    reported = true;
  };
  script.onFirstShow = [](QDialog* dialog) { Report(Fields("shown", StatesOf(dialog))); };
  script.ready = [&record] { return !record.boxes.empty() || !record.progressValues.empty(); };
  script.onShown = [](QDialog* dialog) {
    Report(Fields("after", StatesOf(dialog)));
    PostClose(dialog);
    WaitFor([dialog] { return !dialog->isVisible(); });
  };
  return RunDialog(script, &record);
}

// As command_line, but a failed first run is followed by a second one after
// the failed source has been removed.
QT_SCENARIO(command_line_retry) {
  QApplication application(argc, argv);
  DialogRecord record;
  DialogScript script;
  script.params = ChildParams;
  script.ready = [&record] { return !record.progressValues.empty(); };
  script.onShown = [](QDialog* dialog) {
    Report(Fields("after", StatesOf(dialog)));
    fs::remove("_compiled/Truncated-C.TEX");
    Click(ButtonOf(dialog, IDC_CONVERT));
    Report(Fields("second", StatesOf(dialog)));
    PostClose(dialog);
    WaitFor([dialog] { return !dialog->isVisible(); });
  };
  return RunDialog(script, &record);
}

std::map<QString, QString> RecordOf(const ChildResult& child, const QString& key, const QString& value) {
  for (const auto& record : child.records) {
    auto found = record.find(key);
    if (found != record.end() && found->second == value) return record;
  }
  return {};
}

QString Describe(const ChildResult& child) {
  return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(child.exitCode).arg(child.out, child.err);
}

void WriteGoodTextures(const Workspace& work) {
  WriteTexture(work.Source("Banner-C.TEX"), ZTEXGEN_A4R4G4B4, 10, 6);
  WriteTexture(work.Source("Knight_Shield-C.TEX"), ZTEXGEN_DXT3, 16, 8);
  WriteTexture(work.Source("Stone_Wall-C.TEX"), ZTEXGEN_R5G6B5, 8, 12);
}

void WriteFailingTextures(const Workspace& work) {
  WriteTexture(work.Source("Banner-C.TEX"));
  WriteTruncatedTexture(work.Source("Truncated-C.TEX"));
}

std::string FailingRunLog() {
  return ErrorLine("_compiled\\Truncated-C.TEX", ERROR_HANDLE_EOF) +
         "\n\n\nSummary:\n  Processed: 2\n  Skipped: 0\n  Errors: 1\n";
}

const char CLEAN_RUN_LOG[] = "\n\nSummary:\n  Processed: 3\n  Skipped: 0\n  Errors: 0\n";

TEST(QtCommandLine, ACleanRunStartsByItselfInTheGivenFolderAndEndsTheProcessWithZero) {
  Workspace work;
  WriteGoodTextures(work);
  const ChildResult child = RunChild("command_line", {"-C", QString::fromStdString(work.base)},
                                     QString::fromStdString(work.temp.root));
  ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
  EXPECT_EQ(0, child.exitCode) << Describe(child).toStdString();
  // The log also goes to standard output, with "\n" line breaks.
  EXPECT_EQ(CLEAN_RUN_LOG, child.out.toStdString());
  EXPECT_TRUE(PathExists(work.Base("Banner.tga")));
  EXPECT_TRUE(PathExists(work.Base("Armor/Knight_Shield.tga")));
  EXPECT_TRUE(PathExists(work.Base("Worlds/Stone/Stone_Wall.tga")));

  // Shown first with every control on, then running without Exit and Close.
  ASSERT_GE(child.records.size(), 2u) << Describe(child).toStdString();
  EXPECT_EQ("shown", child.records[0].at("moment"));
  EXPECT_EQ("on", child.records[0].at("convert"));
  const auto during = RecordOf(child, "moment", "during");
  ASSERT_FALSE(during.empty()) << Describe(child).toStdString();
  EXPECT_EQ("on", during.at("running"));
  EXPECT_EQ("off", during.at("browse"));
  EXPECT_EQ("off", during.at("convert"));
  EXPECT_EQ("off", during.at("exit"));
  EXPECT_EQ("off", during.at("close"));
  EXPECT_EQ("on", during.at("info"));
  // The process ended inside the run, with no message.
  EXPECT_TRUE(RecordOf(child, "moment", "after").empty());
  EXPECT_TRUE(RecordOf(child, "title", "").empty());
}

TEST(QtCommandLine, ARunWithErrorsLeavesTheWindowOpenAndClosingItGivesOne) {
  Workspace work;
  WriteFailingTextures(work);
  const ChildResult child = RunChild("command_line", {"-c"}, QString::fromStdString(work.base));
  ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
  EXPECT_EQ(1, child.exitCode) << Describe(child).toStdString();
  EXPECT_EQ(FailingRunLog(), child.out.toStdString());
  const auto after = RecordOf(child, "moment", "after");
  ASSERT_FALSE(after.empty()) << Describe(child).toStdString();
  EXPECT_EQ("off", after.at("running"));
  EXPECT_EQ("off", after.at("browse"));
  EXPECT_EQ("on", after.at("convert"));
  EXPECT_EQ("on", after.at("exit"));
  EXPECT_EQ("on", after.at("close"));
  EXPECT_EQ("on", after.at("info"));
}

TEST(QtCommandLine, AfterAFailedRunASecondCleanRunEndsTheProcessWithZero) {
  Workspace work;
  WriteFailingTextures(work);
  const ChildResult child = RunChild("command_line_retry", {"xC"}, QString::fromStdString(work.base));
  ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
  EXPECT_EQ(0, child.exitCode) << Describe(child).toStdString();
  EXPECT_EQ(FailingRunLog() + "\n\nSummary:\n  Processed: 1\n  Skipped: 0\n  Errors: 0\n",
            child.out.toStdString());
  EXPECT_FALSE(RecordOf(child, "moment", "after").empty());
  EXPECT_TRUE(RecordOf(child, "moment", "second").empty());
}

TEST(QtCommandLine, NoTexturesShowsTheNoticeTheWindowStaysAndClosingItGivesOne) {
  Workspace work;
  const ChildResult child = RunChild("command_line", {"/C"}, QString::fromStdString(work.base));
  ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
  EXPECT_EQ(1, child.exitCode) << Describe(child).toStdString();
  const auto box = RecordOf(child, "box", "No textures found.");
  ASSERT_FALSE(box.empty()) << Describe(child).toStdString();
  EXPECT_EQ("", box.at("title"));
  // Where the run looked, beside the notice and after it on standard error.
  const QString looked = QString::fromStdString("OskeltZTEX: nothing matches _compiled\\*-C.TEX in " + work.base);
  EXPECT_EQ(looked, box.at("detail"));
  EXPECT_TRUE(child.err.contains("No textures found.\n" + looked + "\n")) << Describe(child).toStdString();
  const auto after = RecordOf(child, "moment", "after");
  ASSERT_FALSE(after.empty());
  EXPECT_EQ("on", after.at("convert"));
  EXPECT_EQ("on", after.at("exit"));
  EXPECT_EQ("on", after.at("close"));
  EXPECT_EQ("", child.out.toStdString());
}

// The reason for a notice, as the console gives it: the program's own text.
QString ReasonText(uint32_t code) {
  char text[256];
  const uint32_t n = PlatGetErrorText(code, text, sizeof text);
  return QString::fromLocal8Bit(text, static_cast<qsizetype>(n < sizeof text ? n : 0)).trimmed();
}

TEST(QtCommandLine, ABadCommandLineShowsInvalidParametersBeforeTheWindowAndEndsWithOne) {
  Workspace work;
  const QString missing = QString::fromStdString(work.temp.Path("missing"));
  const QString usage = "\nUsage: OskeltZTEX -C [BASEDIR]";
  const QList<std::pair<QStringList, QString>> badLines = {
      {{"-C", missing}, "OskeltZTEX: \"" + missing + "\": no such folder (" + ReasonText(ERROR_FILE_NOT_FOUND) + ")"},
      {{"-C", "work", "base"}, "OskeltZTEX: \"base\": too many parameters (-C takes one folder at most)"}};
  for (const auto& [params, reason] : badLines) {
    const ChildResult child = RunChild("command_line", params, QString::fromStdString(work.temp.root));
    ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
    EXPECT_EQ(1, child.exitCode) << Describe(child).toStdString();
    ASSERT_EQ(1u, child.records.size()) << Describe(child).toStdString();
    EXPECT_EQ("Invalid parameters!", child.records[0].at("box"));
    EXPECT_EQ("Quillmere", child.records[0].at("title"));
    // The parameter at fault and why, with the usage, beside the notice and
    // after it on standard error.
    EXPECT_EQ(reason + usage, child.records[0].at("detail"));
    EXPECT_TRUE(child.err.contains("Invalid parameters!\n" + reason + usage + "\n")) << Describe(child).toStdString();
  }
}

TEST(QtCommandLine, WithoutItsFolderMapTheProgramShowsTheIniErrorAndEndsWithOne) {
  TempDir elsewhere;
  const QString copy = QString::fromStdString(elsewhere.Path("copy_without_ini"));
  ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
  QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
  for (const QStringList& params : {QStringList{}, QStringList{"-C"}}) {
    const ChildResult child =
        RunChild("command_line", params, QString::fromStdString(elsewhere.root), copy);
    ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
    EXPECT_EQ(1, child.exitCode) << Describe(child).toStdString();
    ASSERT_EQ(1u, child.records.size()) << Describe(child).toStdString();
    EXPECT_EQ("Error on reading INI file!", child.records[0].at("box"));
    EXPECT_EQ("", child.records[0].at("title"));
    // The folder map looked for and why it could not be read.
    const QString reason = "OskeltZTEX: the folder map " + copy + ".ini is missing";
    EXPECT_EQ(reason, child.records[0].at("detail"));
    EXPECT_TRUE(child.err.contains("Error on reading INI file!\n" + reason + "\n")) << Describe(child).toStdString();
  }
}

QTimer* FallbackTimer(QDialog* dialog) {
  for (QTimer* timer : dialog->findChildren<QTimer*>())
    if (timer->isActive() && timer->interval() == 1000) return timer;
  return nullptr;
}

TEST(QtCommandLine, DuringTheRunExitCloseAndTheCloseShortcutDoNothing) {
  Workspace work;
  WriteFailingTextures(work);
  DialogRecord record;
  QString log;
  bool openAfterRun = false;
  DialogScript script;
  script.params = {"-C"};
  script.onProgress = [](QDialog* dialog, int value) {
    if (value != 1) return;
    PostClose(dialog);
    PostClick(ButtonOf(dialog, IDC_EXIT));
    QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_F4, Qt::AltModifier); });
  };
  script.ready = [&record] { return !record.progressValues.empty(); };
  script.onShown = [&](QDialog* dialog) {
    log = LogText(dialog);
    openAfterRun = dialog->isVisible();
    // Afterwards the same shortcut closes the window.
    QTest::keyClick(dialog, Qt::Key_F4, Qt::AltModifier);
  };
  bool leftOpen = false;
  EXPECT_EQ(1, RunDialog(script, &record, &leftOpen));
  EXPECT_FALSE(leftOpen);
  EXPECT_TRUE(record.boxes.empty());
  EXPECT_TRUE(openAfterRun);
  EXPECT_EQ(QString::fromStdString(FailingRunLog()), log);
}

TEST(QtCommandLine, TheAutoStartRunsOnceAndALaterShowStartsNothing) {
  Workspace work;
  WriteFailingTextures(work);
  DialogRecord record;
  size_t valuesAfterFirstRun = 0;
  int activeTimers = -1;
  DialogScript script;
  script.params = {"-C"};
  script.ready = [&record] { return !record.progressValues.empty(); };
  script.onShown = [&](QDialog* dialog) {
    valuesAfterFirstRun = record.progressValues.size();
    dialog->hide();
    dialog->show();
    WaitFor([] { return false; }, 50);
    activeTimers = FallbackTimer(dialog) ? 1 : 0;
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(1, RunDialog(script, &record));
  EXPECT_EQ(2, record.shows);
  EXPECT_EQ(3u, valuesAfterFirstRun);  // 1, 2, and 0 when the bar is emptied
  EXPECT_EQ(valuesAfterFirstRun, record.progressValues.size());
  // The one-second fallback was stopped when the posted message started the run.
  EXPECT_EQ(0, activeTimers);
}

TEST(QtCommandLine, TheMessagePostedWhenTheWindowIsShownStartsTheRun) {
  Workspace work;
  WriteFailingTextures(work);
  DialogRecord record;
  bool hadFallback = false;
  DialogScript script;
  script.params = {"-C"};
  // Without the one-second fallback only the posted message can start it.
  script.onFirstShow = [&](QDialog* dialog) {
    QTimer* fallback = FallbackTimer(dialog);
    hadFallback = fallback != nullptr;
    if (fallback) fallback->stop();
  };
  script.ready = [&record] { return !record.progressValues.empty(); };
  script.onShown = [](QDialog* dialog) { Click(ButtonOf(dialog, IDC_EXIT)); };
  bool leftOpen = true;
  EXPECT_EQ(1, RunDialog(script, &record, &leftOpen));
  EXPECT_TRUE(hadFallback);
  EXPECT_FALSE(leftOpen);
  EXPECT_EQ((std::vector<int>{1, 2, 0}), record.progressValues);
}

TEST(QtCommandLine, WhenThePostedMessageIsLostTheOneSecondTimerStartsTheRun) {
  Workspace work;
  WriteFailingTextures(work);
  DialogRecord record;
  DialogScript script;
  script.params = {"-C"};
  script.onFirstShow = [](QDialog* dialog) { QCoreApplication::removePostedEvents(dialog); };
  script.ready = [&record] { return !record.progressValues.empty(); };
  script.onShown = [](QDialog* dialog) { Click(ButtonOf(dialog, IDC_EXIT)); };
  bool leftOpen = true;
  EXPECT_EQ(1, RunDialog(script, &record, &leftOpen));
  EXPECT_FALSE(leftOpen);
  EXPECT_EQ((std::vector<int>{1, 2, 0}), record.progressValues);
}

#ifdef OSKELT_PROGRAM
TEST(QtCommandLine, TheProgramWithADisplayRunsTheWindowAndPrintsTheLog) {
  Workspace work;
  WriteGoodTextures(work);
  const ChildResult child =
      RunChild(QString(), {"-C", QString::fromStdString(work.base)}, QString::fromStdString(work.temp.root),
               QStringLiteral(OSKELT_PROGRAM),
               {{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ":oskelt-test"}, {"XDG_RUNTIME_DIR", QString()}});
  ASSERT_TRUE(child.finished && !child.crashed) << Describe(child).toStdString();
  EXPECT_EQ(0, child.exitCode) << Describe(child).toStdString();
  EXPECT_EQ(CLEAN_RUN_LOG, child.out.toStdString());
  // A runtime folder was provided, so Qt had nothing to warn about.
  EXPECT_FALSE(child.err.contains("XDG_RUNTIME_DIR")) << Describe(child).toStdString();
}

TEST(QtCommandLine, TheProgramWithADisplayThatCannotBeOpenedSaysSoInsteadOfAborting) {
  Workspace work;
  WriteGoodTextures(work);
  const ChildResult child = RunChild(
      QString(), {"-C"}, QString::fromStdString(work.base), QStringLiteral(OSKELT_PROGRAM),
      {{"QT_QPA_PLATFORM", QString()}, {"DISPLAY", ":94242"}, {"WAYLAND_DISPLAY", QString()}});
  ASSERT_TRUE(child.finished) << Describe(child).toStdString();
  EXPECT_FALSE(child.crashed) << Describe(child).toStdString();
  EXPECT_TRUE(child.err.contains("cannot open the display :94242")) << Describe(child).toStdString();
}
#endif

}  // namespace
