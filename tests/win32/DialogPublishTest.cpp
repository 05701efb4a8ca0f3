// Files that appear only complete: a texture is converted into its
// temporary file beside the target (the target's name, a marker and the
// run's own tag) and takes the target's name only once complete, never
// replacing a file that took the name meanwhile; a leftover temporary file
// of a killed run goes when a later run meets its texture, and the live one
// of another run stays.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "WineDriver.h"

using namespace wine_dialog;

namespace {

const int IDC_LOG = 1003, IDC_EXIT = 1006;

// Large enough that its conversion lasts a while under Wine (64 MiB each
// way; about 40 ms on an idle machine), so that the temporary file can be
// seen while it is written.
const uint32_t BIG = 4096;

enum HoldResult { HELD, MISSED, FAILED };

// Waits for the temporary file to appear, then holds the program there and
// makes sure the conversion is unfinished: the temporary file still there,
// nothing at the target name. MISSED when the conversion was over first
// (the program then goes on, or has ended already).
HoldResult HoldDuringConversion(Child& program, const std::string& temporary, const std::string& target,
                                std::string* why) {
  if (!PollUntil([&] { return AnyFileMatches(temporary) || !program.Running(); }, WAIT_MS, 1)) {
    *why = "no temporary file " + temporary + " appeared";
    return FAILED;
  }
  // A program that ends meanwhile cannot be held.
  if (!program.Suspend()) {
    if (!program.Running()) return MISSED;
    *why = "cannot hold the program: " + std::to_string(GetLastError());
    return FAILED;
  }
  if (AnyFileMatches(temporary) && !FileExists(target)) return HELD;
  program.Resume();
  return MISSED;
}

// The temporary files of a target, as a pattern.
std::string TemporaryOf(const std::string& target) { return target + ".oskeltztex-*.tmp"; }

// Starts a command-line run on base and holds it during the conversion of
// target. The window is short: a run that converted the texture before it
// could be held is left to end cleanly, its output removed, and the run
// started again, three times at most.
std::unique_ptr<Child> StartHeldDuringConversion(const TempFolder& base, const std::string& temporary,
                                                 const std::string& target, std::string* why) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::unique_ptr<Child> program(new Child);
    if (!program->Start(ProgramPath(), "-C", base.Path())) {
      *why = "cannot start the program: " + std::to_string(GetLastError());
      return nullptr;
    }
    switch (HoldDuringConversion(*program, temporary, target, why)) {
      case HELD:
        return program;
      case FAILED:
        return nullptr;
      case MISSED:
        std::printf("note: the conversion of %s was over before the program was held; again\n",
                    target.c_str());
        break;
    }
    DWORD code = 99;
    if (!program->WaitExit(&code) || code != 0) {
      *why = "an unheld run did not end cleanly (" + std::to_string(code) + ")";
      return nullptr;
    }
    for (const std::string& file : FilesBelow(base.Path(), {"_compiled"}))
      DeleteFileA((base / file).c_str());
  }
  *why = "the conversion was over before the program could be held, three times";
  return nullptr;
}

}  // namespace

// A file that takes the target's name during the conversion stays as it
// is: the texture is logged with ERROR_ALREADY_EXISTS, its temporary file
// is removed, and the other textures of the run are converted.
TEST(WineDialogPublish, TargetTakenDuringConversionIsLeftAlone) {
  TempFolder base("a");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Helmet-C.TEX", ArgbTexture(BIG, BIG, 21)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Stone_Wall-C.TEX", ArgbTexture(4, 8, 22)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(8, 2, 23)));
  const std::string target = base / "Armor\\Knight_Helmet.tga";
  const std::string temporary = TemporaryOf(target);
  const std::vector<uint8_t> other = {'n', 'o', 't', ' ', 'a', ' ', 'T', 'G', 'A'};

  std::string why;
  const std::unique_ptr<Child> held = StartHeldDuringConversion(base, temporary, target, &why);
  ASSERT_TRUE(held) << why;
  Child& program = *held;
  const bool created = WriteNewFile(target, other);
  const DWORD createError = GetLastError();
  ASSERT_TRUE(program.Resume());
  ASSERT_TRUE(created) << "the file at the target name could not be created: " << createError;

  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  std::string log;
  const HWND pane = GetDlgItem(dialog, IDC_LOG);
  ASSERT_TRUE(PollUntil([&] {
    return !program.Running() || (WindowText(pane, &log) && HasCompleteSummary(log));
  })) << "no summary; log so far:\n" << log;
  ASSERT_TRUE(program.Running()) << "the run ended the program as a run without errors does";
  EXPECT_EQ(log, "ERROR: Armor\\Knight_Helmet.tga (" + LogMessageOf(ERROR_ALREADY_EXISTS) + ")\r\n" +
                     Summary("3", "0", "1"));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadBytes(target, &bytes));
  EXPECT_TRUE(bytes == other) << "the file at the target name was changed";
  EXPECT_FALSE(AnyFileMatches(temporary)) << "the temporary file was left";
  ASSERT_TRUE(ReadBytes(base / "Worlds\\Stone\\Stone_Wall.tga", &bytes));
  EXPECT_TRUE(bytes == ExpectedTga(4, 8, 22));
  ASSERT_TRUE(ReadBytes(base / "Plain.tga", &bytes));
  EXPECT_TRUE(bytes == ExpectedTga(8, 2, 23));
  EXPECT_EQ(FilesBelow(base.Path(), {"_compiled"}),
            (std::vector<std::string>{"Armor\\Knight_Helmet.tga", "Plain.tga",
                                      "Worlds\\Stone\\Stone_Wall.tga"}));

  ASSERT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_EXIT); })) << Describe(dialog);
  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ASSERT_TRUE(EndsWithCode(program, 1)) << "Exit did not end the program";
}

