#include "QtDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <filesystem>

#include "OskeltZtexGlob.h"
#include "OskeltZtexHost.h"
#include "OskeltZtexQt.h"
#include "OskeltZtexQtWindow.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"
#include "QtScenario.h"
#include "TestSupport.h"
#include "ZtexWriter.h"

namespace {

const char MAIN_DIALOG_NAME[] = "OskeltZtexMain";

QString IconName(QMessageBox* box) {
  switch (box->icon()) {
    case QMessageBox::Information:
      return QStringLiteral("information");
    case QMessageBox::Warning:
      return QStringLiteral("warning");
    case QMessageBox::Critical:
      return QStringLiteral("critical");
    case QMessageBox::Question:
      return QStringLiteral("question");
    case QMessageBox::NoIcon:
    default:
      return box->iconPixmap().isNull() ? QStringLiteral("none") : QStringLiteral("pixmap");
  }
}

QString ButtonName(QMessageBox* box, QAbstractButton* button) {
  switch (box->standardButton(button)) {
    case QMessageBox::Ok:
      return QStringLiteral("Ok");
    case QMessageBox::Yes:
      return QStringLiteral("Yes");
    case QMessageBox::No:
      return QStringLiteral("No");
    default:
      return button ? button->text() : QString();
  }
}

QAbstractButton* ButtonNamed(QMessageBox* box, const QString& name) {
  for (QAbstractButton* button : box->buttons())
    if (ButtonName(box, button) == name) return button;
  return nullptr;
}

// Watches the application's windows appear while the dialog runs.
class Watcher : public QObject {
 public:
  Watcher(DialogScript* script, DialogRecord* record, bool* leftOpen)
      : script_(script), record_(record), leftOpen_(leftOpen) {}

  bool eventFilter(QObject* object, QEvent* event) override {
    if (!object->isWidgetType()) return false;
    QWidget* widget = static_cast<QWidget*>(object);
    // The main dialog's ShowToParent follows its show event, so the script
    // starts after the dialog has handled being shown.
    if (widget->objectName() == QLatin1String(MAIN_DIALOG_NAME)) {
      if (event->type() == QEvent::ShowToParent) MainShown(static_cast<QDialog*>(widget));
      return false;
    }
    if (event->type() != QEvent::Show) return false;
    if (QMessageBox* box = qobject_cast<QMessageBox*>(widget)) {
      BoxShown(box);
    } else if (QFileDialog* picker = qobject_cast<QFileDialog*>(widget)) {
      PickerShown(picker);
    }
    return false;
  }

 private:
  void MainShown(QDialog* dialog) {
    ++record_->shows;
    if (record_->shows > 1) return;
    QProgressBar* bar = ProgressOf(dialog);
    QObject::connect(bar, &QProgressBar::valueChanged, dialog, [this, dialog](int value) {
      record_->progressValues.push_back(value);
      record_->atProgress.push_back(StatesOf(dialog));
      if (script_->onProgress) script_->onProgress(dialog, value);
    });
    // A dialog that waits for something that never comes fails the test
    // instead of hanging it.
    QTimer::singleShot(20000, dialog, [dialog] {
      ADD_FAILURE() << "the dialog was still open after 20 s";
      Host->EndDialog(dialog, 0);
    });
    if (script_->onFirstShow) script_->onFirstShow(dialog);
    // A poll, so that the script starts from the dialog's own loop: a timer
    // that fires inside a run's message pump waits for the run's end.
    QTimer* poll = new QTimer(dialog);
    QObject::connect(poll, &QTimer::timeout, dialog, [this, dialog, poll] {
      if (WorkInProgress || (script_->ready && !script_->ready())) return;
      poll->stop();
      poll->deleteLater();
      if (script_->onShown) script_->onShown(dialog);
      if (dialog->isVisible()) {
        if (leftOpen_) *leftOpen_ = true;
        Host->EndDialog(dialog, 0);
      }
    });
    poll->start(5);
  }

  void BoxShown(QMessageBox* box) {
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = IconName(box);
    for (QAbstractButton* button : box->buttons()) seen.buttons << ButtonName(box, button);
    seen.buttons.sort();
    seen.defaultButton = ButtonName(box, box->defaultButton());
    QWidget* owner = box->parentWidget();
    seen.ownedByDialog = owner && owner->objectName() == QLatin1String(MAIN_DIALOG_NAME);
    if (seen.ownedByDialog) {
      seen.dialogVisible = owner->isVisible();
      seen.progressValue = ProgressOf(static_cast<QDialog*>(owner))->value();
    }
    record_->boxes.push_back(seen);
    if (script_->onBox) script_->onBox(box);
    QString answer = seen.defaultButton;
    if (!script_->answers.empty()) {
      answer = script_->answers.front();
      script_->answers.pop_front();
    }
    QAbstractButton* button = ButtonNamed(box, answer);
    if (!button) button = box->defaultButton();
    QTimer::singleShot(0, button, [button] { button->click(); });
  }

