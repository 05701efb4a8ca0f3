// The built Linux program without a display: its console contract (log on
// standard output, message boxes on standard error, exit codes, the progress
// line on a terminal) and its behaviour under real faults.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "ZtexWriter.h"

namespace fs = std::filesystem;

namespace {

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(base.Path("_compiled"));
    fs::permissions(base.root, fs::perms::all);
  }
  void Texture(const std::string& name, uint32_t format = ZTEXGEN_DXT1, uint32_t w = 16,
               uint32_t h = 8, uint32_t mips = 1) {
    RgbaImage image;
    ASSERT_TRUE(MakePattern("letter", w, h, 1, &image));
    ByteVector bytes;
    ASSERT_TRUE(BuildZtexFile(format, image, mips, &bytes));
    ASSERT_TRUE(WriteBytes(base.Path("_compiled/" + name), bytes));
  }
  Outcome Convert(const std::string& prefix = "", const std::string& user = "") {
    return RunProgram({OSKELT_PROGRAM, "-C", base.root}, "/", prefix, user);
  }
  TempDir base;
};

// --- The console contract ---------------------------------------------------------

TEST_F(Program, ACleanRunPrintsTheLogWithPlainLineBreaksAndExitsWithZero) {
  Texture("Knight_Helmet-C.TEX");  // mapped to Armor by the default map
  Texture("Loose-C.TEX");
  fs::create_directory(base.Path("Armor"));
  ASSERT_TRUE(WriteText(base.Path("Armor/knight_helmet.tga"), "placed"));
  const Outcome run = Convert();
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ("skipped: Armor\\Knight_Helmet.tga\n\n\nSummary:\n  Processed: 2\n  Skipped: 1\n  Errors: 0\n",
            run.out);
  EXPECT_EQ("", run.err);
  EXPECT_TRUE(PathExists(base.Path("Loose.tga")));
  EXPECT_TRUE(PathExists(base.Path("Armor/Knight_Helmet.tga")));
}

TEST_F(Program, ARunWithErrorsPrintsThemAndEndsWithOne) {
  ASSERT_TRUE(WriteText(base.Path("_compiled/Broken-C.TEX"), "not a texture"));
  Texture("Fine-C.TEX");
  const Outcome run = Convert();
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("ERROR: _compiled\\Broken-C.TEX (" + Message(ERROR_FILE_CORRUPT) +
                ")\n\n\nSummary:\n  Processed: 2\n  Skipped: 0\n  Errors: 1\n",
            run.out);
  EXPECT_EQ(std::string::npos, run.out.find('\r'));
  EXPECT_EQ("", run.err);
}

TEST_F(Program, NothingToConvertGoesToStandardErrorWithWhereItLookedAndEndsWithOne) {
  const Outcome run = Convert();
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("", run.out);
  EXPECT_EQ("No textures found.\nOskeltZTEX: nothing matches _compiled\\*-C.TEX in " + base.root + "\n",
            run.err);

  // Given the _compiled folder itself, it names the folder that holds it.
  const Outcome inside = RunProgram({OSKELT_PROGRAM, "-C", base.Path("_compiled")}, "/");
  EXPECT_EQ(1, inside.code);
  EXPECT_EQ("No textures found.\nOskeltZTEX: nothing matches _compiled\\*-C.TEX in " +
                base.Path("_compiled") + "\nOskeltZTEX: " + base.Path("_compiled") +
                " is itself a _compiled folder; pass the folder that holds it: OskeltZTEX -C " +
                base.root + "\n",
            inside.err);
}

TEST_F(Program, ABadCommandLineIsRefusedBeforeAnythingIsDone) {
  Texture("Fine-C.TEX");
  const struct {
    std::vector<std::string> argv;
    std::string why;
  } cases[] = {
      {{OSKELT_PROGRAM, "-C", base.Path("missing")},
       "\"" + base.Path("missing") + "\": no such folder (" + Message(ERROR_FILE_NOT_FOUND) + ")"},
      {{OSKELT_PROGRAM, "-C", base.Path("_compiled/Fine-C.TEX")},
       "\"" + base.Path("_compiled/Fine-C.TEX") + "\": no such folder (" + Message(ERROR_DIRECTORY) + ")"},
      {{OSKELT_PROGRAM, "/c", base.root, "more"}, "\"more\": too many parameters (-C takes one folder at most)"}};
  for (const auto& c : cases) {
    const Outcome run = RunProgram(c.argv, base.root);
    EXPECT_EQ(1, run.code);
    EXPECT_EQ("Invalid parameters!\nOskeltZTEX: " + c.why + "\nUsage: OskeltZTEX -C [BASEDIR]\n", run.err);
    EXPECT_EQ("", run.out);
  }
  EXPECT_FALSE(PathExists(base.Path("Fine.tga")));
}

