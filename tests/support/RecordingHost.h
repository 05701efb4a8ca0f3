// A front end without a window for the tests: it keeps the log pane's text,
// the controls' states, the progress bar and the path field, records every
// operation in order, queues "messages" that the next PumpMessages delivers,
// answers message boxes from a script, and turns the end of the process into
// a ProcessEnded exception that the test catches.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "OskeltZtexHost.h"

struct ProcessEnded {
  uint32_t code;
};

struct RecordedBox {
  HostBoxKind kind;
  std::string text;
  std::string caption;  // "(none)" for a null caption
};

struct Recorder {
  bool hasLogPane = true;
  std::set<int> missingControls;        // ids the dialog lacks
  std::string log;                      // text of the log pane
  std::vector<std::string> events;      // every operation, in order
  std::map<int, bool> enabled;          // control id -> enabled (absent: enabled)
  bool closeEnabled = true;
  int32_t progressMax = 100;            // the platform's default range
  int32_t progressPos = 0;
  std::string pathText;
  int focus = 0;
  std::vector<RecordedBox> boxes;
  std::vector<std::string> explanations;  // lines that explained a notice
  std::deque<int> answers;              // answers to BOX_QUESTION; No when empty
  std::vector<std::string> tipTexts;    // hints registered, in order
  bool tipWindowFails = false;
  uint32_t setTimerResult = 0xFFFFFFFFu;  // the id asked for when all bits set
  std::vector<uint32_t> liveTimers;
  bool dialogEnded = false;
  intptr_t dialogResult = 0;
  int pumps = 0;
  bool browseResult = false;            // BrowseForFolder: chosen or cancelled
  std::string browseChoice;
  std::string browseStart;
  // Messages waiting in the queue; PumpMessages runs each of them.
  std::deque<std::function<void()>> queue;
  // Called at every PumpMessages before the queue is drained (may queue more).
  std::function<void(int pumpNumber)> onPump;
  // Called when a posted or fired timer message is delivered.
  std::function<void(uint32_t id)> onTimer;
  // Called when a message box is shown (after it is recorded).
  std::function<void(const RecordedBox&)> onBox;
};

extern Recorder Rec;

// Resets the recorder and installs it as the front end.
void InstallRecordingHost();
// The dialog handle the tests pass to the core.
DialogHandle TestDialog();
bool IsEnabled(int id);
// Delivers the timers that are still running, as if their time had come.
void FireLiveTimers();
// Events whose text begins with prefix.
std::vector<std::string> EventsStartingWith(const std::string& prefix);
