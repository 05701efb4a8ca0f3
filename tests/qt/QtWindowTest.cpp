// The window itself: dialog 101's controls, texts, places and tab order, the
// fixed size and caption, the icon, the tool tips, the path field and where
// the keyboard focus goes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QWindow>

#include <filesystem>

#include "OskeltZtexGlob.h"
#include "QtDriver.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct TemplateControl {
  int id;  // 0 for the label
  const char* text;
  int x, y, width, height;
};

// Dialog 101 in template order, positions and sizes in dialog units.
const TemplateControl TEMPLATE[] = {
    {0, "&Path :", 10, 10, 20, 12},        {IDC_PATH, "", 33, 8, 260, 14},
    {IDC_BROWSE, "...", 293, 8, 30, 14},   {IDC_LOG, "", 8, 30, 315, 163},
    {IDC_INFO, "&Info...", 166, 201, 50, 14}, {IDC_CONVERT, "&Convert", 216, 201, 50, 14},
    {IDC_EXIT, "E&xit", 273, 201, 50, 14}, {IDC_PROGRESS, "", 8, 201, 150, 14},
};

// A dialog manager's conversion: quarters of the average character width
// and eighths of the character height, rounded.
struct Units {
  explicit Units(const QFont& font) {
    QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX = (letters / 26 + 1) / 2;
    baseY = metrics.height();
  }
  int X(int du) const { return (du * baseX + 2) / 4; }
  int Y(int du) const { return (du * baseY + 4) / 8; }
  int baseX, baseY;
};

QWidget* TemplateWidget(QDialog* dialog, const TemplateControl& control) {
  return control.id ? ControlOf(dialog, control.id) : dialog->findChild<QLabel*>();
}

// Runs the dialog in normal mode, calls check while it is shown, then exits.
void WithDialog(const std::function<void(QDialog*)>& check, std::vector<std::string> params = {}) {
  DialogScript script;
  script.params = std::move(params);
  script.onShown = [&](QDialog* dialog) {
    check(dialog);
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  bool leftOpen = false;
  EXPECT_EQ(0, RunDialog(script, nullptr, &leftOpen));
  EXPECT_FALSE(leftOpen);
}

TEST(QtWindow, TheControlsSitWhereTheTemplatePutsThemInTheDialogFontsUnits) {
  Workspace work;
  WithDialog([](QDialog* dialog) {
    EXPECT_EQ(8.0, dialog->font().pointSizeF());
    const Units du(dialog->font());
    ASSERT_GT(du.baseX, 2);  // a real font, not boxes
    for (const TemplateControl& control : TEMPLATE) {
      QWidget* widget = TemplateWidget(dialog, control);
      ASSERT_TRUE(widget) << control.id;
      EXPECT_EQ(QRect(du.X(control.x), du.Y(control.y), du.X(control.width), du.Y(control.height)),
                widget->geometry())
          << control.id;
      if (QLabel* label = qobject_cast<QLabel*>(widget)) {
        EXPECT_EQ(control.text, label->text());
      }
      if (QPushButton* button = qobject_cast<QPushButton*>(widget)) {
        EXPECT_EQ(control.text, button->text());
      }
    }
    // 331 by 222 units, and the user cannot resize it.
    EXPECT_EQ(QSize(du.X(331), du.Y(222)), dialog->size());
    EXPECT_EQ(dialog->size(), dialog->minimumSize());
    EXPECT_EQ(dialog->size(), dialog->maximumSize());
  });
}

TEST(QtWindow, CaptionIconAndTitleBarButtons) {
  Workspace work;
  WithDialog([](QDialog* dialog) {
    EXPECT_EQ("OskeltZTEX 2.6", dialog->windowTitle());
    const QIcon icon = dialog->windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48}) EXPECT_EQ(QSize(size, size), icon.pixmap(size, size).size()) << size;
    // The images rendered from the icon's drawing, as the packages have them.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
      const QImage rendered(QStringLiteral(OSKELT_SOURCE_DIR "/res/OskeltZTEX-%1.png").arg(size));
      ASSERT_FALSE(rendered.isNull()) << size;
      // Pixmaps keep their pixels premultiplied by alpha.
      EXPECT_EQ(rendered.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied))
          << size;
    }
    // A main window of its own, which the window system ties to the desktop
    // entry: by the entry's name, and by the class name the entry gives.
    EXPECT_EQ(Qt::Window, dialog->windowType());
    EXPECT_EQ(OSKELT_APP_ID, QGuiApplication::desktopFileName());
    EXPECT_EQ(OSKELT_WINDOW_CLASS, QCoreApplication::applicationName());
    const Qt::WindowFlags flags = dialog->windowHandle()->flags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  });
}