TEST_F(Program, WithoutTheSwitchItSaysThatTheWindowNeedsADisplay) {
  const Outcome run = RunProgram({OSKELT_PROGRAM}, base.root);
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("", run.out);
  EXPECT_NE(std::string::npos, run.err.find("display"));
  EXPECT_NE(std::string::npos, run.err.find("-C"));
  EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n'));
}

TEST_F(Program, HelpAndVersionGoToStandardOutputBeforeAnyWindow) {
  TempDir lonely;  // a copy elsewhere: the help names the map beside it
  const std::string copy = lonely.Path("OskeltZTEX");
  fs::copy_file(OSKELT_PROGRAM, copy);
  for (const char* display : {"", "export DISPLAY=:4711; "})
    for (const char* option : {"--help", "-h"}) {
      const Outcome help = RunProgram({copy, option}, base.root, display);
      EXPECT_EQ(0, help.code) << option;
      EXPECT_EQ("", help.err);
      EXPECT_EQ(0u, help.out.find("Usage: OskeltZTEX [-C [BASEDIR]]\n")) << help.out;
      EXPECT_NE(std::string::npos, help.out.find("Folder map: " + copy + ".ini\n")) << help.out;
      EXPECT_NE(std::string::npos, help.out.find("Exit codes: 0 after a run without errors"));
    }
  const Outcome version = RunProgram({copy, "--version"}, base.root, "export DISPLAY=:4711; ");
  EXPECT_EQ(0, version.code);
  EXPECT_EQ("OskeltZTEX 2.6\n", version.out);
  EXPECT_EQ("", version.err);
}

TEST_F(Program, WithoutItsFolderMapItRefusesToStart) {
  TempDir lonely;
  const std::string copy = lonely.Path("OskeltZTEX");
  fs::copy_file(OSKELT_PROGRAM, copy);
  Texture("Fine-C.TEX");
  const Outcome run = RunProgram({copy, "-C", base.root}, "/");
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("Error on reading INI file!\nOskeltZTEX: the folder map " + copy + ".ini is missing\n", run.err);
  EXPECT_FALSE(PathExists(base.Path("Fine.tga")));

  // One without a section, and one that cannot be read.
  ASSERT_TRUE(WriteText(copy + ".ini", "; nothing but a comment\nline before any section\n"));
  EXPECT_EQ("Error on reading INI file!\nOskeltZTEX: the folder map " + copy + ".ini holds no section\n",
            RunProgram({copy, "-C", base.root}, "/").err);
  fs::remove(copy + ".ini");
  fs::create_directory(copy + ".ini");
  EXPECT_EQ("Error on reading INI file!\nOskeltZTEX: the folder map " + copy + ".ini cannot be read (" +
                Message(ERROR_ACCESS_DENIED) + ")\n",
            RunProgram({copy, "-C", base.root}, "/").err);
  fs::remove(copy + ".ini");

  // Named after the program: a renamed program reads its own INI.
  fs::copy_file(std::string(OSKELT_PROGRAM) + ".ini", lonely.Path("OskeltZTEX.ini"));
  EXPECT_EQ(0, RunProgram({copy, "-C", base.root}, "/").code);
}

// --- The window module ------------------------------------------------------------

TEST_F(Program, AConsoleRunLoadsNoQtLibrary) {
  Texture("Fine-C.TEX");
  // The dynamic loader names every library it loads, the program's own
  // dependencies included.
  const Outcome run = Convert("export LD_DEBUG=libs; ");
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("libc.so")) << "the loader did not report";
  EXPECT_EQ(std::string::npos, run.err.find("libQt")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("OskeltZtexQt")) << run.err;
  EXPECT_TRUE(PathExists(base.Path("Fine.tga")));
}

