// The Linux program: the Qt window when a display is available, the console
// front end otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OskeltZtexConsole.h"
#include "OskeltZtexGlob.h"
#if OSKELT_WITH_QT
#include "OskeltZtexQt.h"
#endif

[[maybe_unused]] static bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

static bool HasConvertSwitch(int argc, char** argv) {
  return argc >= 2 && std::strlen(argv[1]) == 2 && (argv[1][1] == 'C' || argv[1][1] == 'c');
}

int main(int argc, char** argv) {
  ParamCount = argc - 1;
  ParamList = argv;
#if OSKELT_WITH_QT
  if (HasDisplay()) {
    const int code = RunQtMainDialog(argc, argv);
    // A display that cannot be opened is no display.
    if (code != QT_NO_DISPLAY) return code;
  }
#endif
  if (!HasConvertSwitch(argc, argv)) {
    std::fprintf(stderr,
                 "%s: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
                 "to convert without one, run: %s -C [BASEDIR]\n",
                 argv[0], argv[0]);
    return 1;
  }
  return RunConsoleMainDialog();
}
