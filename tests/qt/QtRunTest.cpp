// A batch run in the real window, normal mode: Convert, the controls while it
// runs and after it, the progress bar, the log pane, the close confirmation,
// the About box, the keyboard and the folder picker.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
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

// Four textures, one of each outcome, in the order of the search:
// converted, skipped (its mapped TGA exists in Armor), failed, converted.
void WriteMixedTextures(const Workspace& work) {
  WriteTexture(work.Source("A_Good-C.TEX"), ZTEXGEN_DXT1, 12, 8);
  WriteTexture(work.Source("Knight_Helmet-C.TEX"));
  fs::create_directories(work.Base("Armor"));
  WriteText(work.Base("Armor/Knight_Helmet.tga"), "an older picture");
  WriteTruncatedTexture(work.Source("Truncated-C.TEX"));
  WriteTexture(work.Source("Zeta-C.TEX"), ZTEXGEN_A8R8G8B8, 6, 5);
}

QString MixedRunLog() {
  return QString::fromStdString("skipped: Armor\\Knight_Helmet.tga\n" +
                                ErrorLine("_compiled\\Truncated-C.TEX", ERROR_HANDLE_EOF) +
                                "\n\n\nSummary:\n  Processed: 4\n  Skipped: 1\n  Errors: 1\n");
}

QString AboutText() { return QString::fromLatin1(TEXT_ABOUT).replace(QLatin1String("\r\n"), QLatin1String("\n")); }

TEST(QtRun, ConvertClickedConvertsTheTexturesAndLogsEachSkipAndErrorWithTheSummary) {
  Workspace work;
  WriteMixedTextures(work);
  DialogRecord record;
  QString log;
  ControlStates after;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    log = LogText(dialog);
    after = StatesOf(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));

  EXPECT_EQ(MixedRunLog(), log);
  EXPECT_TRUE(PathExists(work.Base("A_Good.tga")));
  EXPECT_TRUE(PathExists(work.Base("Zeta.tga")));
  EXPECT_FALSE(PathExists(work.Base("Truncated.tga")));
  const Bytes kept = ReadBytes(work.Base("Armor/Knight_Helmet.tga"));
  EXPECT_EQ("an older picture", std::string(kept.begin(), kept.end()));
  EXPECT_TRUE(record.boxes.empty());
  // The bar's range is the number of textures, it steps once per texture,
  // whatever the outcome, and is left empty.
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 0}), record.progressValues);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(4, record.atProgress[i].progressMax) << i;
  EXPECT_EQ(0, after.progressMin);
  EXPECT_EQ(1, after.progressMax);
  EXPECT_EQ(0, after.progressValue);
}

TEST(QtRun, ControlsDuringTheRunAndAfterItInNormalMode) {
  Workspace work;
  WriteMixedTextures(work);
  DialogRecord record;
  ControlStates before, after;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    before = StatesOf(dialog);
    Click(ButtonOf(dialog, IDC_CONVERT));
    after = StatesOf(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));

  EXPECT_TRUE(before.browse && before.convert && before.exit && before.info && before.closeButton);
  EXPECT_FALSE(before.workInProgress);
  ASSERT_EQ(5u, record.atProgress.size());
  for (const ControlStates& during : record.atProgress) {
    EXPECT_TRUE(during.workInProgress);
    EXPECT_FALSE(during.browse);
    EXPECT_FALSE(during.convert);
    EXPECT_TRUE(during.exit);
    EXPECT_TRUE(during.info);
    EXPECT_TRUE(during.closeButton);
  }
  EXPECT_FALSE(after.workInProgress);
  EXPECT_TRUE(after.browse && after.convert && after.exit && after.info && after.closeButton);
}

TEST(QtRun, EachRunStartsWithAnEmptyLogAndFreshCounts) {
  Workspace work;
  WriteMixedTextures(work);
  QString first, second;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    first = LogText(dialog);
    Click(ButtonOf(dialog, IDC_CONVERT));
    second = LogText(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, nullptr));
  EXPECT_EQ(MixedRunLog(), first);
  // The converted TGAs now lie in the base directory and count without a line.
  EXPECT_EQ(MixedRunLog(), second);
}

