// Scenarios that end the process: the test binary runs one of them as a child
// process (RunChild) and looks at its exit code, output and records.
#pragma once

#include <string>
#include <vector>

// Runs in the child; makes its own QApplication and returns the exit code
// (or the dialog logic ends the process).
typedef int (*ScenarioFunction)(int argc, char** argv);

bool RegisterScenario(const char* name, ScenarioFunction function);
ScenarioFunction FindScenario(const std::string& name);

// The child's command line for the dialog (after "--").
extern std::vector<std::string> ChildParams;

#define QT_SCENARIO(name)                                                   \
  static int Scenario_##name(int argc, char** argv);                        \
  static const bool Registered_##name = RegisterScenario(#name, Scenario_##name); \
  static int Scenario_##name([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