// A process ended in the middle of a conversion leaves nothing at the
// target name; the next run removes its leftover, converts the texture and
// ends cleanly, leaving only the TGA files beside _compiled.
TEST(WineDialogPublish, KilledRunLeavesNoTargetAndTheNextRunCleansUp) {
  TempFolder base("k");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Helmet-C.TEX", ArgbTexture(BIG, BIG, 31)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(2, 6, 32)));
  const std::string target = base / "Armor\\Knight_Helmet.tga";
  const std::string temporary = TemporaryOf(target);

  {
    std::string why;
    const std::unique_ptr<Child> held = StartHeldDuringConversion(base, temporary, target, &why);
    ASSERT_TRUE(held) << why;
    ASSERT_TRUE(held->Terminate()) << GetLastError();
  }
  EXPECT_FALSE(FileExists(target)) << "the killed run left a file at the target name";
  ASSERT_TRUE(AnyFileMatches(temporary)) << "the killed run left no temporary file to clean up";

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "-C", base.Path()));
  ASSERT_TRUE(EndsWithCode(program, 0)) << "the run after the killed one did not end cleanly";
  EXPECT_EQ(FilesBelow(base.Path(), {"_compiled"}),
            (std::vector<std::string>{"Armor\\Knight_Helmet.tga", "Plain.tga"}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadBytes(target, &bytes));
  EXPECT_TRUE(bytes == ExpectedTga(BIG, BIG, 31)) << "the converted texture differs";
  ASSERT_TRUE(ReadBytes(base / "Plain.tga", &bytes));
  EXPECT_TRUE(bytes == ExpectedTga(2, 6, 32));
}

// Two runs at once over one folder: the second finds the first one's live
// temporary file, leaves it alone and converts the texture itself; the
// first, once it goes on, finds the target taken, says so and removes its
// temporary file. Nothing but complete TGA files is left.
TEST(WineDialogPublish, TwoRunsAtOnceLeaveEachOthersFilesAlone) {
  TempFolder base("t");
  ASSERT_FALSE(base.Path().empty());
  MakeFolders(base / "_compiled");
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Knight_Helmet-C.TEX", ArgbTexture(BIG, BIG, 41)));
  ASSERT_TRUE(WriteBytes(base / "_compiled\\Plain-C.TEX", ArgbTexture(2, 6, 42)));
  const std::string target = base / "Armor\\Knight_Helmet.tga";

  std::string why;
  const std::unique_ptr<Child> held = StartHeldDuringConversion(base, TemporaryOf(target), target, &why);
  ASSERT_TRUE(held) << why;
  Child second;
  ASSERT_TRUE(second.Start(ProgramPath(), "-C", base.Path()));
  const bool secondClean = EndsWithCode(second, 0);
  ASSERT_TRUE(held->Resume());
  ASSERT_TRUE(secondClean) << "the second run did not end cleanly";

  Child& first = *held;
  const HWND dialog = WaitMainDialog(first);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";
  std::string log;
  ASSERT_TRUE(WaitLogWithSummary(dialog, &log)) << log;
  EXPECT_EQ(log, "ERROR: Armor\\Knight_Helmet.tga (" + LogMessageOf(ERROR_ALREADY_EXISTS) + ")\r\n" +
                     Summary("2", "0", "1"));
  EXPECT_EQ(FilesBelow(base.Path(), {"_compiled"}),
            (std::vector<std::string>{"Armor\\Knight_Helmet.tga", "Plain.tga"}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadBytes(target, &bytes));
  EXPECT_TRUE(bytes == ExpectedTga(BIG, BIG, 41)) << "the converted texture differs";
  ASSERT_TRUE(PollUntil([&] { return IsEnabled(dialog, IDC_EXIT); })) << Describe(dialog);
  ASSERT_TRUE(Click(dialog, IDC_EXIT));
  ASSERT_TRUE(EndsWithCode(first, 1));
}
