// Runs started with Convert in normal mode: the log, the summary, the files
// placed by the folder map, the progress bar and the buttons; the states
// during a long run and the close confirmation; a log beyond 64 KiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "WineDriver.h"

using namespace wine_dialog;

namespace {

const int IDC_PATH = 1001, IDC_BROWSE = 1002, IDC_LOG = 1003, IDC_INFO = 1004, IDC_CONVERT = 1005,
          IDC_EXIT = 1006, IDC_PROGRESS = 1008;

// The lines above the summary, in any order (the folder's listing order).
std::vector<std::string> LinesBefore(const std::string& log, const std::string& summary) {
  std::vector<std::string> lines;
  if (log.size() < summary.size()) return lines;
  const std::string body = log.substr(0, log.size() - summary.size());
  size_t at = 0;
  while (at < body.size()) {
    const size_t end = body.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(body.substr(at) + "<no line break>");
      break;
    }
    lines.push_back(body.substr(at, end - at));
    at = end + 2;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool ProgressIs(HWND dialog, long low, long high, long position) {
  long lo = -1, hi = -1, pos = -1;
  return ProgressOf(dialog, &lo, &hi, &pos) && lo == low && hi == high && pos == position;
}

FILETIME SomeOldTime(unsigned day) {
  SYSTEMTIME when = {};
  when.wYear = 2004;
  when.wMonth = 3;
  when.wDay = static_cast<WORD>(day);
  when.wHour = 12;
  FILETIME time;
  SystemTimeToFileTime(&when, &time);
  return time;
}

// A folder of count textures of 4 x 4 pixels, for runs that take a while.
void WriteManyTextures(const TempFolder& base, int count) {
  MakeFolders(base / "_compiled");
  const std::vector<uint8_t> texture = ArgbTexture(4, 4, 7);
  for (int i = 0; i < count; ++i)
    ASSERT_TRUE(WriteBytes(base / ("_compiled\\Tile" + std::to_string(i) + "-C.TEX"), texture));
}

size_t TextLimitOf(HWND dialog) {
  DWORD_PTR limit = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, IDC_LOG), EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 3000, &limit);
  return limit;
}

}  // namespace