TEST(QtRun, NothingToConvertShowsTheNoticeAndLeavesTheBarAsItWas) {
  Workspace work;
  DialogRecord record;
  QString log;
  ControlStates after;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    log = LogText(dialog);
    after = StatesOf(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  ASSERT_EQ(1u, record.boxes.size());
  const SeenBox& box = record.boxes[0];
  EXPECT_EQ("No textures found.", box.text);
  // Beside it, where the run looked.
  EXPECT_EQ(QString::fromStdString("OskeltZTEX: nothing matches _compiled\\*-C.TEX in " + work.base), box.detail);
  EXPECT_EQ("", box.title);
  EXPECT_EQ("none", box.icon);
  EXPECT_EQ(QStringList{"Ok"}, box.buttons);
  EXPECT_TRUE(box.ownedByDialog);
  EXPECT_TRUE(box.dialogVisible);
  EXPECT_EQ("", log);
  EXPECT_TRUE(record.progressValues.empty());
  EXPECT_EQ(100, after.progressMax);
  EXPECT_TRUE(after.browse && after.convert && after.exit);
}

TEST(QtRun, CloseOrExitDuringARunAsksAndNoLetsTheRunGoOn) {
  Workspace work;
  WriteMixedTextures(work);
  DialogRecord record;
  QString log;
  DialogScript script;
  script.answers = {"No", "No"};
  script.onProgress = [](QDialog* dialog, int value) {
    if (value == 1) PostClose(dialog);
    if (value == 2) PostClick(ButtonOf(dialog, IDC_EXIT));
  };
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    log = LogText(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));

  ASSERT_EQ(2u, record.boxes.size());
  for (const SeenBox& box : record.boxes) {
    EXPECT_EQ("Work is in progress!", box.title);
    EXPECT_EQ("Do you want to terminate the program?", box.text);
    EXPECT_EQ("question", box.icon);
    EXPECT_EQ((QStringList{"No", "Yes"}), box.buttons);
    EXPECT_EQ("No", box.defaultButton);
    EXPECT_TRUE(box.ownedByDialog);
  }
  EXPECT_EQ(1, record.boxes[0].progressValue);
  EXPECT_EQ(2, record.boxes[1].progressValue);
  EXPECT_EQ(MixedRunLog(), log);
  EXPECT_TRUE(PathExists(work.Base("Zeta.tga")));
}

TEST(QtRun, ATextureAddedBetweenTheTwoSearchesStepsABarThatStaysFull) {
  Workspace work;
  WriteTexture(work.Source("A-C.TEX"));
  WriteTexture(work.Source("B-C.TEX"));
  DialogRecord record;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    // Delivered by the first pump of the counting pass.
    QTimer::singleShot(0, dialog, [&work] { WriteTexture(work.Source("C-C.TEX")); });
    Click(ButtonOf(dialog, IDC_CONVERT));
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  ASSERT_TRUE(PathExists(work.Base("C.tga")));
  EXPECT_EQ((std::vector<int>{1, 2, 0}), record.progressValues);
  ASSERT_EQ(3u, record.atProgress.size());
  EXPECT_EQ(2, record.atProgress[1].progressMax);
  EXPECT_EQ(2, record.atProgress[1].progressValue);
}

// Ends the process inside the run: a child of the test.
QT_SCENARIO(close_during_run) {
  QApplication application(argc, argv);
  DialogScript script;
  script.params = ChildParams;
  script.answers = {"Yes"};
  script.onProgress = [](QDialog* dialog, int value) {
    if (value == 1) PostClose(dialog);
  };
  script.onBox = [](QMessageBox* box) {
    Report({{"box", box->text()}, {"title", box->windowTitle()}});
  };
  script.onShown = [](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_CONVERT));
    Report({{"run", "ended"}});
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  return RunDialog(script, nullptr);
}

TEST(QtRun, CloseDuringARunAnsweredYesEndsTheProcessWithOneAndTheRunNeverResumes) {
  Workspace work;
  for (const char* name : {"A-C.TEX", "B-C.TEX", "C-C.TEX", "D-C.TEX"}) WriteTexture(work.Source(name));
  const ChildResult child = RunChild("close_during_run", {}, QString::fromStdString(work.base));
  ASSERT_TRUE(child.finished);
  ASSERT_FALSE(child.crashed) << child.err.toStdString();
  EXPECT_EQ(1, child.exitCode);
  ASSERT_EQ(1u, child.records.size()) << child.err.toStdString();
  EXPECT_EQ("Do you want to terminate the program?", child.records[0].at("box"));
  EXPECT_EQ("Work is in progress!", child.records[0].at("title"));
  // Only the texture before the close was converted.
  EXPECT_TRUE(PathExists(work.Base("A.tga")));
  for (const char* name : {"B.tga", "C.tga", "D.tga"}) EXPECT_FALSE(PathExists(work.Base(name))) << name;
}

