// The log for scripts: in command-line mode the log also goes to the
// standard output a caller gave the program (a file or a pipe), a line as
// soon as it is complete; a reader that goes away ends the run as a
// confirmed close does; outside command-line mode nothing is written there.
#include <gtest/gtest.h>

#include "WineDriver.h"

using namespace wine_dialog;

namespace {

const int IDC_LOG = 1003, IDC_INFO = 1004, IDC_CONVERT = 1005, IDC_EXIT = 1006;

std::string TextOf(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Polls like PollUntil, reading the pipe at every turn as a script would:
// a pipe nobody reads fills up and holds the writer.
bool PollReading(OutputPipe& pipe, std::string* output, const std::function<bool()>& done,
                 DWORD intervalMs = 10) {
  return PollUntil(
      [&] {
        pipe.ReadAvailable(output);
        return done();
      },
      WAIT_MS, intervalMs);
}

}  // namespace

// Each line reaches a pipe when it happens: while the About box holds the
// run halfway, the pipe has given every line the pane shows; at the end it
// has given the whole log, with the pane's line ends; nothing follows once
// the window is closed.
TEST(WineDialogLogOutput, LinesReachAPipeAsTheyHappen) {
  const int broken = 100;
  TempFolder base("o");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  const std::vector<uint8_t> notATexture = NotATexture();
  for (int i = 0; i < broken; ++i)
    ASSERT_TRUE(WriteBytes(base / ("_compiled\\Broken" + std::to_string(i) + "-C.TEX"), notATexture));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(4, 4, 3)));

  OutputPipe pipe;
  ASSERT_TRUE(pipe.Ok()) << GetLastError();
  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C", base.Path(), pipe.WriteEnd()));
  pipe.CloseWriteEnd();
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  const HWND pane = GetDlgItem(dialog, IDC_LOG);

  std::string output, log;
  ASSERT_TRUE(PollReading(pipe, &output, [&] {
    return WindowText(pane, &log) && log.find("\r\n") != std::string::npos;
  })) << "no line in the pane";
  ASSERT_TRUE(Click(dialog, IDC_INFO));
  HWND about = nullptr;
  ASSERT_TRUE(PollReading(pipe, &output, [&] {
    about = WaitDialogWindow(program.Pid(), "About", dialog, 0);
    return about != nullptr;
  })) << "no About box";
  std::string shown;
  ASSERT_TRUE(WindowText(pane, &shown));
  ASSERT_EQ(shown.find("Summary:"), std::string::npos) << "the run was over before the box held it";
  EXPECT_TRUE(PollReading(pipe, &output, [&] { return output == shown; }))
      << "while the run waits, the pipe gave " << output.size() << " bytes, the pane shows " << shown.size();
  ASSERT_TRUE(AnswerBox(about, IDOK));

  // Not too often: each look at the pane is a copy of the whole log, made by
  // the program between its textures.
  ASSERT_TRUE(PollReading(
      pipe, &output, [&] { return WindowText(pane, &log) && HasCompleteSummary(log); }, 100))
      << "no summary";
  const std::string summary = Summary(std::to_string(broken + 1), "0", std::to_string(broken));
  ASSERT_GE(log.size(), summary.size());
  EXPECT_EQ(log.substr(log.size() - summary.size()), summary);
  EXPECT_TRUE(PollReading(pipe, &output, [&] { return output == log; }))
      << "after the run, the pipe gave " << output.size() << " bytes, the pane shows " << log.size();
  EXPECT_TRUE(program.Running()) << "a run with errors ended the program";

  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(EndsWithCode(program, 1)) << "WM_CLOSE did not end the program";
  std::string rest;
  EXPECT_TRUE(PollUntil([&] { return !pipe.ReadAvailable(&rest); }))
      << "the pipe did not end with the program";
  EXPECT_TRUE(rest.empty()) << rest.size() << " bytes came after the window was closed: "
                            << rest.substr(0, 200);
}

// A reader that has gone before the first line: the first write fails, and
// the run ends there as a confirmed close ends it, with exit code 1 and no
// texture begun after the one in hand.
TEST(WineDialogLogOutput, ReaderGoneEndsTheRunAsAConfirmedCloseDoes) {
  TempFolder base("g");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Broken-C.TEX", NotATexture()));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Helmet-C.TEX", ArgbTexture(4, 2, 8)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(2, 2, 9)));

  OutputPipe pipe;
  ASSERT_TRUE(pipe.Ok()) << GetLastError();
  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C", base.Path(), pipe.WriteEnd()));
  pipe.CloseWriteEnd();
  pipe.CloseReadEnd();
  ASSERT_TRUE(EndsWithCode(program, 1)) << "the run went on without its reader";
  EXPECT_EQ(FilesBelow(base.Path(), {"_compiled"}), std::vector<std::string>{});
}

// A file as standard output: a run started with Convert outside
// command-line mode writes nothing there; a clean command-line run writes
// its whole log, byte for byte as the pane shows it, before it ends.
TEST(WineDialogLogOutput, OnlyCommandLineModeWritesTheLog) {
  TempFolder base("w");
  TempFolder outputs("v");
  ASSERT_FALSE(base.Path().empty() || outputs.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Broken-C.TEX", NotATexture()));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Helmet-C.TEX", ArgbTexture(2, 4, 1)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(4, 4, 2)));

  {
    SCOPED_TRACE("a run started with Convert");
    const std::string path = outputs / "window.txt";
    const HANDLE output = CreateOutputFile(path);
    ASSERT_TRUE(output) << GetLastError();
    Child program;
    const bool started = program.Start(ProgramPath(), "", base.Path(), output);
    CloseHandle(output);
    ASSERT_TRUE(started);
    const HWND dialog = WaitMainDialog(program);
    ASSERT_TRUE(dialog) << "dialog 101 did not appear";
    ASSERT_TRUE(Click(dialog, IDC_CONVERT));
    std::string log;
    ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << "no summary";
    EXPECT_NE(log.find("ERROR: _compiled\\Broken-C.TEX ("), std::string::npos) << log;
    ASSERT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_EXIT); }));
    ASSERT_TRUE(Click(dialog, IDC_EXIT));
    ASSERT_TRUE(EndsWithCode(program, 0));
    std::vector<uint8_t> written;
    ASSERT_TRUE(ReadBytes(path, &written));
    EXPECT_EQ(TextOf(written), "");
  }

  ASSERT_TRUE(DeleteFileA((base / "_compiled\\Broken-C.TEX").c_str()));
  {
    SCOPED_TRACE("a clean command-line run");
    const std::string path = outputs / "script.txt";
    const HANDLE output = CreateOutputFile(path);
    ASSERT_TRUE(output) << GetLastError();
    Child program;
    const bool started = program.Start(ProgramPath(), "-C", base.Path(), output);
    CloseHandle(output);
    ASSERT_TRUE(started);
    ASSERT_TRUE(EndsWithCode(program, 0)) << "a clean command-line run did not end the program";
    std::vector<uint8_t> written;
    ASSERT_TRUE(ReadBytes(path, &written));
    EXPECT_EQ(TextOf(written), "skipped: Armor\\Knight_Helmet.tga\r\n" + Summary("2", "1", "0"));
  }
}
