// Command-line mode (the C switch): the run that starts by itself, the exit
// codes, the window that stays open after errors or when nothing was found;
// the start-up failures: bad parameters and an unusable folder map.
#include <gtest/gtest.h>

#include "WineDriver.h"

using namespace wine_dialog;

namespace {

const int IDC_BROWSE = 1002, IDC_LOG = 1003, IDC_CONVERT = 1005, IDC_EXIT = 1006;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Shows the program has stayed: still running a while after the check.
bool StaysRunning(Child& program) {
  DWORD code = 0;
  return !program.WaitExit(&code, 2000);
}

// A box of the program that shows while dialog 101 is not yet visible, then
// OK, then the exit code.
void ExpectStartupFailure(Child& program, const std::string& caption, const std::string& text) {
  const HWND box = WaitDialogWindow(program.Pid(), caption);
  ASSERT_TRUE(box) << "no box captioned \"" << caption << "\"";
  EXPECT_EQ(BoxText(box), text);
  EXPECT_FALSE(HasDialogWindow(program.Pid(), "OskeltZTEX 2.6")) << "dialog 101 is shown";
  ASSERT_TRUE(AnswerBox(box, IDOK));
  ASSERT_TRUE(EndsWithCode(program, 1)) << "the program did not end after OK";
}

}  // namespace

// An error-free run in the folder given on the command line ends the
// program by itself with 0.
TEST(WineDialogCommandLine, CleanRunEndsWithZero) {
  TempFolder base("k");
  TempFolder elsewhere("s");
  ASSERT_FALSE(base.Path().empty() || elsewhere.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Shield-C.TEX", ArgbTexture(4, 2, 5)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Loose-C.TEX", ArgbTexture(2, 2, 6)));

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C " + Quoted(base.Path()), elsewhere.Path()));
  ASSERT_TRUE(EndsWithCode(program, 0)) << "a clean command-line run did not end the program";
  std::vector<uint8_t> tga;
  ASSERT_TRUE(ReadBytes(base / "Armor\\Knight_Shield.tga", &tga));
  EXPECT_TRUE(tga == ExpectedTga(4, 2, 5));
  ASSERT_TRUE(ReadBytes(base / "Loose.tga", &tga));
  EXPECT_TRUE(tga == ExpectedTga(2, 2, 6));
  EXPECT_FALSE(FileExists(elsewhere / "Loose.tga"));
}

// During a command-line run Browse, Convert and Exit are disabled; after a
// run with errors the window stays with Browse still disabled, and Exit
// then gives 1.
TEST(WineDialogCommandLine, RunWithErrorsStaysOpenAndExitGivesOne) {
  const int good = 800;
  TempFolder base("x");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  const std::vector<uint8_t> texture = ArgbTexture(2, 2, 3);
  for (int i = 0; i < good; ++i)
    ASSERT_TRUE(WriteBytes(base / ("_compiled\\Piece" + std::to_string(i) + "-C.TEX"), texture));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Broken-C.TEX", NotATexture()));

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "/c", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  RunState state{};
  ASSERT_TRUE(WaitRunActive(dialog, good + 1, &state))
      << "the run did not start by itself; " << Describe(dialog);
  EXPECT_FALSE(state.Browse) << "Browse enabled during a command-line run";
  EXPECT_FALSE(state.Convert) << "Convert enabled during a command-line run";
  EXPECT_FALSE(state.Exit) << "Exit enabled during a command-line run";
  EXPECT_TRUE(state.Info) << "Info disabled during a run";

  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "no summary";
  EXPECT_EQ(log, "ERROR: _compiled\\Broken-C.TEX (" + LogMessageOf(ERROR_INVALID_DATATYPE) + ")\r\n" +
                     Summary("801", "0", "1"));
  EXPECT_TRUE(StaysRunning(program)) << "a run with errors ended the program";
  EXPECT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_CONVERT) && IsEnabled(dialog, IDC_EXIT); }))
      << "Convert or Exit not enabled after the run";
  EXPECT_FALSE(IsEnabled(dialog, IDC_BROWSE)) << "Browse enabled after a failed command-line run";
  EXPECT_TRUE(FileExists(base / "Piece0.tga"));

  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ASSERT_TRUE(EndsWithCode(program, 1)) << "Exit did not end the program";
}