// One run over mapped, unmapped, present and broken textures.
TEST(WineDialogRun, LogSummaryTargetsProgressAndButtons) {
  TempFolder base("r");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  MakeFolders(base / "Effects");
  struct Good {
    const char* Source;
    const char* Target;
    uint32_t Width, Height;
  };
  const Good good[] = {{"Knight_Helmet-C.TEX", "Armor\\Knight_Helmet.tga", 8, 4},
                       {"stone_wall-c.tex", "Worlds\\Stone\\Stone_Wall.tga", 4, 8},
                       {"Plain-C.TEX", "Plain.tga", 3, 5}};
  for (size_t i = 0; i < 3; ++i) {
    const std::string source = base / (std::string("_compiled\\") + good[i].Source);
    ASSERT_TRUE(WriteBytes(source, ArgbTexture(good[i].Width, good[i].Height, 100 + i)));
    ASSERT_TRUE(SetLastWriteTime(source, SomeOldTime(1 + i)));
  }
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Broken-C.TEX", NotATexture()));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Glow_Ring-C.TEX", ArgbTexture(4, 4, 1)));
  const std::vector<uint8_t> present = {'k', 'e', 'e', 'p'};
  ASSERT_TRUE(WriteBytes(base / "Effects\\GLOW_RING.tga", present));
  // Not a source: the pattern wants the -C.TEX tail.
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Other.TEX", ArgbTexture(4, 4, 2)));

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  EXPECT_EQ(ControlText(dialog, IDC_PATH), base.Path());

  ASSERT_TRUE(Click(dialog, IDC_CONVERT));
  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "no summary; log so far:\n" << log;
  const std::string summary = Summary("5", "1", "1");
  ASSERT_GE(log.size(), summary.size());
  EXPECT_EQ(log.substr(log.size() - summary.size()), summary) << log;
  std::vector<std::string> expectedLines = {
      "ERROR: _compiled\\Broken-C.TEX (" + LogMessageOf(ERROR_INVALID_DATATYPE) + ")",
      "skipped: Effects\\Glow_Ring.tga"};
  std::sort(expectedLines.begin(), expectedLines.end());
  EXPECT_EQ(LinesBefore(log, summary), expectedLines) << log;

  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(good[i].Target);
    std::vector<uint8_t> tga;
    ASSERT_TRUE(ReadBytes(base / good[i].Target, &tga));
    EXPECT_TRUE(tga == ExpectedTga(good[i].Width, good[i].Height, 100 + i));
    EXPECT_EQ(NameOnDisk(base / good[i].Target),
              std::string(good[i].Target).substr(std::string(good[i].Target).rfind('\\') + 1));
    FILETIME written;
    ASSERT_TRUE(GetLastWriteTime(base / good[i].Target, &written));
    const FILETIME source = SomeOldTime(1 + i);
    EXPECT_EQ(CompareFileTime(&written, &source), 0) << "the TGA lacks its source's time";
  }
  EXPECT_FALSE(FileExists(base / "Broken.tga")) << "a failed conversion left its TGA";
  std::vector<uint8_t> kept;
  ASSERT_TRUE(ReadBytes(base / "Effects\\Glow_Ring.tga", &kept));
  EXPECT_TRUE(kept == present) << "a present TGA was written over";
  if (RenameChangesLetterCase()) {
    EXPECT_EQ(NameOnDisk(base / "Effects\\Glow_Ring.tga"), "Glow_Ring.tga")
        << "the skipped TGA did not take the folder map's letter case";
  }
  EXPECT_FALSE(FileExists(base / "Other.tga"));

  EXPECT_TRUE(PollUntil([&] {
    return ProgressIs(dialog, 0, 1, 0) && IsEnabled(dialog, IDC_BROWSE) &&
           IsEnabled(dialog, IDC_CONVERT) && IsEnabled(dialog, IDC_EXIT) && IsEnabled(dialog, IDC_INFO);
  })) << Describe(dialog);
  EXPECT_TRUE(program.Running());

  // A second run starts from an empty log and zero counts: the mapped TGAs
  // are skipped now, the unmapped one in the base folder only counts, the
  // broken texture fails again.
  ASSERT_TRUE(Click(dialog, IDC_CONVERT));
  const std::string second = Summary("5", "3", "1");
  EXPECT_TRUE(PollUntil([&] {
    return WindowText(GetDlgItem(dialog, IDC_LOG), &log) && HasCompleteSummary(log) &&
           log.size() >= second.size() && log.compare(log.size() - second.size(), second.size(), second) == 0;
  })) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3 + 1 + 6) << log;

  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ASSERT_TRUE(EndsWithCode(program, 0)) << "the program did not end after Exit";
}

// During a long run Convert and Browse are disabled, Exit and Info are not;
// a close or Exit asks first: No lets the run finish, Yes ends the process
// with 1.
TEST(WineDialogRun, StatesDuringRunAndCloseConfirmation) {
  const int count = 1000;
  TempFolder base("c");
  ASSERT_FALSE(base.Path().empty());
  WriteManyTextures(base, count);
  if (HasFatalFailure()) return;

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";

  ASSERT_TRUE(Click(dialog, IDC_CONVERT));
  RunState state{};
  ASSERT_TRUE(WaitRunActive(dialog, count, &state)) << "no run seen; " << Describe(dialog);
  EXPECT_FALSE(state.Convert) << "Convert enabled during a run";
  EXPECT_FALSE(state.Browse) << "Browse enabled during a run";
  EXPECT_TRUE(state.Exit) << "Exit disabled during a normal-mode run";
  EXPECT_TRUE(state.Info) << "Info disabled during a run";

  PostMessageA(dialog, WM_CLOSE, 0, 0);
  HWND ask = WaitDialogWindow(program.Pid(), "Work is in progress!", dialog);
  ASSERT_TRUE(ask) << "no confirmation box for a close during a run";
  EXPECT_EQ(BoxText(ask), "Do you want to terminate the program?");
  EXPECT_EQ(GetWindow(ask, GW_OWNER), dialog);
  EXPECT_TRUE(GetDlgItem(ask, IDYES) && GetDlgItem(ask, IDNO));
  // The default button by its style (Wine's boxes answer DM_GETDEFID with
  // IDOK whatever the default).
  const auto buttonType = [&](int id) { return GetWindowLongA(GetDlgItem(ask, id), GWL_STYLE) & BS_TYPEMASK; };
  EXPECT_EQ(buttonType(IDNO), BS_DEFPUSHBUTTON) << "No is not the default button";
  EXPECT_EQ(buttonType(IDYES), BS_PUSHBUTTON);
  // The run waits while the box is open.
  EXPECT_FALSE(IsEnabled(dialog, IDC_CONVERT));
  EXPECT_FALSE(HasCompleteSummary(ControlText(dialog, IDC_LOG)));
  ASSERT_TRUE(AnswerBox(ask, IDNO));
  EXPECT_TRUE(PollUntil([&] { return !HasDialogWindow(program.Pid(), "Work is in progress!", dialog); }));

  // Exit during the run asks the same.
  ASSERT_TRUE(WaitRunActive(dialog, count, &state)) << "the run is over already; " << Describe(dialog);
  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ask = WaitDialogWindow(program.Pid(), "Work is in progress!", dialog);
  ASSERT_TRUE(ask) << "no confirmation box for Exit during a run";
  EXPECT_EQ(BoxText(ask), "Do you want to terminate the program?");
  ASSERT_TRUE(AnswerBox(ask, IDNO));

  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "the run did not finish after No";
  EXPECT_EQ(log, Summary("1,000", "0", "0"));
  EXPECT_TRUE(FileExists(base / "Tile0.tga"));
  EXPECT_TRUE(FileExists(base / ("Tile" + std::to_string(count - 1) + ".tga")));
  EXPECT_TRUE(PollUntil([&] {
    return IsEnabled(dialog, IDC_CONVERT) && IsEnabled(dialog, IDC_BROWSE) && IsEnabled(dialog, IDC_EXIT);
  })) << Describe(dialog);
  EXPECT_TRUE(program.Running()) << "No ended the program";

  // Second run (the TGAs are in place, so each texture only counts).
  ASSERT_TRUE(Click(dialog, IDC_CONVERT));
  ASSERT_TRUE(WaitRunActive(dialog, count, &state)) << "no second run seen; " << Describe(dialog);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ask = WaitDialogWindow(program.Pid(), "Work is in progress!", dialog);
  ASSERT_TRUE(ask) << "no confirmation box in the second run";
  ASSERT_TRUE(AnswerBox(ask, IDYES));
  ASSERT_TRUE(EndsWithCode(program, 1)) << "Yes did not end the program";
}

