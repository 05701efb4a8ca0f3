// The entry point of the window module. The module leaves the program's
// own routines (the dialog logic, the core) unresolved: they come from the
// program that loads it, which exports them.
#include "OskeltZtexQt.h"

extern "C" __attribute__((visibility("default"))) int OskeltZtexRunQtMainDialog(int argc,
                                                                                char** argv) {
  return RunQtMainDialog(argc, argv);
}

static_assert(sizeof(QT_MODULE_ENTRY) == sizeof("OskeltZtexRunQtMainDialog"),
              "the entry point has the name the program looks for");
