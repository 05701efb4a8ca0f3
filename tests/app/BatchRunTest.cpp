// The batch run over a real base directory: every outcome of a texture, the
// log and counters, the progress bar, the pumps and the control states.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "AppTestSupport.h"
#include "OskeltZTEX.h"
#include "OskeltZtexGlob.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace {

const char Armor[] = "[Armor]\nKnight_Helmet.tga\n[Worlds\\Stone]\nStone_Wall.tga\n";

class BatchRun : public BaseDirTest {
 protected:
  void Run() { RunConversion(TestDialog()); }
};

// --- Conversions ------------------------------------------------------------

TEST_F(BatchRun, ConvertsEveryTextureIntoTheBaseDirectoryWithoutALine) {
  Texture("Alpha-C.TEX", 10, 8, 4);    // DXT1: 24-bit
  Texture("Beta-C.TEX", 9, 3, 5);      // A8R8G8B8: 32-bit
  Run();
  EXPECT_EQ(Summary(2, 0, 0), Log());
  EXPECT_EQ(18u + 8 * 4 * 3 + 26, ReadBytes(base.Path("Alpha.tga")).size());
  EXPECT_EQ(18u + 3 * 5 * 4 + 26, ReadBytes(base.Path("Beta.tga")).size());
  EXPECT_EQ((std::vector<std::string>{"Alpha.tga", "Beta.tga", "_compiled"}), ListDir(base.root));
}

// The time of a file as the platform layer reads it; 0 when it cannot.
uint64_t WriteTimeOf(const std::string& path) {
  uint64_t time = 0;
  PlatFile file = PlatOpenRead(path.c_str());
  if (file == PLAT_NO_FILE || !PlatGetLastWriteTime(file, &time)) time = 0;
  PlatClose(file);
  return time;
}

TEST_F(BatchRun, GivesTheNewFileTheSourcesLastWriteTime) {
  Texture("Alpha-C.TEX");
  const Bytes texture = ReadBytes(base.Path("_compiled/Alpha-C.TEX"));
  ASSERT_TRUE(fs::remove(base.Path("_compiled/Alpha-C.TEX")));
  // 2009-02-13 23:31:30.1234567 UTC, in 100 ns units since 1601.
  const uint64_t stamp = 128790522901234567ull;
  PlatFile source = PlatCreateNew("_compiled\\Alpha-C.TEX");
  ASSERT_NE(PLAT_NO_FILE, source);
  uint32_t written = 0;
  ASSERT_TRUE(PlatWrite(source, texture.data(), static_cast<uint32_t>(texture.size()), &written));
  ASSERT_TRUE(PlatSetLastWriteTime(source, stamp));
  PlatClose(source);
  const uint64_t sourceTime = WriteTimeOf("_compiled\\Alpha-C.TEX");
  ASSERT_LT(sourceTime / 10000000, stamp / 10000000 + 1);

  Run();
  EXPECT_EQ(sourceTime, WriteTimeOf("Alpha.tga"));
}

TEST_F(BatchRun, PlacesMappedTexturesInTheirFoldersWithTheMapsSpelling) {
  Map(Armor);
  Texture("KNIGHT_HELMET-C.TEX");
  Texture("stone_wall-c.tex");
  Run();
  EXPECT_EQ(Summary(2, 0, 0), Log());
  EXPECT_TRUE(PathExists(base.Path("Armor/Knight_Helmet.tga")));
  EXPECT_TRUE(PathExists(base.Path("Worlds/Stone/Stone_Wall.tga")));
  EXPECT_EQ((std::vector<std::string>{"Knight_Helmet.tga"}), ListDir(base.Path("Armor")));
}

TEST_F(BatchRun, CutsTheTailByLengthWhateverItsLetterCase) {
  Texture("foo-c.tex");
  Run();
  EXPECT_EQ((std::vector<std::string>{"_compiled", "foo.tga"}), ListDir(base.root));
}

// --- Files that are there already --------------------------------------------

