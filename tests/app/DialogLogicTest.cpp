// The main dialog's logic without a window: the command line, start-up, the
// auto-start of command-line mode, the commands and the close protocol.
//
// InitMainDialog loads the folder map beside the running executable; the
// build puts the default one beside the test program.
#include <filesystem>

#include "AppTestSupport.h"
#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexHint.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace {

class Dialog : public BaseDirTest {
 protected:
  // Sets the command line: the program, then the parameters.
  void CommandLine(std::vector<std::string> params) {
    args = std::move(params);
    args.insert(args.begin(), "OskeltZTEX");
    pointers.clear();
    for (const auto& a : args) pointers.push_back(a.c_str());
    ParamList = pointers.data();
    ParamCount = static_cast<int>(args.size()) - 1;
  }
  // WM_INITDIALOG; the exit code when it ends the process, -1 otherwise.
  int Init() {
    try {
      EXPECT_EQ(0, InitMainDialog(TestDialog()));
      return -1;
    } catch (const ProcessEnded& end) {
      return static_cast<int>(end.code);
    }
  }
  std::string Current() const { return fs::current_path().string(); }
  void Deliver() {
    while (!Rec.queue.empty()) {
      auto message = Rec.queue.front();
      Rec.queue.pop_front();
      message();
    }
  }

  std::vector<std::string> args;
  std::vector<const char*> pointers;
};

// --- The command line ------------------------------------------------------------

TEST_F(Dialog, TheSwitchAloneConvertsInTheStartDirectory) {
  CommandLine({"-C"});
  const std::string start = Current();
  EXPECT_EQ(-1, Init());
  EXPECT_TRUE(CommandLineMode);
  EXPECT_EQ(start, Current());
  EXPECT_EQ((std::vector<std::string>{"set-timer 531 1000"}), EventsStartingWith("set-timer"));
  EXPECT_EQ(531u, AutoStartTimer);
}

TEST_F(Dialog, TheSwitchWithADirectoryConvertsThere) {
  fs::create_directory(base.Path("elsewhere"));
  CommandLine({"/c", base.Path("elsewhere")});
  EXPECT_EQ(-1, Init());
  EXPECT_TRUE(CommandLineMode);
  EXPECT_EQ(fs::canonical(base.Path("elsewhere")), fs::canonical(Current()));
  EXPECT_EQ(Current(), Rec.pathText);
}

TEST_F(Dialog, OnlyTheSecondCharacterOfTheSwitchCounts) {
  for (const char* param : {"-C", "/C", "/c", "xC", "cc"}) {
    ResetProgramState();
    InstallRecordingHost();
    CommandLine({param});
    EXPECT_EQ(-1, Init()) << param;
    EXPECT_TRUE(CommandLineMode) << param;
    FreeFolderMap();
  }
}

TEST_F(Dialog, ABadDirectoryOrTooManyParametersEndTheProcessWithOne) {
  const std::vector<std::vector<std::string>> lines = {
      {"-C", base.Path("missing")}, {"-C", base.root, "extra"}, {"-c", "a", "b", "c"}};
  for (const auto& line : lines) {
    ResetProgramState();
    InstallRecordingHost();
    CommandLine(line);
    EXPECT_EQ(1, Init());
    ASSERT_EQ(1u, Rec.boxes.size());
    EXPECT_EQ(BOX_ERROR, Rec.boxes[0].kind);
    EXPECT_EQ("Invalid parameters!", Rec.boxes[0].text);
    EXPECT_EQ("Quillmere", Rec.boxes[0].caption);
    EXPECT_FALSE(CommandLineMode);
    EXPECT_EQ(nullptr, Entries) << "the map is not loaded after a bad command line";
  }
}

TEST_F(Dialog, WithoutTheSwitchEveryParameterIsIgnored) {
  for (const std::vector<std::string>& line :
       std::vector<std::vector<std::string>>{{}, {"-X"}, {"-CC"}, {"C"}, {"-CX", "y", "z"}}) {
    ResetProgramState();
    InstallRecordingHost();
    CommandLine(line);
    EXPECT_EQ(-1, Init());
    EXPECT_FALSE(CommandLineMode);
    EXPECT_TRUE(EventsStartingWith("set-timer").empty());
    FreeFolderMap();
  }
}

TEST_F(Dialog, NormalModeStartsInTheDefaultBaseDirectoryWhenItExists) {
  fs::create_directories(base.Path("data/Textures"));
  fs::create_directories(base.Path("work/tools"));
  fs::current_path(base.Path("work/tools"));
  CommandLine({});
  EXPECT_EQ(-1, Init());
  EXPECT_EQ(fs::canonical(base.Path("data/Textures")), fs::canonical(Current()));
  EXPECT_EQ(Current(), Rec.pathText);
}

TEST_F(Dialog, NormalModeStaysWhereItStartedWithoutTheDefaultDirectory) {
  const std::string start = Current();
  CommandLine({});
  EXPECT_EQ(-1, Init());
  EXPECT_EQ(start, Current());
}

// --- Start-up ------------------------------------------------------------------

