// The window operations of the dialog logic, carried out on the Qt window.
#include "OskeltZtexQtHost.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QWindow>

#include <cstring>
#include <string>
#include <utility>

#include "OskeltZTEX.h"
#include "OskeltZtexFolderMap.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHost.h"
#include "OskeltZtexQtWindow.h"
#include "Platform.h"

namespace {

QtMainWindow* Window(DialogHandle dialog) { return static_cast<QtMainWindow*>(dialog); }

QString FromSystem(const char* text) { return QString::fromLocal8Bit(text ? text : ""); }

// "\r\n" of the system's texts as the line breaks of Qt's.
QString Lines(const char* text) {
  QString lines = FromSystem(text);
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return lines;
}

// Text for the log pane waits until LOG_FLUSH_MS have passed since it was
// last laid out, so a long run lays out and paints the pane a few times a
// second rather than once per line. The flush is a timer, which the run's
// message pump fires when it is due; nothing is dropped.
const int LOG_FLUSH_MS = 50;

// Moves the text waiting for the log pane into it and scrolls to its end.
void FlushLog(QtMainWindow* window) {
  if (window->logFlush) window->logFlush->stop();
  window->lastLogFlush.restart();
  if (window->pendingLog.empty()) return;
  QPlainTextEdit* log = window->log;
  QTextCursor cursor(log->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromLocal8Bit(window->pendingLog.data(),
                                           static_cast<qsizetype>(window->pendingLog.size())));
  window->pendingLog.clear();
  log->setTextCursor(cursor);
  log->ensureCursorVisible();
}

void ScheduleLogFlush(QtMainWindow* window) {
  if (!window->logFlush) {
    window->logFlush = new QTimer(window);
    window->logFlush->setSingleShot(true);
    QObject::connect(window->logFlush, &QTimer::timeout, window, [window] { FlushLog(window); });
  }
  if (window->logFlush->isActive()) return;
  const qint64 since = window->lastLogFlush.isValid() ? window->lastLogFlush.elapsed() : LOG_FLUSH_MS;
  window->logFlush->start(since >= LOG_FLUSH_MS ? 0 : static_cast<int>(LOG_FLUSH_MS - since));
}

void ClearLog(DialogHandle dialog) {
  QtMainWindow* window = Window(dialog);
  window->pendingLog.clear();
  window->log->clear();
}

void AppendLog(DialogHandle dialog, const char* text) {
  QtMainWindow* window = Window(dialog);
  for (const char* p = text; *p; ++p) {
    if (p[0] == '\r' && p[1] == '\n') continue;
    window->pendingLog.push_back(*p);
  }
  if (!window->pendingLog.empty()) ScheduleLogFlush(window);
}

void* GetControl(DialogHandle dialog, int id) { return Window(dialog)->Control(id); }

// A dialog manager leaves the focus on a control that is disabled, so that
// it is there again once the control is enabled. Qt would move it on to the
// next control (Exit, after Convert); it waits on the dialog instead, where
// Enter reaches only the default button.
void EnableControl(DialogHandle dialog, int id, bool enable) {
  QtMainWindow* window = Window(dialog);
  QWidget* control = window->Control(id);
  if (!control) return;
  if (!enable && control->isEnabled() && window->focusWidget() == control) {
    window->setFocus(Qt::OtherFocusReason);
    window->parkedFocus = control;
  }
  control->setEnabled(enable);
  if (enable && window->parkedFocus == control) {
    if (window->focusWidget() == window) control->setFocus(Qt::OtherFocusReason);
    window->parkedFocus = nullptr;
  }
}

// The close button of the title bar; the flag is changed on the native window,
// since changing the widget's flags would hide a shown dialog.
void EnableCloseCommand(DialogHandle dialog, bool enable) {
  QtMainWindow* window = Window(dialog);
  window->closeEnabled = enable;
  if (QWindow* handle = window->windowHandle())
    handle->setFlag(Qt::WindowCloseButtonHint, enable);
  else
    window->setWindowFlag(Qt::WindowCloseButtonHint, enable);
}

void PumpMessages(DialogHandle) { QCoreApplication::processEvents(QEventLoop::AllEvents); }

// Win32's bar clamps its position to the range; Qt's ignores values outside
// it, and a range that excludes the value resets it to -1.
void ProgressReset(DialogHandle dialog, int32_t n) {
  QProgressBar* bar = Window(dialog)->progress;
  bar->setValue(0);
  // An empty range would show Qt's busy animation.
  bar->setRange(0, n > 0 ? n : 1);
  bar->setValue(0);
}

void ProgressStep(DialogHandle dialog, int32_t delta) {
  QProgressBar* bar = Window(dialog)->progress;
  const int64_t position = static_cast<int64_t>(bar->value()) + delta;
  const int64_t low = bar->minimum();
  const int64_t high = bar->maximum();
  bar->setValue(static_cast<int>(position < low ? low : position > high ? high : position));
}

// Lines about the next notice; ShowMessage shows them.
void ExplainNotice(DialogHandle dialog, const char* text) {
  QtMainWindow* window = Window(dialog);
  window->noticeDetails += text ? text : "";
  window->noticeDetails += '\n';
}

// Lines beside a box's main text are broken no narrower than this many
// average characters (a short line is not broken at all).
const int DETAILS_WIDTH_CHARS = 80;

// Text beside a box's main text, shown as written (no markup is read into
// it). The box widens for it up to DETAILS_WIDTH_CHARS rather than breaking
// paths and commands at every word.
void SetDetails(QMessageBox& box, const QString& details) {
  if (details.isEmpty()) return;
  box.setInformativeText(details);
  QLabel* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
  if (!label) return;
  label->setTextFormat(Qt::PlainText);
  const QFontMetrics metrics(label->font());
  int widest = 0;
  for (const QString& line : details.split(QLatin1Char('\n')))
    widest = qMax(widest, metrics.horizontalAdvance(line));
  label->setMinimumWidth(qMin(widest + 1, metrics.averageCharWidth() * DETAILS_WIDTH_CHARS));
}

// A notice also goes to standard error with the lines that explain it, in
// one write, as the console writes it.
void ReportNotice(const char* text, const std::string& details) {
  PlatWriteStandardError((std::string(text) + '\n' + details).c_str());
}

// The folder map in use, for the About box.
QString FolderMapDetails() {
  char ini[PLAT_PATH_BUFFER];
  if (!FolderMapLocation(ini)) return QString();
  return QStringLiteral("Folder map: ") + FromSystem(ini);
}

int ShowMessage(DialogHandle dialog, HostBoxKind kind, const char* text, const char* caption) {
  QtMainWindow* window = Window(dialog);
  FlushLog(window);
  const std::string details = std::move(window->noticeDetails);
  window->noticeDetails.clear();
  QMessageBox box(window);
  box.setTextFormat(Qt::PlainText);
  box.setText(Lines(text));
  box.setWindowTitle(FromSystem(caption));
  switch (kind) {
    case BOX_ERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case BOX_WARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case BOX_QUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case BOX_ABOUT:
      box.setIconPixmap(ProgramIcon().pixmap(48, 48));
      break;
    case BOX_NOTICE:
    default:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  if (kind == BOX_QUESTION) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
  }
  if (kind == BOX_ABOUT) {
    SetDetails(box, FolderMapDetails());
  } else if (kind != BOX_QUESTION) {
    QString lines = FromSystem(details.c_str());
    if (lines.endsWith(QLatin1Char('\n'))) lines.chop(1);
    SetDetails(box, lines);
    ReportNotice(text, details);
  }
  const int answer = box.exec();
  if (kind != BOX_QUESTION) return BOX_ANSWER_OK;
  return answer == QMessageBox::Yes ? BOX_ANSWER_YES : BOX_ANSWER_NO;
}

bool BrowseForFolder(DialogHandle dialog, char* out, const char* title, const char* start) {
  // The picker's caption is one line.
  QString caption = FromSystem(title);
  caption.replace(QLatin1String("\r\n"), QLatin1String(" "));
  caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
  const QString chosen = QFileDialog::getExistingDirectory(
      Window(dialog), caption, FromSystem(start),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) return false;
  const QByteArray bytes = QFile::encodeName(chosen);
  // A folder whose path does not fit the system's buffers has no usable path.
  if (bytes.size() > PLAT_MAX_PATH) return false;
  std::memcpy(out, bytes.constData(), static_cast<size_t>(bytes.size()));
  out[bytes.size()] = '\0';
  return true;
}

void SetPathText(DialogHandle dialog, const char* text) {
  QLineEdit* path = Window(dialog)->path;
  path->setText(FromSystem(text));
  path->setCursorPosition(0);
}

void SetFocus(DialogHandle dialog, int id) {
  if (QWidget* control = Window(dialog)->Control(id)) control->setFocus(Qt::OtherFocusReason);
}

void SetBigIcon(DialogHandle dialog) { Window(dialog)->setWindowIcon(ProgramIcon()); }

// Qt's hints need no window of their own: the dialog stands for it.
void* CreateToolTipWindow(DialogHandle dialog) { return dialog; }

void AddToolTip(DialogHandle dialog, void*, int id, const char* text) {
  if (QWidget* control = Window(dialog)->Control(id)) control->setToolTip(FromSystem(text));
}

// A timer fires again after its period until it is killed, and setting one
// with the id of a running timer restarts it, as Win32's do.
uint32_t SetTimer(DialogHandle dialog, uint32_t id, uint32_t milliseconds) {
  if (id == 0) return 0;
  QtMainWindow* window = Window(dialog);
  QTimer*& timer = window->timers[id];
  if (!timer) {
    timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [window, id] { MainDialogTimer(window, id); });
  }
  timer->start(static_cast<int>(milliseconds));
  return id;
}