TEST_F(BatchRun, MovesAFlatTgaOfAMappedTextureIntoItsFolderWithoutConverting) {
  Map(Armor);
  Texture("Knight_Helmet-C.TEX");
  ASSERT_TRUE(WriteText(base.Path("Knight_Helmet.tga"), "edited by an artist"));
  Run();
  EXPECT_EQ(Summary(1, 0, 0), Log());
  EXPECT_FALSE(PathExists(base.Path("Knight_Helmet.tga")));
  EXPECT_EQ(Bytes({'e', 'd', 'i', 't', 'e', 'd', ' ', 'b', 'y', ' ', 'a', 'n', ' ', 'a', 'r', 't',
                   'i', 's', 't'}),
            ReadBytes(base.Path("Armor/Knight_Helmet.tga")));
}

TEST_F(BatchRun, LeavesAnExistingTgaOfAnUnmappedTextureInPlace) {
  Texture("Alpha-C.TEX");
  ASSERT_TRUE(WriteText(base.Path("alpha.TGA"), "kept"));
  Run();
  EXPECT_EQ(Summary(1, 0, 0), Log());
  // Moved onto itself: the content stays, the name takes the texture's case.
  EXPECT_EQ(Bytes({'k', 'e', 'p', 't'}), ReadBytes(base.Path("Alpha.tga")));
  if (RunningUnderWine()) GTEST_SKIP() << "Wine keeps the stored case on a rename onto itself";
  EXPECT_EQ((std::vector<std::string>{"Alpha.tga", "_compiled"}), ListDir(base.root));
}

TEST_F(BatchRun, KeepsBothFilesWhenTheMoveWouldReplaceOne) {
  Map(Armor);
  Texture("Knight_Helmet-C.TEX");
  fs::create_directory(base.Path("Armor"));
  ASSERT_TRUE(WriteText(base.Path("Knight_Helmet.tga"), "flat"));
  ASSERT_TRUE(WriteText(base.Path("Armor/Knight_Helmet.tga"), "placed"));
  Run();
  EXPECT_EQ(Summary(1, 0, 0), Log());
  EXPECT_EQ(Bytes({'f', 'l', 'a', 't'}), ReadBytes(base.Path("Knight_Helmet.tga")));
  EXPECT_EQ(Bytes({'p', 'l', 'a', 'c', 'e', 'd'}), ReadBytes(base.Path("Armor/Knight_Helmet.tga")));
}

TEST_F(BatchRun, SkipsAPlacedTgaAndGivesItTheMapsLetterCase) {
  Map(Armor);
  Texture("Knight_Helmet-C.TEX");
  fs::create_directory(base.Path("Armor"));
  ASSERT_TRUE(WriteText(base.Path("Armor/KNIGHT_helmet.TGA"), "placed"));
  Run();
  EXPECT_EQ("skipped: Armor\\Knight_Helmet.tga\n" + Summary(1, 1, 0), Log());
  EXPECT_EQ(Bytes({'p', 'l', 'a', 'c', 'e', 'd'}), ReadBytes(base.Path("Armor/Knight_Helmet.tga")));
  if (RunningUnderWine()) GTEST_SKIP() << "Wine keeps the stored case on a rename onto itself";
  EXPECT_EQ((std::vector<std::string>{"Knight_Helmet.tga"}), ListDir(base.Path("Armor")));
}

// --- Failures ---------------------------------------------------------------

TEST_F(BatchRun, LogsABrokenTextureWithItsSourcePathAndLeavesNoFile) {
  Texture("Alpha-C.TEX");
  Broken("Bad-C.TEX");
  Texture("Gamma-C.TEX");
  Run();
  EXPECT_EQ(ErrorLine("_compiled\\Bad-C.TEX", ERROR_INVALID_DATATYPE) + Summary(3, 0, 1), Log());
  EXPECT_EQ((std::vector<std::string>{"Alpha.tga", "Gamma.tga", "_compiled"}), ListDir(base.root));
}