TEST_F(Dialog, StartUpSetsTheIconAndTheToolTipsBeforeItLoadsTheMapAndFocusesConvert) {
  CommandLine({});
  EXPECT_EQ(-1, Init());
  const std::vector<std::string> expected = {"icon",     "tip-window", "tip 1001", "tip 1002",
                                             "tip 1005", "tip 1003",   "path",     "focus 1005"};
  EXPECT_EQ(expected, Rec.events);
  EXPECT_EQ((std::vector<std::string>{"Base directory for search/conversion", "Set working directory",
                                      "Convert all textures (_compiled\\*-C.TEX into ...\\*.tga)",
                                      "Trace for errors, hints, and summary"}),
            Rec.tipTexts);
  EXPECT_NE(nullptr, Entries);
  EXPECT_NE(nullptr, ToolTipWindow);
}

TEST_F(Dialog, ToolTipsSkipAMissingControlAndAFailedTipWindowIsNoObstacle) {
  Rec.missingControls.insert(IDC_LOG);
  EXPECT_TRUE(CreateToolTips(TestDialog()));
  EXPECT_EQ(3u, Rec.tipTexts.size());

  InstallRecordingHost();
  Rec.tipWindowFails = true;
  EXPECT_FALSE(CreateToolTips(TestDialog()));
  EXPECT_EQ(nullptr, ToolTipWindow);
  CommandLine({});
  EXPECT_EQ(-1, Init());
  EXPECT_NE(nullptr, Entries);
}

// --- The auto-start of command-line mode -------------------------------------------

TEST_F(Dialog, ShowingTheWindowPumpsThenPostsTheTimerThatStartsTheRun) {
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  Rec.events.clear();
  MainDialogShown(TestDialog(), true);
  EXPECT_EQ((std::vector<std::string>{"pump", "post-timer 531"}), Rec.events);
  Rec.onTimer = [](uint32_t id) { MainDialogTimer(TestDialog(), id); };
  Deliver();  // nothing to convert: the run tells so and the window stays
  EXPECT_EQ("kill-timer 531", EventsStartingWith("kill-timer").at(0));
  EXPECT_EQ(0u, AutoStartTimer);
  ASSERT_EQ(1u, Rec.boxes.size());
  EXPECT_EQ("No textures found.", Rec.boxes[0].text);
  EXPECT_TRUE(HadErrors);
}

TEST_F(Dialog, TheRealTimerStartsTheRunWhenThePostedOneIsLost) {
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  Rec.onTimer = [](uint32_t id) { MainDialogTimer(TestDialog(), id); };
  FireLiveTimers();
  EXPECT_EQ(0u, AutoStartTimer);
  EXPECT_TRUE(Rec.liveTimers.empty());
  EXPECT_EQ(1u, Rec.boxes.size());
}

TEST_F(Dialog, TimersAfterTheAutoStartAreIgnored) {
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  MainDialogTimer(TestDialog(), 531);
  ASSERT_EQ(1u, Rec.boxes.size());
  MainDialogTimer(TestDialog(), 531);
  MainDialogTimer(TestDialog(), 0);
  MainDialogShown(TestDialog(), true);  // a later show posts a timer carrying 0
  EXPECT_EQ("post-timer 0", EventsStartingWith("post-timer").back());
  Rec.onTimer = [](uint32_t id) { MainDialogTimer(TestDialog(), id); };
  Deliver();
  EXPECT_EQ(1u, Rec.boxes.size());
}

TEST_F(Dialog, AFailedTimerStartsNothingButConvertStillWorks) {
  Rec.setTimerResult = 0;
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  EXPECT_EQ(0u, AutoStartTimer);
  Rec.onTimer = [](uint32_t id) { MainDialogTimer(TestDialog(), id); };
  MainDialogShown(TestDialog(), true);
  EXPECT_EQ("post-timer 0", EventsStartingWith("post-timer").back());
  EXPECT_TRUE(Rec.boxes.empty());
  HandleMainCommand(TestDialog(), 0, IDC_CONVERT, &Rec);
  EXPECT_EQ(1u, Rec.boxes.size());
}

TEST_F(Dialog, NormalModeNeitherArmsNorObeysTheTimer) {
  CommandLine({});
  ASSERT_EQ(-1, Init());
  MainDialogShown(TestDialog(), true);
  MainDialogTimer(TestDialog(), 531);
  EXPECT_TRUE(EventsStartingWith("post-timer").empty());
  EXPECT_TRUE(Rec.boxes.empty());
}

// --- Commands ----------------------------------------------------------------------

TEST_F(Dialog, ACommandWithoutAControlLikeEscDoesNothing) {
  CommandLine({});
  ASSERT_EQ(-1, Init());
  Rec.events.clear();
  EXPECT_EQ(0, HandleMainCommand(TestDialog(), 0, IDC_EXIT, nullptr));
  EXPECT_EQ(0, HandleMainCommand(TestDialog(), 0, 2 /* IDCANCEL */, nullptr));
  EXPECT_TRUE(Rec.events.empty());
  EXPECT_FALSE(Rec.dialogEnded);
}