TEST_F(Program, WithADisplayButNoWindowModuleItSaysSoOnceAndConvertsWithoutAWindow) {
  TempDir lonely;  // the program and its map, without the module
  const std::string copy = lonely.Path("OskeltZTEX");
  fs::copy_file(OSKELT_PROGRAM, copy);
  fs::copy_file(std::string(OSKELT_PROGRAM) + ".ini", lonely.Path("OskeltZTEX.ini"));
  Texture("Fine-C.TEX");
  const Outcome run = RunProgram({copy, "-C", base.root}, "/", "export DISPLAY=:4711; ");
  EXPECT_EQ(0, run.code) << run.err;
  EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
  EXPECT_NE(std::string::npos, run.err.find(lonely.Path("OskeltZtexQt.so"))) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Errors: 0"));
  EXPECT_TRUE(PathExists(base.Path("Fine.tga")));
  // Without the switch there is nothing it could do.
  const Outcome idle = RunProgram({copy}, base.root, "export DISPLAY=:4711; ");
  EXPECT_EQ(1, idle.code);
  EXPECT_NE(std::string::npos, idle.err.find("-C")) << idle.err;
}

TEST_F(Program, DrawsAProgressLineOnlyWhenStandardErrorIsATerminal) {
  for (int i = 0; i < 3; ++i) Texture("T" + std::to_string(i) + "-C.TEX");
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const int out = open("/dev/null", O_WRONLY);
    dup2(out, 1);
    execl(OSKELT_PROGRAM, OSKELT_PROGRAM, "-C", base.root.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string terminal;
  char buffer[512];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    terminal.append(buffer, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_NE(std::string::npos, terminal.find("3/3 100%")) << terminal;
  // Erased at the end: the last thing written clears the line.
  EXPECT_EQ("\r\033[K", terminal.substr(terminal.size() - 4)) << terminal;

  // Not a terminal: nothing on standard error at all.
  fs::remove_all(base.Path("T0.tga"));
  EXPECT_EQ("", Convert().err);
}

// --- Faults ----------------------------------------------------------------------

TEST_F(Program, AWriteThatFailsPartWayLeavesNoPartialFileAndTheRunGoesOn) {
  Texture("Big-C.TEX", ZTEXGEN_A8R8G8B8, 64, 64);  // 16,428 bytes of TGA
  Texture("Small-C.TEX", ZTEXGEN_DXT1, 8, 4);      // 140 bytes
  ASSERT_TRUE(WriteText(base.Path("Other.txt"), "untouched"));
  // 8 blocks of 1,024 bytes; writes beyond fail with EFBIG instead of a signal.
  const Outcome run = Convert("ulimit -f 8; trap '' XFSZ; ");
  EXPECT_EQ(1, run.code);
  const std::string line = "ERROR: _compiled\\Big-C.TEX (" + Message(ERROR_FILE_TOO_LARGE) + ")\n";
  EXPECT_EQ(0u, run.out.find(line)) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Processed: 2\n  Skipped: 0\n  Errors: 1\n"));
  EXPECT_FALSE(PathExists(base.Path("Big.tga")));
  EXPECT_TRUE(PathExists(base.Path("Small.tga")));
  EXPECT_EQ((std::vector<std::string>{"Other.txt", "Small.tga", "_compiled"}), ListDir(base.root));
}

TEST_F(Program, ANameThatCouldReachOtherFoldersIsRefusedBeforeAnythingIsOpened) {
  // A name that Linux allows: with backslashes read as separators it would
  // read ../X/y-C.TEX and create a TGA outside the base directory.
  fs::create_directories(base.Path("X"));
  Texture("../X/y-C.TEX");
  fs::create_directories(base.Path("inner/_compiled"));
  ASSERT_TRUE(WriteText(base.Path("inner/_compiled/a\\..\\..\\X\\y-C.TEX"), "a name, not a path"));
  const Outcome run = RunProgram({OSKELT_PROGRAM, "-C", base.Path("inner")}, "/");
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("ERROR: a\\..\\..\\X\\y-C.TEX (" + Message(ERROR_INVALID_NAME) +
                ")\n\n\nSummary:\n  Processed: 1\n  Skipped: 0\n  Errors: 1\n",
            run.out);
  EXPECT_EQ((std::vector<std::string>{"X", "_compiled", "inner"}), ListDir(base.root));
  EXPECT_EQ((std::vector<std::string>{"y-C.TEX"}), ListDir(base.Path("X")));
  EXPECT_EQ((std::vector<std::string>{"_compiled"}), ListDir(base.Path("inner")));
}

TEST_F(Program, ANameWithLineBreaksCannotForgeLogLines) {
  ASSERT_TRUE(WriteText(base.Path("_compiled/x\nSummary:\n  Errors: 0\nz-C.TEX"), "broken"));
  Texture("Fine-C.TEX");
  const Outcome run = Convert();
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("ERROR: x?Summary:?  Errors: 0?z-C.TEX (" + Message(ERROR_INVALID_NAME) +
                ")\n\n\nSummary:\n  Processed: 2\n  Skipped: 0\n  Errors: 1\n",
            run.out);
  EXPECT_TRUE(PathExists(base.Path("Fine.tga")));
}

class UnprivilegedProgram : public Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "setpriv missing";
    fs::permissions(base.Path("_compiled"), fs::perms::all);
    // The user must reach the base directory through its parents.
    for (fs::path p = fs::path(base.root).parent_path(); p != p.root_path(); p = p.parent_path())
      if ((fs::status(p).permissions() & fs::perms::others_exec) == fs::perms::none)
        GTEST_SKIP() << p << " is closed to other users";
  }
};

