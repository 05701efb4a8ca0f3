// The main dialog's window: the controls of dialog 101 built in code, and the
// routing of the window's events into the dialog logic. The operations the
// logic asks of the window are in OskeltZtexQtHost.cpp.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QPlainTextEdit>

#include <cstdint>
#include <map>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QEventLoop;
class QTimer;

// The log pane. Like a multi-line edit in a dialog it keeps the Enter key,
// so Enter inside it never reaches the default button.
class QtLogPane : public QPlainTextEdit {
 public:
  explicit QtLogPane(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class QtMainWindow : public QDialog {
 public:
  QtMainWindow();
  ~QtMainWindow() override;

  // The control of an id, null when the dialog has none.
  QWidget* Control(int id) const;

  QLabel* pathLabel;
  QLineEdit* path;
  QPushButton* browse;
  QtLogPane* log;
  QPushButton* info;
  QPushButton* convert;
  QPushButton* exit;
  QProgressBar* progress;

  // State of the window operations (OskeltZtexQtHost.cpp).
  std::string pendingLog;  // appended text not yet in the pane, "\n" lines
  QTimer* logFlush = nullptr;
  QElapsedTimer lastLogFlush;
  std::map<uint32_t, QTimer*> timers;
  bool closeEnabled = true;
  QWidget* parkedFocus = nullptr;  // a disabled control that had the focus
  std::string noticeDetails;       // lines about the next notice, each ended by "\n"
  // The modal loop of the dialog; EndDialog ends it.
  QEventLoop* modalLoop = nullptr;
  bool ended = false;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void customEvent(QEvent* event) override;

 public:
  // Esc: a command that no control sent.
  void reject() override;
};

// The program's icon, drawn in code at the usual sizes.
QIcon ProgramIcon();

// Posts the message that a timer sends, carrying id, to the window.
void PostTimerEvent(QtMainWindow* window, uint32_t id);