TEST_F(BatchRun, LogsEachUndecodableKindWithItsOwnCode) {
  Texture("Five-C.TEX", 13, 8, 8);  // DXT5 has no decoder
  Texture("Short-C.TEX", 12, 8, 8);
  const Bytes whole = ReadBytes(base.Path("_compiled/Short-C.TEX"));
  ASSERT_TRUE(WriteBytes(base.Path("_compiled/Short-C.TEX"), Bytes(whole.begin(), whole.end() - 5)));
  Run();
  EXPECT_EQ(ErrorLine("_compiled\\Five-C.TEX", ERROR_CALL_NOT_IMPLEMENTED) +
                ErrorLine("_compiled\\Short-C.TEX", ERROR_HANDLE_EOF) + Summary(2, 0, 2),
            Log());
  EXPECT_EQ((std::vector<std::string>{"_compiled"}), ListDir(base.root));
}

TEST_F(BatchRun, LogsASourceThatCannotBeOpenedByItsFoundNameAndStillSteps) {
  fs::create_directory(base.Path("_compiled/Folder-C.TEX"));
  Texture("Alpha-C.TEX");
  Run();
  EXPECT_EQ(ErrorLine("Folder-C.TEX", ERROR_ACCESS_DENIED) + Summary(2, 0, 1), Log());
  EXPECT_EQ(2u, EventsStartingWith("progress-step").size());
  EXPECT_FALSE(PathExists(base.Path("Folder.tga")));
}

TEST_F(BatchRun, LogsATargetFolderThatExistsAsAFile) {
  Map(Armor);
  Texture("Knight_Helmet-C.TEX");
  Texture("Alpha-C.TEX");
  ASSERT_TRUE(WriteText(base.Path("Armor"), "a file where the folder should be"));
  Run();
  EXPECT_EQ(ErrorLine("Armor\\Knight_Helmet.tga", ERROR_ALREADY_EXISTS) + Summary(2, 0, 1), Log());
  EXPECT_EQ(33u, ReadBytes(base.Path("Armor")).size());
  EXPECT_TRUE(PathExists(base.Path("Alpha.tga")));
}

TEST_F(BatchRun, NeverWritesOverOrDeletesAnythingAtTheTargetThatItDidNotCreate) {
  Texture("Alpha-C.TEX");
  // A folder of the TGA's name is no file, so the run tries to create the
  // TGA: the create fails and the folder stays as it was.
  fs::create_directories(base.Path("Alpha.tga/inside"));
  Run();
  EXPECT_EQ(ErrorLine("Alpha.tga", ERROR_FILE_EXISTS) + Summary(1, 0, 1), Log());
  EXPECT_TRUE(fs::is_directory(base.Path("Alpha.tga/inside")));
}