TEST_F(Dialog, OnlyClicksOfKnownButtonsAreHandled) {
  CommandLine({});
  ASSERT_EQ(-1, Init());
  EXPECT_EQ(-1, HandleMainCommand(TestDialog(), 1 /* not a click */, IDC_EXIT, &Rec));
  EXPECT_EQ(-1, HandleMainCommand(TestDialog(), 0, IDC_PATH, &Rec));
  EXPECT_FALSE(Rec.dialogEnded);
  EXPECT_EQ(0, HandleMainCommand(TestDialog(), 0, IDC_EXIT, &Rec));
  EXPECT_TRUE(Rec.dialogEnded);
  EXPECT_EQ(0, Rec.dialogResult);
}

TEST_F(Dialog, BrowseStartsAtTheCurrentDirectoryAndMovesThereOnlyWhenChosen) {
  fs::create_directory(base.Path("chosen"));
  CommandLine({});
  ASSERT_EQ(-1, Init());
  const std::string start = Current();
  Rec.browseResult = false;
  EXPECT_EQ(0, HandleMainCommand(TestDialog(), 0, IDC_BROWSE, &Rec));
  EXPECT_EQ(start, Rec.browseStart);
  EXPECT_EQ(start, Current());
  EXPECT_EQ(
      "browse Base directory for search/conversion:\r\n(usually ...\\_work\\data\\Textures)",
      EventsStartingWith("browse").back());

  Rec.browseResult = true;
  Rec.browseChoice = base.Path("chosen");
  HandleMainCommand(TestDialog(), 0, IDC_BROWSE, &Rec);
  EXPECT_EQ(fs::canonical(base.Path("chosen")), fs::canonical(Current()));
  EXPECT_EQ(Current(), Rec.pathText);

  Rec.browseChoice = base.Path("vanished");
  HandleMainCommand(TestDialog(), 0, IDC_BROWSE, &Rec);
  EXPECT_EQ(fs::canonical(base.Path("chosen")), fs::canonical(Current()));
}

// --- Closing and the exit code ----------------------------------------------------

TEST_F(Dialog, ClosingWhileIdleEndsTheDialogWithExitCodeZero) {
  CommandLine({});
  ASSERT_EQ(-1, Init());
  EXPECT_EQ(-1, CloseMainDialog(TestDialog(), 0));
  EXPECT_TRUE(Rec.dialogEnded);
  EXPECT_TRUE(Rec.boxes.empty());
  MainDialogDestroyed(TestDialog());
  EXPECT_EQ(nullptr, Entries);
  EXPECT_EQ(0u, MainExitCode());
}

TEST_F(Dialog, ClosingAfterAFailedCommandLineRunGivesExitCodeOne) {
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  MainDialogTimer(TestDialog(), 531);  // nothing found: counts as failed
  CloseMainDialog(TestDialog(), 0);
  EXPECT_TRUE(Rec.dialogEnded);
  EXPECT_EQ(1u, MainExitCode());
}

TEST_F(Dialog, ACleanCommandLineRunEndsTheProcessWithZero) {
  Texture("Alpha-C.TEX");
  CommandLine({"-C"});
  ASSERT_EQ(-1, Init());
  try {
    MainDialogTimer(TestDialog(), 531);
    FAIL() << "the process goes on";
  } catch (const ProcessEnded& end) {
    EXPECT_EQ(0u, end.code);
  }
}

TEST_F(Dialog, ExitCodeAfterTheDialogDependsOnModeAndErrors) {
  CommandLineMode = false;
  HadErrors = true;
  EXPECT_EQ(0u, MainExitCode());
  CommandLineMode = true;
  EXPECT_EQ(1u, MainExitCode());
  HadErrors = false;
  EXPECT_EQ(0u, MainExitCode());
}

// --- The command-line splitter of the Windows entry point --------------------------

TEST(CommandLineSplit, BlanksSeparateAndQuotesGroupAndVanish) {
  const char* line = "  \"C:\\Program Files\\OskeltZTEX.exe\"  -C \"D:\\My Textures\\x\"\tlast\"q\"  ";
  char storage[128];
  const char* params[8];
  ASSERT_EQ(4, SplitCommandLine(line, storage, sizeof storage, params, 8));
  EXPECT_STREQ("C:\\Program Files\\OskeltZTEX.exe", params[0]);
  EXPECT_STREQ("-C", params[1]);
  EXPECT_STREQ("D:\\My Textures\\x", params[2]);
  EXPECT_STREQ("lastq", params[3]);
}

TEST(CommandLineSplit, RefusesTooSmallStorageAndStopsAtTheListsEnd) {
  char storage[4];
  const char* params[2];
  EXPECT_EQ(0, SplitCommandLine("program -C", storage, sizeof storage, params, 2));
  char big[64];
  EXPECT_EQ(2, SplitCommandLine("a b c d", big, sizeof big, params, 2));
  EXPECT_STREQ("b", params[1]);
  EXPECT_EQ(0, SplitCommandLine("", big, sizeof big, params, 2));
}

}  // namespace