TEST(QtRun, TheAboutBoxShowsTheProgramsIconAndTextAlsoWhileARunWaitsForIt) {
  Workspace work;
  WriteMixedTextures(work);
  DialogRecord record;
  int progressWhileOpen = -1;
  DialogScript script;
  script.onProgress = [](QDialog* dialog, int value) {
    if (value == 2) PostClick(ButtonOf(dialog, IDC_INFO));
  };
  script.onBox = [&](QMessageBox* box) {
    // The box is modal: while it is open the run does not go on.
    QDialog* dialog = static_cast<QDialog*>(box->parentWidget());
    WaitFor([] { return false; }, 100);
    progressWhileOpen = ProgressOf(dialog)->value();
  };
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_INFO));
    Click(ButtonOf(dialog, IDC_CONVERT));
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));

  ASSERT_EQ(2u, record.boxes.size());
  for (const SeenBox& box : record.boxes) {
    EXPECT_EQ("About", box.title);
    EXPECT_EQ(AboutText(), box.text);
    // Beside it, the folder map in use: the one beside the program here.
    EXPECT_EQ("Folder map: " + QCoreApplication::applicationFilePath() + ".ini", box.detail);
    EXPECT_EQ("pixmap", box.icon);
    EXPECT_EQ(QStringList{"Ok"}, box.buttons);
    EXPECT_TRUE(box.ownedByDialog);
  }
  EXPECT_EQ(0, record.boxes[0].progressValue);
  EXPECT_EQ(2, record.boxes[1].progressValue);
  EXPECT_EQ(2, progressWhileOpen);
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 0}), record.progressValues);
}

TEST(QtRun, EscDoesNothingAndEnterInTheLogPaneStartsNoRun) {
  Workspace work;
  WriteMixedTextures(work);
  DialogRecord record;
  bool openAfterEsc = false;
  size_t valuesBeforeEnter = 99;
  QString log;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    QTest::keyClick(dialog, Qt::Key_Escape);
    openAfterEsc = dialog->isVisible();
    QWidget* pane = ControlOf(dialog, IDC_LOG);
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Return);
    QTest::keyClick(pane, Qt::Key_Enter);
    valuesBeforeEnter = record.progressValues.size();
    // Enter on the default button runs the conversion.
    QTest::keyClick(ControlOf(dialog, IDC_CONVERT), Qt::Key_Return);
    log = LogText(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  EXPECT_TRUE(openAfterEsc);
  EXPECT_EQ(0u, valuesBeforeEnter);
  EXPECT_TRUE(record.boxes.empty());
  EXPECT_EQ(MixedRunLog(), log);
}

TEST(QtRun, ThePickerStartsAtTheBaseDirectoryOffersFoldersAndACancelChangesNothing) {
  Workspace work;
  DialogRecord record;
  QString pathText;
  DialogScript script;
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_BROWSE));
    pathText = static_cast<QLineEdit*>(ControlOf(dialog, IDC_PATH))->text();
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  ASSERT_TRUE(record.pickerSeen);
  EXPECT_EQ(QString::fromStdString(work.base), record.pickerStart);
  EXPECT_EQ("Base directory for search/conversion: (usually ...\\_work\\data\\Textures)", record.pickerTitle);
  EXPECT_TRUE(record.pickerDirsOnly);
  EXPECT_TRUE(record.pickerFoldersMode);
  EXPECT_FALSE(record.pickerNative);
  EXPECT_EQ(QString::fromStdString(work.base), pathText);
  EXPECT_EQ(work.base, fs::current_path().string());
}

TEST(QtRun, AFolderChosenInThePickerBecomesTheBaseDirectory) {
  Workspace work;
  const std::string other = work.temp.Path("other folder");
  fs::create_directories(other + "/_compiled");
  WriteTexture(other + "/_compiled/Elsewhere-C.TEX");
  QString pathText;
  DialogScript script;
  script.onPicker = [&](QFileDialog*) { return QString::fromStdString(other); };
  script.onShown = [&](QDialog* dialog) {
    Click(ButtonOf(dialog, IDC_BROWSE));
    pathText = static_cast<QLineEdit*>(ControlOf(dialog, IDC_PATH))->text();
    Click(ButtonOf(dialog, IDC_CONVERT));
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, nullptr));
  EXPECT_EQ(QString::fromStdString(other), pathText);
  EXPECT_TRUE(PathExists(other + "/Elsewhere.tga"));
}

}  // namespace