void KillTimer(DialogHandle dialog, uint32_t id) {
  QtMainWindow* window = Window(dialog);
  auto found = window->timers.find(id);
  if (found == window->timers.end()) return;
  // The timer may be the one whose signal is being handled.
  found->second->stop();
  found->second->deleteLater();
  window->timers.erase(found);
}

void PostTimer(DialogHandle dialog, uint32_t id) { PostTimerEvent(Window(dialog), id); }

// QDialog::done would send the window a close event, which is the user's
// close request here; the dialog's own loop ends without one.
void EndDialog(DialogHandle dialog, intptr_t result) {
  QtMainWindow* window = Window(dialog);
  FlushLog(window);
  window->setResult(static_cast<int>(result));
  window->ended = true;
  window->hide();
  if (window->modalLoop) window->modalLoop->exit(static_cast<int>(result));
}

void ExitProcess(uint32_t code) { PlatExitProcess(code); }

// Every operation of the seam, slot by slot.
const HostOps QtOps = {
    .ClearLog = ClearLog, .AppendLog = AppendLog,
    .GetControl = GetControl, .EnableControl = EnableControl, .EnableCloseCommand = EnableCloseCommand,
    .PumpMessages = PumpMessages,
    .ProgressReset = ProgressReset, .ProgressStep = ProgressStep,
    .ShowMessage = ShowMessage, .ExplainNotice = ExplainNotice, .BrowseForFolder = BrowseForFolder,
    .SetPathText = SetPathText, .SetFocus = SetFocus, .SetBigIcon = SetBigIcon,
    .CreateToolTipWindow = CreateToolTipWindow, .AddToolTip = AddToolTip,
    .SetTimer = SetTimer, .KillTimer = KillTimer, .PostTimer = PostTimer,
    .EndDialog = EndDialog, .ExitProcess = ExitProcess,
};

}  // namespace

void InstallQtHost() { SetHost(&QtOps); }