// A log far beyond the rich-edit default limit keeps every line and the
// whole summary.
TEST(WineDialogRun, LongLogKeepsEveryLine) {
  TempFolder base("l");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  const std::vector<uint8_t> broken = NotATexture();
  const std::string message = LogMessageOf(ERROR_INVALID_DATATYPE);
  // Names as long as the whole path allows (within 250 characters), and as
  // many broken textures as make 80,000 characters of log, well beyond the
  // 32,767 of the rich-edit default and beyond 64 KiB.
  const size_t nameLength = std::min<size_t>(190, 250 - (base / "_compiled\\").size());
  ASSERT_GE(nameLength, 100u) << "the temporary folder's path is too long: " << base.Path();
  const size_t lineLength = std::strlen("ERROR: _compiled\\ ()\r\n") + nameLength + message.size();
  const int count = static_cast<int>(80000 / lineLength + 1);
  std::vector<std::string> expectedLines;
  for (int i = 0; i < count; ++i) {
    std::string name = "Broken_" + std::to_string(1000 + i) + "_";
    name.append(nameLength - name.size() - std::strlen("-C.TEX"), 'x');
    name += "-C.TEX";
    ASSERT_TRUE(WriteBytes(base / ("_compiled\\" + name), broken)) << name;
    expectedLines.push_back("ERROR: _compiled\\" + name + " (" + message + ")");
  }
  std::sort(expectedLines.begin(), expectedLines.end());

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  EXPECT_GT(TextLimitOf(dialog), 65536u) << "the log pane's text limit at start-up";
  ASSERT_TRUE(Click(dialog, IDC_CONVERT));

  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "no complete summary; the log holds "
                                                << log.size() << " characters and ends with:\n"
                                                << log.substr(log.size() > 300 ? log.size() - 300 : 0);
  EXPECT_GT(log.size(), 80000u);
  // Wine's rich edit takes appended text beyond its limit and stretches the
  // limit to it, so there the text alone proves nothing: the limit must have
  // been raised before the run and still leave room after it.
  EXPECT_GT(TextLimitOf(dialog), log.size()) << "the log pane's text limit after the run";
  const std::string summary = Summary(std::to_string(count), "0", std::to_string(count));
  ASSERT_GE(log.size(), summary.size());
  EXPECT_EQ(log.substr(log.size() - summary.size()), summary);
  EXPECT_TRUE(LinesBefore(log, summary) == expectedLines) << "log lines lost or changed";

  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ASSERT_TRUE(EndsWithCode(program, 0));
}