  void PickerShown(QFileDialog* picker) {
    record_->pickerSeen = true;
    record_->pickerTitle = picker->windowTitle();
    record_->pickerStart = picker->directory().absolutePath();
    record_->pickerDirsOnly = picker->testOption(QFileDialog::ShowDirsOnly);
    record_->pickerFoldersMode = picker->fileMode() == QFileDialog::Directory;
    record_->pickerNative = !picker->testOption(QFileDialog::DontUseNativeDialog);
    const QString chosen = script_->onPicker ? script_->onPicker(picker) : QString();
    QTimer::singleShot(0, picker, [picker, chosen] {
      if (chosen.isEmpty()) {
        picker->reject();
      } else {
        picker->setDirectory(chosen);
        QMetaObject::invokeMethod(picker, "accept");
      }
    });
  }

  DialogScript* script_;
  DialogRecord* record_;
  bool* leftOpen_;
};

void ResetProcessState() {
  WorkInProgress = false;
  CommandLineMode = false;
  HadErrors = false;
  AutoStartTimer = AUTO_START_TIMER_ID;
  ResetCounters();
  LogToStandardOutput(false);
}

}  // namespace

int RunDialog(DialogScript script, DialogRecord* record, bool* leftOpen) {
  ResetProcessState();
  static std::vector<std::string> storage;
  static std::vector<const char*> list;
  storage.assign(1, QCoreApplication::applicationFilePath().toStdString());
  storage.insert(storage.end(), script.params.begin(), script.params.end());
  list.clear();
  for (const std::string& param : storage) list.push_back(param.c_str());
  list.push_back(nullptr);
  ParamCount = static_cast<int>(storage.size()) - 1;
  ParamList = list.data();

  DialogRecord ignored;
  if (!record) record = &ignored;
  if (leftOpen) *leftOpen = false;
  Watcher watcher(&script, record, leftOpen);
  qApp->installEventFilter(&watcher);
  const int code = ExecQtMainDialog();
  qApp->removeEventFilter(&watcher);
  return code;
}

