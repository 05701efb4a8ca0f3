#include "OskeltZtexQt.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OskeltZTEX.h"
#include "OskeltZtexQtHost.h"
#include "OskeltZtexQtWindow.h"
#include "Platform.h"

namespace {

// True when PrepareQtEnvironment chose the plugins, offscreen being the last.
bool PluginsChosenHere = false;

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 0777) == 0700;
}

// Qt wants a runtime folder that only the user can enter.
void ProvideRuntimeFolder() {
  if (IsSet("XDG_RUNTIME_DIR")) return;
  const char* tmp = IsSet("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  std::string folder = std::string(tmp) + "/runtime-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  if (!IsPrivateFolder(folder)) {
    std::string unique = std::string(tmp) + "/oskeltztex-runtime-XXXXXX";
    if (!mkdtemp(&unique[0])) return;
    folder = unique;
  }
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace

void PrepareQtEnvironment() {
  ProvideRuntimeFolder();
  if (IsSet("QT_QPA_PLATFORM")) return;
  // A display that cannot be opened would make Qt abort the process; with
  // offscreen as the last choice it starts, and RunQtMainDialog tells.
  if (IsSet("DISPLAY"))
    setenv("QT_QPA_PLATFORM", "xcb;offscreen", 1);
  else if (IsSet("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "wayland;xcb;offscreen", 1);
  else
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  PluginsChosenHere = true;
}

namespace {

// A request to end the process ends it as a confirmed close does: during a
// run with exit code 1; otherwise with the code a close gives, also while a
// message box waits for an answer.
void WatchEndRequests(QtMainWindow* window) {
  const intptr_t wake = PlatCatchEndRequests();
  if (wake < 0) return;
  QSocketNotifier* notifier = new QSocketNotifier(static_cast<qintptr>(wake), QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    CloseMainDialogNow(window);
    PlatExitProcess(MainExitCode());
  });
}

}  // namespace

int ExecQtMainDialog() {
  InstallQtHost();
  // The window system ties the window to the desktop entry: by the entry's
  // name (Wayland), and by the class name, which is the entry's
  // StartupWMClass (X11).
  QCoreApplication::setApplicationName(QStringLiteral(OSKELT_WINDOW_CLASS));
  QGuiApplication::setDesktopFileName(QStringLiteral(OSKELT_APP_ID));
  // The program ends its loops itself; hiding its last window ends nothing.
  QApplication::setQuitOnLastWindowClosed(false);
  QtMainWindow window;
  WatchEndRequests(&window);
  InitMainDialog(&window);
  QEventLoop loop;
  window.modalLoop = &loop;
  window.show();
  if (!window.ended) loop.exec(QEventLoop::DialogExec);
  window.modalLoop = nullptr;
  MainDialogDestroyed(&window);
  return static_cast<int>(MainExitCode());
}

int RunQtMainDialog(int argc, char** argv) {
  PrepareQtEnvironment();
  QApplication application(argc, argv);
  if (PluginsChosenHere && QGuiApplication::platformName() == QLatin1String("offscreen") &&
      (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"))) {
    // Nobody could see the window, answer its messages or close it.
    std::fprintf(stderr, "%s: cannot open the display %s\n", argc > 0 ? argv[0] : "OskeltZTEX",
                 IsSet("DISPLAY") ? std::getenv("DISPLAY") : std::getenv("WAYLAND_DISPLAY"));
    return QT_NO_DISPLAY;
  }
  QApplication::setWindowIcon(ProgramIcon());
  return ExecQtMainDialog();
}