// After a failed command-line run, a second run without errors (started
// with Convert) ends the program with 0.
TEST(WineDialogCommandLine, SecondCleanRunEndsWithZero) {
  TempFolder base("t");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Cloth-C.TEX", NotATexture()));

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "no summary";
  EXPECT_NE(log.find("  Errors: 1\r\n"), std::string::npos) << log;
  ASSERT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_CONVERT); }));
  EXPECT_TRUE(program.Running());

  ASSERT_TRUE(WriteBytes(base / "_compiled\\Cloth-C.TEX", ArgbTexture(2, 4, 9)));
  ASSERT_TRUE(Click(dialog, IDC_CONVERT));
  ASSERT_TRUE(EndsWithCode(program, 0)) << "the clean second run did not end the program";
  EXPECT_TRUE(FileExists(base / "Cloth.tga"));
}

// Nothing to convert: the notice, owned by the dialog and with the system's
// default title; the window stays; closing it gives 1.
TEST(WineDialogCommandLine, NoTexturesNoticeThenCloseGivesOne) {
  TempFolder base("n");
  ASSERT_FALSE(base.Path().empty());
  const std::string title = DefaultBoxTitle();
  ASSERT_FALSE(title.empty()) << "the default box title could not be found";

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  const HWND notice = WaitDialogWindow(program.Pid(), title, dialog);
  ASSERT_TRUE(notice) << "no box titled \"" << title << "\"";
  EXPECT_EQ(BoxText(notice), "No textures found.");
  EXPECT_EQ(GetWindow(notice, GW_OWNER), dialog);
  ASSERT_TRUE(AnswerBox(notice, IDOK));
  EXPECT_TRUE(PollUntil([&] { return !HasDialogWindow(program.Pid(), title, dialog); }));

  EXPECT_TRUE(StaysRunning(program)) << "the program ended after the notice";
  EXPECT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_CONVERT) && IsEnabled(dialog, IDC_EXIT); }));
  EXPECT_FALSE(IsEnabled(dialog, IDC_BROWSE));
  EXPECT_EQ(ControlText(dialog, IDC_LOG), "");

  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(EndsWithCode(program, 1)) << "WM_CLOSE did not end the program";
}

// The switch with a folder that does not exist, or with two parameters.
TEST(WineDialogCommandLine, InvalidParameters) {
  TempFolder base("p");
  ASSERT_FALSE(base.Path().empty());
  for (const std::string& params : {"-C " + Quoted(base / "missing"), std::string("-C a b")}) {
    SCOPED_TRACE(params);
    Child program;
    ASSERT_TRUE(program.Start(ProgramPath(), params, base.Path()));
    ExpectStartupFailure(program, "Quillmere", "Invalid parameters!");
  }
}

// The folder map is read from the INI named after the program beside it: a
// copy of the program with its own map uses that map; without one, or with
// one that holds no section, the program does not start.
TEST(WineDialogCommandLine, FolderMapBesideTheProgram) {
  TempFolder copies("i");
  TempFolder base("j");
  ASSERT_FALSE(copies.Path().empty() || base.Path().empty());
  const std::string exe = copies / "Renamed.exe";
  ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), exe.c_str(), FALSE)) << GetLastError();
  // The program's own INI beside the copy does not count: it is named after
  // the original.
  ASSERT_TRUE(CopyFileA((ProgramPath().substr(0, ProgramPath().size() - 4) + ".ini").c_str(),
                        (copies / "OskeltZTEX.ini").c_str(), FALSE));
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(2, 2, 4)));
  const std::string title = DefaultBoxTitle();
  ASSERT_FALSE(title.empty());

  {
    SCOPED_TRACE("no INI");
    Child program;
    ASSERT_TRUE(program.Start(exe, "-C", base.Path()));
    ExpectStartupFailure(program, title, "Error on reading INI file!");
  }
  {
    SCOPED_TRACE("INI without a section");
    const std::string text = "; no section here\r\nPlain.tga\r\n";
    ASSERT_TRUE(WriteBytes(copies / "Renamed.ini", std::vector<uint8_t>(text.begin(), text.end())));
    Child program;
    ASSERT_TRUE(program.Start(exe, "-C", base.Path()));
    ExpectStartupFailure(program, title, "Error on reading INI file!");
  }
  {
    SCOPED_TRACE("INI of its own");
    const std::string text = "[Custom\\Place]\r\nPLAIN.tga\r\n";
    ASSERT_TRUE(WriteBytes(copies / "Renamed.ini", std::vector<uint8_t>(text.begin(), text.end())));
    Child program;
    ASSERT_TRUE(program.Start(exe, "-C", base.Path()));
    ASSERT_TRUE(EndsWithCode(program, 0)) << "the run with the copy's own map did not end";
    EXPECT_EQ(NameOnDisk(base / "Custom\\Place\\PLAIN.tga"), "PLAIN.tga");
    EXPECT_FALSE(FileExists(base / "Plain.tga"));
  }
}
