// The Qt window's tests: gtest in one QApplication, or one scenario when the
// binary runs as a child of a test ("--scenario NAME -- PARAMS...").
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "OskeltZtexQt.h"
#include "QtDriver.h"
#include "QtScenario.h"
#include "TestSupport.h"

std::vector<std::string> ChildParams;

static std::map<std::string, ScenarioFunction>& Scenarios() {
  static std::map<std::string, ScenarioFunction> scenarios;
  return scenarios;
}

bool RegisterScenario(const char* name, ScenarioFunction function) {
  Scenarios()[name] = function;
  return true;
}

ScenarioFunction FindScenario(const std::string& name) {
  auto found = Scenarios().find(name);
  return found == Scenarios().end() ? nullptr : found->second;
}

// The offscreen platform cannot pass a window's size hints on; it says so
// for every message box.
static void DropOffscreenNotes(QtMsgType, const QMessageLogContext&, const QString& text) {
  if (text.contains(QLatin1String("propagateSizeHints"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(text));
}

int main(int argc, char** argv) {
  qInstallMessageHandler(DropOffscreenNotes);
  // Qt keeps settings (the folder picker's among them) below the home
  // folder: the tests and the child runs they start keep theirs in a folder
  // of their own. A scenario is a child and has it already.
  if (!(argc >= 4 && std::strcmp(argv[1], "--scenario") == 0)) {
    static TempDir home;
    setenv("HOME", home.root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.Path(".config").c_str(), 1);
  }
  if (argc >= 4 && std::strcmp(argv[1], "--scenario") == 0 && std::strcmp(argv[3], "--") == 0)
    return RunScenario(argv[2], argc, argv);
  testing::InitGoogleTest(&argc, argv);
  PrepareQtEnvironment();
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
