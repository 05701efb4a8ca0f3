// Drives the real Qt main dialog from inside its own event loop: runs it with
// a command line, answers its message boxes and folder pickers, watches its
// controls while a run is in progress, and re-runs the test binary as a child
// process for the scenarios that end the process.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

class QDialog;
class QFileDialog;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QWidget;

// A message box as it was shown.
struct SeenBox {
  QString title;
  QString text;
  QString detail;        // the informative text beside it
  QString icon;          // "none", "information", "warning", "critical", "question", "pixmap"
  QStringList buttons;   // standard button names in Qt's order: "Ok", "Yes", "No"
  QString defaultButton;
  bool ownedByDialog = false;
  bool dialogVisible = false;
  int progressValue = -2;  // of the main dialog's bar, -2 when there was none
};

// The states of the main dialog's controls at one moment.
struct ControlStates {
  bool browse = false, convert = false, exit = false, info = false;
  bool closeButton = false;  // the title bar's close button
  bool workInProgress = false;
  int progressMin = 0, progressMax = 0, progressValue = 0;
};

// Everything the driver records of one dialog run.
struct DialogRecord {
  std::vector<SeenBox> boxes;
  // Snapshot at each change of the progress bar's value, in order.
  std::vector<ControlStates> atProgress;
  std::vector<int> progressValues;
  int shows = 0;
  bool pickerSeen = false;
  QString pickerTitle;
  QString pickerStart;
  bool pickerDirsOnly = false;
  bool pickerFoldersMode = false;
  bool pickerNative = true;
};

// What the driver does when something appears. Message boxes are answered
// with the next answer ("Ok", "Yes", "No"); with none left, with their
// default button.
struct DialogScript {
  std::vector<std::string> params;  // the command line after the program
  std::deque<QString> answers;
  // Runs once when the main dialog has first been shown, before anything
  // else happens in its event loop; must not wait.
  std::function<void(QDialog*)> onFirstShow;
  // Runs once, in the dialog's own event loop and never inside a batch run,
  // as soon as the dialog is shown, no run is active and ready() holds (by
  // default at once).
  std::function<bool()> ready;
  std::function<void(QDialog*)> onShown;
  // Runs at each change of the progress bar's value, inside the run.
  std::function<void(QDialog*, int value)> onProgress;
  // Runs when a message box is shown, before it is answered.
  std::function<void(QMessageBox*)> onBox;
  // The folder picker: return the folder to choose, or "" to cancel.
  std::function<QString(QFileDialog*)> onPicker;
};

// Runs the main dialog as the program does, with script, and returns its exit
// code. The process's flags and counters are reset first. When onShown
// returns with the dialog still open, the dialog is ended (and leftOpen set).
int RunDialog(DialogScript script, DialogRecord* record, bool* leftOpen = nullptr);

// Controls of the main dialog by id.
QWidget* ControlOf(QDialog* dialog, int id);
QPushButton* ButtonOf(QDialog* dialog, int id);
QProgressBar* ProgressOf(QDialog* dialog);
QString LogText(QDialog* dialog);
ControlStates StatesOf(QDialog* dialog);

// Pumps events until condition holds or timeoutMs passes; returns condition.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Clicks a button as the user does (press and release over it).
void Click(QWidget* button);
// Posts a click on a button, to be delivered by the next message pump.
void PostClick(QWidget* button);
// Posts the window's Close command, as the title bar's button sends it.
void PostClose(QDialog* dialog);

// A base directory two levels below a fresh temporary folder, made current,
// with an empty _compiled folder. Its ..\..\data\Textures (the default base
// of normal mode) lies inside the temporary folder and does not exist.
struct Workspace {
  Workspace();
  std::string Base(const std::string& name = std::string()) const;
  std::string Source(const std::string& name) const;  // in _compiled
  TempDir temp;
  std::string base;
};

// Textures for the runs.
// A decodable texture of the given ZTEX format code.
void WriteTexture(const std::string& path, uint32_t format = 10, uint32_t width = 8,
                  uint32_t height = 8);
// A texture whose pixel data ends early (the conversion fails with 38).
void WriteTruncatedTexture(const std::string& path);
// The log line of a failed texture, with the system's text of code.
std::string ErrorLine(const std::string& logged, uint32_t code);

// A child run of this test binary: scenario name and its command line.
struct ChildResult {
  bool finished = false;
  bool crashed = false;
  int exitCode = -1;
  QString out;
  QString err;
  std::vector<std::map<QString, QString>> records;  // lines "@key=value\t..." of err
};
ChildResult RunChild(const QString& scenario, const QStringList& params,
                     const QString& workingDirectory, const QString& program = QString(),
                     const std::map<QString, QString>& environment = {});
// Runs a scenario in this process as a child of RunChild; returns its code.
int RunScenario(const std::string& name, int argc, char** argv);
// Writes a record line for the parent: "@key=value\tkey=value".
void Report(const std::map<QString, QString>& fields);
