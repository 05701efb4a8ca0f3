#include "OskeltZtexQtWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"

namespace {

// The template's font: the platform's dialog font at 8 points.
const qreal DIALOG_FONT_POINTS = 8.0;
// Dialog 101 in dialog units.
const int DIALOG_WIDTH = 331;
const int DIALOG_HEIGHT = 222;
// The command of the Esc key; no control has this id.
const uint32_t ID_CANCEL = 2;

const QEvent::Type TIMER_EVENT = static_cast<QEvent::Type>(QEvent::User + 531);

struct TimerEvent : QEvent {
  explicit TimerEvent(uint32_t timerId) : QEvent(TIMER_EVENT), id(timerId) {}
  uint32_t id;
};

// Dialog units to pixels as a dialog manager converts them: a horizontal
// unit is a quarter of the font's average character width, a vertical one an
// eighth of its height, each rounded to the nearest pixel.
struct DialogUnits {
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (letters / 26 + 1) / 2;
    baseY = metrics.height();
  }
  int X(int units) const { return (units * baseX + 2) / 4; }
  int Y(int units) const { return (units * baseY + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }
  int baseX;
  int baseY;
};

void ClickControl(QtMainWindow* window, int id) {
  HandleMainCommand(window, 0, static_cast<uint32_t>(id), window->Control(id));
}

// A control of the template: its name (the identifier's) and its place.
template <typename Control>
Control* Place(Control* control, const char* name, const QRect& rect) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(rect);
  return control;
}

QPushButton* MakeButton(QtMainWindow* window, int id, const char* text, const char* name,
                        const QRect& rect) {
  QPushButton* button = Place(new QPushButton(QString::fromLatin1(text), window), name, rect);
  QObject::connect(button, &QPushButton::clicked, window, [window, id] { ClickControl(window, id); });
  return button;
}

}  // namespace

// The images rendered from the icon's drawing, built into the module. Made
// anew for each use: pixmaps must not outlive the application object.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icon/OskeltZTEX-%1.png").arg(size), QSize(size, size));
  return icon;
}

QtLogPane::QtLogPane(QWidget* parent) : QPlainTextEdit(parent) {}

void QtLogPane::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

QtMainWindow::QtMainWindow() : QDialog(nullptr) {
  setObjectName(QStringLiteral("OskeltZtexMain"));
  // A main window of its own (not a dialog of another), with WS_CAPTION,
  // WS_SYSMENU and WS_MINIMIZEBOX; no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(TEXT_CAPTION));
  // Hints show also while the window is not the active one.
  setAttribute(Qt::WA_AlwaysShowToolTips);

  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSizeF(DIALOG_FONT_POINTS);
  setFont(font);
  const DialogUnits du(font);

  // Created in template order, which is also the tab order.
  pathLabel = Place(new QLabel(QStringLiteral("&Path :"), this), "IDC_STATIC", du.Rect(10, 10, 20, 12));
  pathLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  path = Place(new QLineEdit(this), "IDC_PATH", du.Rect(33, 8, 260, 14));
  path->setReadOnly(true);
  path->setFocusPolicy(Qt::ClickFocus);  // no tab stop
  pathLabel->setBuddy(path);

  browse = MakeButton(this, IDC_BROWSE, "...", "IDC_BROWSE", du.Rect(293, 8, 30, 14));

  log = Place(new QtLogPane(this), "IDC_LOG", du.Rect(8, 30, 315, 163));
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setWordWrapMode(QTextOption::NoWrap);
  log->setUndoRedoEnabled(false);
  log->setTabChangesFocus(true);
  log->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  log->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Keyboard selection and copying work in the read-only pane.
  log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  info = MakeButton(this, IDC_INFO, "&Info...", "IDC_INFO", du.Rect(166, 201, 50, 14));
  convert = MakeButton(this, IDC_CONVERT, "&Convert", "IDC_CONVERT", du.Rect(216, 201, 50, 14));
  convert->setDefault(true);
  exit = MakeButton(this, IDC_EXIT, "E&xit", "IDC_EXIT", du.Rect(273, 201, 50, 14));

  progress = Place(new QProgressBar(this), "IDC_PROGRESS", du.Rect(8, 201, 150, 14));
  progress->setTextVisible(false);
  // The platform's default range; a new bar is at -1 until it gets a value.
  progress->setRange(0, 100);
  progress->setValue(0);

  setFixedSize(du.X(DIALOG_WIDTH), du.Y(DIALOG_HEIGHT));

  // The close shortcut of the window menu, also where no window manager
  // provides it.
  QShortcut* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
  connect(closeKey, &QShortcut::activated, this, [this] { close(); });
}

QtMainWindow::~QtMainWindow() = default;

QWidget* QtMainWindow::Control(int id) const {
  switch (id) {
    case IDC_PATH:
      return path;
    case IDC_BROWSE:
      return browse;
    case IDC_LOG:
      return log;
    case IDC_INFO:
      return info;
    case IDC_CONVERT:
      return convert;
    case IDC_EXIT:
      return exit;
    case IDC_PROGRESS:
      return progress;
    default:
      return nullptr;
  }
}

// WM_SHOWWINDOW comes with the window being shown or hidden by the program,
// not when the window system restores or minimises it.
void QtMainWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) MainDialogShown(this, true);
}

void QtMainWindow::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) MainDialogShown(this, false);
}

// The title bar's close button and the close shortcut. While the Close
// command is disabled they do nothing.
void QtMainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (closeEnabled) CloseMainDialog(this, 0);
}

void QtMainWindow::reject() { HandleMainCommand(this, 0, ID_CANCEL, nullptr); }

void QtMainWindow::customEvent(QEvent* event) {
  if (event->type() == TIMER_EVENT) MainDialogTimer(this, static_cast<TimerEvent*>(event)->id);
}

void PostTimerEvent(QtMainWindow* window, uint32_t id) {
  QCoreApplication::postEvent(window, new TimerEvent(id));
}