TEST_F(BatchRun, LeftoversOfEndedRunsGoForEveryTextureMetAndNothingElseIsRemoved) {
  // Where a file cannot stay unnamed, a run that was killed leaves its
  // temporary file: before its TGA was complete, or after the TGA took its
  // name (Gamma, in place now). Names that only look alike are somebody's.
  Texture("Alpha-C.TEX");
  Texture("Gamma-C.TEX");
  ASSERT_TRUE(WriteText(base.Path("Gamma.tga"), "placed"));
  const std::vector<std::string> kept = {"ALPHA.TG~", "Alpha.tga.oskeltztex-note.tmp", "Alpha.tga~",
                                         "Beta.tga.oskeltztex-0000002A-12345678.tmp"};
  for (const std::string& name : kept) ASSERT_TRUE(WriteText(base.Path(name), "not ours to remove"));
  ASSERT_TRUE(WriteText(base.Path("Alpha.tga.oskeltztex-0000002A-12345678.tmp"), "half a texture"));
  ASSERT_TRUE(WriteText(base.Path("gamma.TGA.OSKELTZTEX-0000002b-9abcdef0.TMP"), "a whole texture"));
  Run();
  EXPECT_EQ(Summary(2, 0, 0), Log());
  std::vector<std::string> expected = kept;
  expected.insert(expected.end(), {"Alpha.tga", "Gamma.tga", "_compiled"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, ListDir(base.root));
}

TEST_F(BatchRun, TemporaryNamesAreTheRunsOwnAndFitThePathLimit) {
  char first[PLAT_PATH_BUFFER], second[PLAT_PATH_BUFFER];
  ASSERT_TRUE(TemporaryPathOf("Armor\\Knight_Helmet.tga", first));
  ASSERT_TRUE(TemporaryPathOf("Armor\\Knight_Helmet.tga", second));
  EXPECT_STREQ(first, second);
  const std::string name(first);
  ASSERT_EQ(std::string("Armor\\Knight_Helmet.tga.oskeltztex-").size() + 21, name.size()) << name;
  char pid[9];
  std::snprintf(pid, sizeof pid, "%08X", static_cast<unsigned>(PlatGetProcessId()));
  EXPECT_EQ(std::string("Armor\\Knight_Helmet.tga.oskeltztex-") + pid + "-", name.substr(0, name.size() - 12));
  EXPECT_EQ(".tmp", name.substr(name.size() - 4));

  // The target's name is cut short where the path limit asks; a folder that
  // leaves no room refuses.
  const std::string folder(200, 'f');
  const std::string longTarget = folder + "\\" + std::string(59, 'n');
  ASSERT_TRUE(TemporaryPathOf(longTarget.c_str(), first));
  EXPECT_EQ(260u, std::strlen(first));
  EXPECT_EQ(longTarget.substr(0, 227) + ".oskeltztex-", std::string(first).substr(0, 239));
  const std::string deep = std::string(227, 'd') + "\\a.tga";
  PlatSetLastError(0);
  EXPECT_FALSE(TemporaryPathOf(deep.c_str(), first));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  EXPECT_STREQ("", first);
}

TEST_F(BatchRun, AFailedConversionLeavesNeitherATargetNorItsTemporaryFile) {
  Broken("Bad-C.TEX");
  Texture("Good-C.TEX");
  Run();
  EXPECT_EQ((std::vector<std::string>{"Good.tga", "_compiled"}), ListDir(base.root));
}

TEST_F(BatchRun, LogsATargetPathBeyond260CharactersByItsFoundNameAndTouchesNothing) {
  const std::string longFolder(251, 'f');  // with \Alpha.tga: 261 characters
  Map("[" + longFolder + "]\nAlpha.tga\n");
  Texture("Alpha-C.TEX");
  Texture("Beta-C.TEX");
  Run();
  EXPECT_EQ(ErrorLine("Alpha-C.TEX", ERROR_FILENAME_EXCED_RANGE) + Summary(2, 0, 1), Log());
  EXPECT_EQ((std::vector<std::string>{"Beta.tga", "_compiled", "map.ini"}), ListDir(base.root));
}

// --- Nothing to do ------------------------------------------------------------

TEST_F(BatchRun, TellsWhenNothingMatchesAndWritesNoSummary) {
  ASSERT_TRUE(WriteText(base.Path("_compiled/readme.txt"), "no textures here"));
  Rec.progressMax = 7;
  Rec.progressPos = 3;
  Rec.log = "old text";
  ProcessedCount = 5;
  Run();
  ASSERT_EQ(1u, Rec.boxes.size());
  EXPECT_EQ(BOX_NOTICE, Rec.boxes[0].kind);
  EXPECT_EQ("No textures found.", Rec.boxes[0].text);
  EXPECT_EQ("(none)", Rec.boxes[0].caption);
  EXPECT_EQ("", Rec.log);
  EXPECT_EQ(0u, ProcessedCount);
  EXPECT_EQ(7, Rec.progressMax);
  EXPECT_EQ(3, Rec.progressPos);
  EXPECT_TRUE(IsEnabled(IDC_CONVERT));
  EXPECT_TRUE(IsEnabled(IDC_BROWSE));
}

TEST_F(BatchRun, TellsWhenTheSourceFolderIsMissing) {
  fs::remove(base.Path("_compiled"));
  Run();
  ASSERT_EQ(1u, Rec.boxes.size());
  EXPECT_EQ("No textures found.", Rec.boxes[0].text);
}

// --- Window during the run ------------------------------------------------------

TEST_F(BatchRun, PumpsOncePerMatchWhileCountingAndAroundEveryTexture) {
  Texture("Alpha-C.TEX");
  Broken("Bad-C.TEX");
  Texture("Gamma-C.TEX");
  Run();
  // 3 while counting, 2 per texture, 1 between closing and deleting the
  // failed target.
  EXPECT_EQ(3 + 2 * 3 + 1, Rec.pumps);
  EXPECT_EQ((std::vector<std::string>{"progress-reset 3", "progress-reset 1"}),
            EventsStartingWith("progress-reset"));
  EXPECT_EQ(3u, EventsStartingWith("progress-step 1").size());
  EXPECT_EQ(0, Rec.progressPos);
  EXPECT_EQ(1, Rec.progressMax);
}

TEST_F(BatchRun, KeepsTheFirstCountAsRangeWhenFilesAppearBetweenTheSearches) {
  Texture("Alpha-C.TEX");
  Rec.onPump = [this](int pump) {
    if (pump == 1) Texture("Beta-C.TEX");
  };
  Run();
  EXPECT_EQ("progress-reset 1", EventsStartingWith("progress-reset").front());
  EXPECT_EQ(2u, EventsStartingWith("progress-step").size());
  EXPECT_EQ(Summary(2, 0, 0), Log());
}

TEST_F(BatchRun, DisablesBrowseAndConvertDuringANormalRunAndEnablesThemAfter) {
  Texture("Alpha-C.TEX");
  std::vector<bool> seen;
  Rec.onPump = [&seen](int) {
    seen = {IsEnabled(IDC_BROWSE), IsEnabled(IDC_CONVERT), IsEnabled(IDC_EXIT), Rec.closeEnabled,
            WorkInProgress};
  };
  Run();
  EXPECT_EQ((std::vector<bool>{false, false, true, true, true}), seen);
  EXPECT_TRUE(IsEnabled(IDC_BROWSE));
  EXPECT_TRUE(IsEnabled(IDC_CONVERT));
  EXPECT_TRUE(IsEnabled(IDC_EXIT));
  EXPECT_FALSE(WorkInProgress);
  EXPECT_TRUE(EventsStartingWith("close-command off").empty());
  EXPECT_TRUE(Rec.closeEnabled);
  EXPECT_FALSE(HadErrors);
}

TEST_F(BatchRun, CommandLineRunDisablesExitAndCloseAndEndsTheProcessWhenClean) {
  CommandLineMode = true;
  Texture("Alpha-C.TEX");
  std::vector<bool> seen;
  Rec.onPump = [&seen](int) {
    seen = {IsEnabled(IDC_BROWSE), IsEnabled(IDC_CONVERT), IsEnabled(IDC_EXIT), Rec.closeEnabled};
  };
  try {
    Run();
    FAIL() << "a clean command-line run ends the process";
  } catch (const ProcessEnded& end) {
    EXPECT_EQ(0u, end.code);
  }
  EXPECT_EQ((std::vector<bool>{false, false, false, false}), seen);
  EXPECT_FALSE(Rec.dialogEnded);
  EXPECT_TRUE(PathExists(base.Path("Alpha.tga")));
}

TEST_F(BatchRun, CommandLineRunWithErrorsLeavesTheWindowOpenWithBrowseDisabled) {
  CommandLineMode = true;
  Broken("Bad-C.TEX");
  Run();
  EXPECT_TRUE(HadErrors);
  EXPECT_FALSE(IsEnabled(IDC_BROWSE));
  EXPECT_TRUE(IsEnabled(IDC_CONVERT));
  EXPECT_TRUE(IsEnabled(IDC_EXIT));
  EXPECT_TRUE(Rec.closeEnabled);
  EXPECT_FALSE(WorkInProgress);

  // Fixed, the next run is clean and ends the process.
  fs::remove(base.Path("_compiled/Bad-C.TEX"));
  Texture("Good-C.TEX");
  EXPECT_THROW(Run(), ProcessEnded);
}

TEST_F(BatchRun, CommandLineRunThatFindsNothingCountsAsFailed) {
  CommandLineMode = true;
  Run();
  EXPECT_TRUE(HadErrors);
  EXPECT_FALSE(Rec.dialogEnded);
  EXPECT_TRUE(IsEnabled(IDC_EXIT));
  EXPECT_EQ(1u, Rec.boxes.size());
}

TEST_F(BatchRun, StartsEveryRunFromAnEmptyLogAndZeroCounters) {
  Broken("Bad-C.TEX");
  Run();
  Run();
  EXPECT_EQ(ErrorLine("_compiled\\Bad-C.TEX", ERROR_INVALID_DATATYPE) + Summary(1, 0, 1), Log());
}

// --- Close requests that arrive while the run pumps ------------------------------

TEST_F(BatchRun, GoesOnWhenTheCloseIsDeclined) {
  Texture("Alpha-C.TEX");
  Texture("Beta-C.TEX");
  Rec.answers = {BOX_ANSWER_NO};
  Rec.onPump = [](int pump) {
    if (pump == 3) Rec.queue.push_back([] { CloseMainDialog(TestDialog(), 0); });
  };
  Run();
  ASSERT_EQ(1u, Rec.boxes.size());
  EXPECT_EQ(BOX_QUESTION, Rec.boxes[0].kind);
  EXPECT_EQ("Do you want to terminate the program?", Rec.boxes[0].text);
  EXPECT_EQ("Work is in progress!", Rec.boxes[0].caption);
  EXPECT_FALSE(Rec.dialogEnded);
  EXPECT_EQ(Summary(2, 0, 0), Log());
}

TEST_F(BatchRun, EndsTheProcessWithOneWhenTheCloseIsConfirmed) {
  Texture("Alpha-C.TEX");
  Texture("Beta-C.TEX");
  Rec.answers = {BOX_ANSWER_YES};
  Rec.onPump = [](int pump) {
    if (pump == 3) Rec.queue.push_back([] { HandleMainCommand(TestDialog(), 0, IDC_EXIT, &Rec); });
  };
  try {
    Run();
    FAIL() << "a confirmed close ends the process";
  } catch (const ProcessEnded& end) {
    EXPECT_EQ(1u, end.code);
  }
  EXPECT_TRUE(Rec.dialogEnded);
  EXPECT_FALSE(PathExists(base.Path("Beta.tga")));
}

TEST_F(BatchRun, DeletesTheFailedTemporaryWhenTheCloseIsConfirmedBeforeItsDeletion) {
  Broken("Bad-C.TEX");
  Rec.answers = {BOX_ANSWER_YES};
  Rec.onPump = [this](int pump) {
    // Pumps 1 (count) and 2 (before the texture); pump 3 sits between the
    // failed conversion's close and the removal of its file, which never
    // had the target's name.
    if (pump == 3) {
      EXPECT_FALSE(PathExists(base.Path("Bad.tga")));
      Rec.queue.push_back([] { CloseMainDialog(TestDialog(), 0); });
    }
  };
  EXPECT_THROW(Run(), ProcessEnded);
  EXPECT_EQ((std::vector<std::string>{"_compiled"}), ListDir(base.root));
}

TEST_F(BatchRun, ShowsTheAboutBoxWhileTheRunWaits) {
  Texture("Alpha-C.TEX");
  Rec.onPump = [](int pump) {
    if (pump == 2) Rec.queue.push_back([] { HandleMainCommand(TestDialog(), 0, IDC_INFO, &Rec); });
  };
  Run();
  ASSERT_EQ(1u, Rec.boxes.size());
  EXPECT_EQ(BOX_ABOUT, Rec.boxes[0].kind);
  EXPECT_EQ("About", Rec.boxes[0].caption);
  EXPECT_EQ(0u, Rec.boxes[0].text.find("OskeltZTEX 2.6\r\nBrannoc TEXture Converter\r\n"));
  EXPECT_EQ(Summary(1, 0, 0), Log());
}

}  // namespace