TEST(QtWindow, TheControlsStartReadOnlyEmptyAndWithTheDefaultButtonOnConvert) {
  Workspace work;
  WithDialog([](QDialog* dialog) {
    QLineEdit* path = qobject_cast<QLineEdit*>(ControlOf(dialog, IDC_PATH));
    EXPECT_TRUE(path->isReadOnly());
    QPlainTextEdit* log = qobject_cast<QPlainTextEdit*>(ControlOf(dialog, IDC_LOG));
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(QPlainTextEdit::NoWrap, log->lineWrapMode());
    EXPECT_EQ("", log->toPlainText());
    EXPECT_EQ(0, log->maximumBlockCount());  // nothing is ever dropped
    QProgressBar* bar = ProgressOf(dialog);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(0, bar->minimum());
    EXPECT_EQ(100, bar->maximum());
    EXPECT_EQ(0, bar->value());
    EXPECT_TRUE(ButtonOf(dialog, IDC_CONVERT)->isDefault());
    EXPECT_EQ(ControlOf(dialog, IDC_CONVERT), dialog->focusWidget());
  });
}

TEST(QtWindow, TabVisitsTheControlsInTemplateOrderAndSkipsThePathField) {
  Workspace work;
  WithDialog([](QDialog* dialog) {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    ASSERT_EQ(ControlOf(dialog, IDC_CONVERT), QApplication::focusWidget());
    std::vector<QWidget*> visited;
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited.push_back(QApplication::focusWidget());
    }
    const std::vector<QWidget*> expected = {ControlOf(dialog, IDC_EXIT), ControlOf(dialog, IDC_BROWSE),
                                            ControlOf(dialog, IDC_LOG), ControlOf(dialog, IDC_INFO),
                                            ControlOf(dialog, IDC_CONVERT)};
    EXPECT_EQ(expected, visited);
    // The label's mnemonic reaches the path field all the same.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(ControlOf(dialog, IDC_PATH), QApplication::focusWidget());
  });
}

TEST(QtWindow, TheFocusComesBackToConvertAfterARunAndEnterRunsAgain) {
  Workspace work;
  WriteTexture(work.Source("One-C.TEX"));
  DialogRecord record;
  std::vector<QString> focusDuring;
  DialogScript script;
  script.onProgress = [&](QDialog* dialog, int) { focusDuring.push_back(dialog->focusWidget()->objectName()); };
  script.onShown = [&](QDialog* dialog) {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // The focus must not have moved on to Exit, where Enter would end the program.
    EXPECT_EQ(ControlOf(dialog, IDC_CONVERT), QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    Click(ButtonOf(dialog, IDC_EXIT));
  };
  EXPECT_EQ(0, RunDialog(script, &record));
  EXPECT_EQ((std::vector<int>{1, 0, 1, 0}), record.progressValues);
  // While the run holds Convert disabled no control has the focus.
  EXPECT_EQ(4u, focusDuring.size());
  for (const QString& focus : focusDuring) EXPECT_EQ("OskeltZtexMain", focus);
}

TEST(QtWindow, FourControlsCarryTheirHintsAndAHintShowsWhileTheWindowIsInactive) {
  Workspace work;
  WithDialog([](QDialog* dialog) {
    EXPECT_EQ("Base directory for search/conversion", ControlOf(dialog, IDC_PATH)->toolTip());
    EXPECT_EQ("Set working directory", ControlOf(dialog, IDC_BROWSE)->toolTip());
    EXPECT_EQ("Convert all textures (_compiled\\*-C.TEX into ...\\*.tga)",
              ControlOf(dialog, IDC_CONVERT)->toolTip());
    EXPECT_EQ("Trace for errors, hints, and summary", ControlOf(dialog, IDC_LOG)->toolTip());
    EXPECT_EQ("", ControlOf(dialog, IDC_INFO)->toolTip());
    EXPECT_EQ("", ControlOf(dialog, IDC_EXIT)->toolTip());
    EXPECT_EQ("", ControlOf(dialog, IDC_PROGRESS)->toolTip());

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(dialog->isActiveWindow());
    QWidget* convert = ControlOf(dialog, IDC_CONVERT);
    QTest::mouseMove(convert, QPoint(5, 5));
    QTest::mouseMove(convert, convert->rect().center());
    EXPECT_TRUE(WaitFor([] { return QToolTip::isVisible(); }, 10000));
    EXPECT_EQ(convert->toolTip(), QToolTip::text());
    QToolTip::hideText();
  });
}

TEST(QtWindow, ThePathFieldShowsTheDefaultBaseDirectoryInNormalMode) {
  Workspace work;
  const std::string textures = work.temp.Path("data/Textures");
  fs::create_directories(textures);
  QString shown;
  WithDialog([&](QDialog* dialog) { shown = qobject_cast<QLineEdit*>(ControlOf(dialog, IDC_PATH))->text(); });
  EXPECT_EQ(QString::fromStdString(textures), shown);
  // In command-line mode the base directory stays where it is.
  DialogScript script;
  fs::current_path(work.base);
  script.params = {"-C"};
  script.ready = [] { return true; };
  script.onFirstShow = [&](QDialog* dialog) {
    shown = qobject_cast<QLineEdit*>(ControlOf(dialog, IDC_PATH))->text();
  };
  script.onShown = [](QDialog* dialog) { Click(ButtonOf(dialog, IDC_EXIT)); };
  EXPECT_EQ(1, RunDialog(script, nullptr));
  EXPECT_EQ(QString::fromStdString(work.base), shown);
}

}  // namespace