TEST_F(UnprivilegedProgram, AnUnreadableSourceIsLoggedByItsNameAndTheRunGoesOn) {
  Texture("Locked-C.TEX");
  Texture("Open-C.TEX");
  fs::permissions(base.Path("_compiled/Locked-C.TEX"), fs::perms::none);
  const Outcome run = Convert("", "65534");
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(0u, run.out.find("ERROR: Locked-C.TEX (" + Message(ERROR_ACCESS_DENIED) + ")\n"))
      << run.out << run.err;
  EXPECT_FALSE(PathExists(base.Path("Locked.tga")));
  EXPECT_TRUE(PathExists(base.Path("Open.tga")));
}

// A TGA converted into a read-only folder, and one lying flat that cannot be
// moved into one: each is an error with the target path.
TEST_F(UnprivilegedProgram, AReadOnlyTargetFolderIsLoggedByTheTargetPath) {
  Texture("Knight_Helmet-C.TEX");  // into Armor by the default map
  Texture("Stone_Wall-C.TEX");     // into Worlds\Stone
  Texture("Open-C.TEX");
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
  fs::create_directory(base.Path("Armor"));
  fs::create_directories(base.Path("Worlds/Stone"));
  fs::permissions(base.Path("Armor"), readOnly);
  fs::permissions(base.Path("Worlds/Stone"), readOnly);
  ASSERT_TRUE(WriteText(base.Path("Armor.txt"), "untouched"));
  ASSERT_TRUE(WriteText(base.Path("Stone_Wall.tga"), "flat"));
  const Outcome run = Convert("", "65534");
  EXPECT_EQ(1, run.code);
  EXPECT_EQ("ERROR: Armor\\Knight_Helmet.tga (" + Message(ERROR_ACCESS_DENIED) + ")\n" +
                "ERROR: Worlds\\Stone\\Stone_Wall.tga (" + Message(ERROR_ACCESS_DENIED) + ")\n" +
                "\n\nSummary:\n  Processed: 3\n  Skipped: 0\n  Errors: 2\n",
            run.out);
  EXPECT_TRUE(ListDir(base.Path("Armor")).empty());
  EXPECT_TRUE(ListDir(base.Path("Worlds/Stone")).empty());
  EXPECT_EQ("flat", Slurp(base.Path("Stone_Wall.tga")));
  EXPECT_TRUE(PathExists(base.Path("Open.tga")));
}

TEST_F(Program, AFolderOfTheTargetPathThatIsAFileIsLoggedAndLeftAlone) {
  Texture("Stone_Wall-C.TEX");  // into Worlds\Stone by the default map
  Texture("Open-C.TEX");
  fs::create_directory(base.Path("Worlds"));
  ASSERT_TRUE(WriteText(base.Path("Worlds/Stone"), "a file, not a folder"));
  const Outcome run = Convert();
  EXPECT_EQ(1, run.code);
  EXPECT_EQ(0u, run.out.find("ERROR: Worlds\\Stone\\Stone_Wall.tga (" + Message(ERROR_ALREADY_EXISTS) + ")\n"))
      << run.out;
  EXPECT_EQ("a file, not a folder", Slurp(base.Path("Worlds/Stone")));
  EXPECT_TRUE(PathExists(base.Path("Open.tga")));
}

}  // namespace