QWidget* ControlOf(QDialog* dialog, int id) {
  const char* name = nullptr;
  switch (id) {
    case IDC_PATH: name = "IDC_PATH"; break;
    case IDC_BROWSE: name = "IDC_BROWSE"; break;
    case IDC_LOG: name = "IDC_LOG"; break;
    case IDC_INFO: name = "IDC_INFO"; break;
    case IDC_CONVERT: name = "IDC_CONVERT"; break;
    case IDC_EXIT: name = "IDC_EXIT"; break;
    case IDC_PROGRESS: name = "IDC_PROGRESS"; break;
    default: return nullptr;
  }
  return dialog->findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

QPushButton* ButtonOf(QDialog* dialog, int id) { return qobject_cast<QPushButton*>(ControlOf(dialog, id)); }

QProgressBar* ProgressOf(QDialog* dialog) {
  return qobject_cast<QProgressBar*>(ControlOf(dialog, IDC_PROGRESS));
}

QString LogText(QDialog* dialog) {
  // Text waiting for the pane reaches it shortly, in the event loop.
  QtMainWindow* window = static_cast<QtMainWindow*>(dialog);
  EXPECT_TRUE(WaitFor([window] { return window->pendingLog.empty(); }));
  QCoreApplication::processEvents();
  return qobject_cast<QPlainTextEdit*>(ControlOf(dialog, IDC_LOG))->toPlainText();
}

ControlStates StatesOf(QDialog* dialog) {
  ControlStates states;
  states.browse = ControlOf(dialog, IDC_BROWSE)->isEnabled();
  states.convert = ControlOf(dialog, IDC_CONVERT)->isEnabled();
  states.exit = ControlOf(dialog, IDC_EXIT)->isEnabled();
  states.info = ControlOf(dialog, IDC_INFO)->isEnabled();
  states.closeButton =
      dialog->windowHandle() && (dialog->windowHandle()->flags() & Qt::WindowCloseButtonHint);
  states.workInProgress = WorkInProgress;
  QProgressBar* bar = ProgressOf(dialog);
  states.progressMin = bar->minimum();
  states.progressMax = bar->maximum();
  states.progressValue = bar->value();
  return states;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

void PostClick(QWidget* button) {
  QTimer::singleShot(0, button, [button] { Click(button); });
}

void PostClose(QDialog* dialog) {
  QTimer::singleShot(0, dialog, [dialog] {
    // The window system's close request, as the title bar's button sends it.
    dialog->windowHandle()->close();
  });
}

Workspace::Workspace() {
  base = temp.Path("work/base");
  std::filesystem::create_directories(base + "/_compiled");
  std::filesystem::current_path(base);
}

std::string Workspace::Base(const std::string& name) const { return name.empty() ? base : base + "/" + name; }

std::string Workspace::Source(const std::string& name) const { return base + "/_compiled/" + name; }

void WriteTexture(const std::string& path, uint32_t format, uint32_t width, uint32_t height) {
  RgbaImage image;
  MakePattern("quadrants", width, height, 1, &image);
  ByteVector bytes;
  BuildZtexFile(format, image, 1, &bytes);
  WriteBytes(path, bytes);
}

void WriteTruncatedTexture(const std::string& path) {
  RgbaImage image;
  MakePattern("gradient", 16, 16, 1, &image);
  ByteVector bytes;
  BuildZtexFile(ZTEXGEN_DXT1, image, 1, &bytes);
  bytes.resize(36 + 20);
  WriteBytes(path, bytes);
}

std::string ErrorLine(const std::string& logged, uint32_t code) {
  char text[256];
  const uint32_t n = PlatGetErrorText(code, text, sizeof text);
  std::string message(text, n < sizeof text ? n : sizeof text - 1);
  for (char& c : message)
    if (static_cast<unsigned char>(c) < 0x21) c = ' ';
  return "ERROR: " + logged + " (" + message + ")";
}

namespace {

QString Escape(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
  escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
  return escaped;
}

QString Unescape(const QString& text) {
  QString plain;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
      const QChar next = text[++i];
      plain += next == QLatin1Char('n') ? QChar('\n') : next == QLatin1Char('t') ? QChar('\t') : next;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

}  // namespace

void Report(const std::map<QString, QString>& fields) {
  QStringList parts;
  for (const auto& field : fields) parts << field.first + QLatin1Char('=') + Escape(field.second);
  const QByteArray line = "@" + parts.join(QLatin1Char('\t')).toUtf8() + "\n";
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
  std::fflush(stderr);
}

ChildResult RunChild(const QString& scenario, const QStringList& params, const QString& workingDirectory,
                     const QString& program, const std::map<QString, QString>& environment) {
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const auto& variable : environment) {
    if (variable.second.isNull())
      env.remove(variable.first);
    else
      env.insert(variable.first, variable.second);
  }
  child.setProcessEnvironment(env);
  child.setWorkingDirectory(workingDirectory);
  QStringList arguments;
  if (!scenario.isEmpty()) arguments << QStringLiteral("--scenario") << scenario << QStringLiteral("--");
  arguments << params;
  child.start(program.isEmpty() ? QCoreApplication::applicationFilePath() : program, arguments);
  ChildResult result;
  result.finished = child.waitForFinished(60000);
  if (!result.finished) {
    child.kill();
    child.waitForFinished(5000);
  }
  result.crashed = child.exitStatus() != QProcess::NormalExit;
  result.exitCode = child.exitCode();
  result.out = QString::fromUtf8(child.readAllStandardOutput());
  result.err = QString::fromUtf8(child.readAllStandardError());
  for (const QString& line : result.err.split(QLatin1Char('\n'))) {
    if (!line.startsWith(QLatin1Char('@'))) continue;
    std::map<QString, QString> record;
    for (const QString& part : line.mid(1).split(QLatin1Char('\t'))) {
      const int equals = part.indexOf(QLatin1Char('='));
      if (equals > 0) record[part.left(equals)] = Unescape(part.mid(equals + 1));
    }
    result.records.push_back(record);
  }
  return result;
}

int RunScenario(const std::string& name, int argc, char** argv) {
  // argv: program, --scenario, name, --, the command line of the dialog.
  for (int i = 4; i < argc; ++i) ChildParams.push_back(argv[i]);
  ScenarioFunction scenario = FindScenario(name);
  if (!scenario) {
    std::fprintf(stderr, "unknown scenario %s\n", name.c_str());
    return 99;
  }
  return scenario(argc, argv);
}
