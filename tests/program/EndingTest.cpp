// However a run of the built program ends (a signal at any instant, a file
// size limit, a log reader that goes away), every file at a target name is a
// complete TGA, and the next run completes the set and leaves nothing else.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "OskeltZtexConvert.h"
#include "Platform.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "ZtexWriter.h"

namespace fs = std::filesystem;

namespace {

// Eight textures of 1024 x 1024 pixels (3 MiB of TGA each); four of them go
// into the sub-folders of the default folder map.
const char* const NAMES[] = {"Cobble_Path", "Dune", "Glow_Ring", "Heath",
                             "Knight_Helmet", "Moss", "Stone_Wall", "Tundra"};
const std::map<std::string, std::string> TARGETS = {
    {"Cobble_Path", "Worlds/Stone/Cobble_Path.tga"}, {"Dune", "Dune.tga"},
    {"Glow_Ring", "Effects/Glow_Ring.tga"},          {"Heath", "Heath.tga"},
    {"Knight_Helmet", "Armor/Knight_Helmet.tga"},    {"Moss", "Moss.tga"},
    {"Stone_Wall", "Worlds/Stone/Stone_Wall.tga"},   {"Tundra", "Tundra.tga"}};
const std::set<std::string> FOLDERS = {"Armor", "Effects", "Worlds", "Worlds/Stone", "_compiled"};

const char* const IN_A_WINDOW = "export DISPLAY=:4711 QT_QPA_PLATFORM=offscreen; ";

bool AppendTo(void* context, const void* bytes, uint32_t size) {
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), from, from + size);
  return true;
}

void SleepMicroseconds(long microseconds) {
  struct timespec pause = {microseconds / 1000000, (microseconds % 1000000) * 1000};
  nanosleep(&pause, nullptr);
}

class Ending : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RgbaImage image;
    ASSERT_TRUE(MakePattern("gradient", 1024, 1024, 5, &image));
    Texture = new ByteVector;
    ASSERT_TRUE(BuildZtexFile(ZTEXGEN_DXT1, image, 3, Texture));
    Tga = new Bytes;
    ASSERT_TRUE(ConvertZtexMemoryToTga(Texture->data(), Texture->size(), TgaSink{AppendTo, Tga}));
  }
  static void TearDownTestSuite() {
    delete Texture;
    delete Tga;
  }

  void SetUp() override {
    base = work.Path("base");
    FillBase();
  }

  void FillBase() {
    fs::create_directories(base + "/_compiled");
    for (const char* name : NAMES)
      ASSERT_TRUE(WriteBytes(base + "/_compiled/" + name + "-C.TEX", Bytes(Texture->begin(), Texture->end())));
  }

  std::vector<std::string> Convert() const { return {OSKELT_PROGRAM, "-C", base}; }

  // Every file beside _compiled is a complete TGA at a target name, or, where
  // runs may still hold them or have left them, a temporary file.
  void ExpectOnlyCompleteTargets(bool temporariesToo = false) {
    for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
      const std::string relative = fs::relative(it->path(), base).string();
      if (relative == "_compiled") {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_directory()) {
        EXPECT_TRUE(FOLDERS.count(relative)) << "a folder " << relative;
        continue;
      }
      if (temporariesToo && relative.find(".oskeltztex-") != std::string::npos) continue;
      bool target = false;
      for (const auto& t : TARGETS) target = target || t.second == relative;
      ASSERT_TRUE(target) << "a file at no target name: " << relative;
      ASSERT_TRUE(ReadBytes(it->path().string()) == *Tga) << relative << " is not the complete TGA";
    }
  }

  // A run without disturbance converts what is missing and ends with 0.
  void ExpectTheNextRunCompletesTheSet() {
    const Outcome run = RunProgram(Convert(), "/");
    EXPECT_EQ(0, run.code) << run.out << run.err;
    ExpectOnlyCompleteTargets();
    for (const auto& t : TARGETS) EXPECT_TRUE(PathExists(base + "/" + t.second)) << t.second;
  }

  void RemoveTargets() {
    for (const auto& t : TARGETS) fs::remove(base + "/" + t.second);
  }

  // Wall time of a whole run, in microseconds: the shortest of three, so
  // that a busy moment of the machine does not stretch it.
  long CleanRunMicroseconds(const std::string& shellPrefix) {
    long shortest = 0;
    for (int i = 0; i < 3; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const int code = FinishProgram(StartProgram(Convert(), "/", shellPrefix, -1, ""));
      const auto end = std::chrono::steady_clock::now();
      EXPECT_EQ(0, code);
      RemoveTargets();
      const long took = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count());
      if (i == 0 || took < shortest) shortest = took;
    }
    return shortest;
  }

  // Runs interrupted by each signal at random instants of a run.
  void InterruptAtRandomInstants(const std::string& shellPrefix, const std::vector<int>& signals,
                                 int trials) {
    const long clean = CleanRunMicroseconds(shellPrefix);
    std::mt19937 random(20261208);
    int interrupted = 0;
    for (int signal : signals)
      for (int trial = 0; trial < trials; ++trial) {
        SCOPED_TRACE("signal " + std::to_string(signal) + ", trial " + std::to_string(trial));
        const long at = std::uniform_int_distribution<long>(0, clean)(random);
        const pid_t pid = StartProgram(Convert(), "/", shellPrefix, -1, "");
        SleepMicroseconds(at);
        kill(pid, signal);
        const int code = FinishProgram(pid);
        // Done before the signal came (0), ended as a confirmed close (1),
        // or ended by the signal itself (before the program could catch it,
        // or SIGKILL).
        EXPECT_TRUE(code == 0 || code == 1 || code == 128 + signal) << "exit code " << code;
        ExpectOnlyCompleteTargets();
        for (const auto& t : TARGETS)
          if (!PathExists(base + "/" + t.second)) {
            ++interrupted;
            break;
          }
        ExpectTheNextRunCompletesTheSet();
        RemoveTargets();
      }
    // Many instants fall before the set is complete (how many depends on
    // how busy the machine is): a test that never interrupted a run would
    // prove nothing.
    EXPECT_GE(interrupted, static_cast<int>(signals.size()) * trials / 4)
        << "runs of " << clean << " us";
  }

  // A copy of the program in programDir whose map places count names in
  // "Done", where their TGA files lie already: a run logs count "skipped"
  // lines (25 bytes each) before it converts the textures.
  std::string ProgramWithPlacedNames(int count, const TempDir& programDir) {
    const std::string program = programDir.Path("OskeltZTEX");
    fs::copy_file(OSKELT_PROGRAM, program);
    std::string ini = "[Done]\n";
    fs::create_directories(base + "/Done");
    for (int i = 0; i < count; ++i) {
      const std::string name = "A" + std::to_string(10000 + i);
      ini += name + ".tga\n";
      EXPECT_TRUE(WriteText(base + "/_compiled/" + name + "-C.TEX", "source"));
      EXPECT_TRUE(WriteText(base + "/Done/" + name + ".tga", "placed"));
    }
    EXPECT_TRUE(WriteText(programDir.Path("OskeltZTEX.ini"), ini));
    return program;
  }

  static ByteVector* Texture;
  static Bytes* Tga;
  TempDir work;
  std::string base;
};

ByteVector* Ending::Texture = nullptr;
Bytes* Ending::Tga = nullptr;

TEST_F(Ending, ASignalAtAnyInstantLeavesOnlyCompleteTargetsAndTheNextRunCompletesTheSet) {
  InterruptAtRandomInstants("", {SIGTERM, SIGINT, SIGHUP, SIGKILL}, 5);
}

TEST_F(Ending, ACaughtSignalEndsARunAsAConfirmedCloseDoes) {
  // Signalled while it converts the first texture: the run ends with 1 after
  // that texture, and no other texture is begun.
  const pid_t pid = StartProgram(Convert(), "/", "", -1, "");
  for (int i = 0; i < 2000 && !PathExists(base + "/Worlds"); ++i) SleepMicroseconds(500);
  kill(pid, SIGTERM);
  EXPECT_EQ(1, FinishProgram(pid));
  ExpectOnlyCompleteTargets();
  EXPECT_FALSE(PathExists(base + "/Tundra.tga"));
  ExpectTheNextRunCompletesTheSet();
}

TEST_F(Ending, AFileSizeLimitFailsEachTextureWithoutAPartialFileAndTheRunGoesOn) {
  // 1 MiB of file at most: every 3 MiB TGA fails part-way.
  const Outcome run = RunProgram(Convert(), "/", "ulimit -f 1024; ");
  EXPECT_EQ(1, run.code) << run.err;
  for (const char* name : NAMES)
    EXPECT_NE(std::string::npos,
              run.out.find(std::string("ERROR: _compiled\\") + name + "-C.TEX (" +
                           Message(ERROR_FILE_TOO_LARGE) + ")\n"))
        << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Processed: 8\n  Skipped: 0\n  Errors: 8\n"));
  ExpectOnlyCompleteTargets();
  EXPECT_FALSE(PathExists(base + "/Dune.tga"));
  ExpectTheNextRunCompletesTheSet();
}

TEST_F(Ending, ALogReaderThatGoesAwayEndsTheRunWithoutAPartialFile) {
  // 2,000 "skipped" lines come before the textures. The reader takes the
  // first line and goes, as `| head -n 1` does, while the program waits to
  // write.
  TempDir programDir;
  const std::string program = ProgramWithPlacedNames(2000, programDir);
  int log[2];
  ASSERT_EQ(0, pipe2(log, O_CLOEXEC));  // the program must not hold the reading end
  const pid_t pid = StartProgram({program, "-C", base}, "/", "", log[1], "");
  close(log[1]);
  std::string first;
  char c = 0;
  while (read(log[0], &c, 1) == 1 && c != '\n') first += c;
  close(log[0]);
  EXPECT_EQ("skipped: Done\\A10000.tga", first);
  EXPECT_EQ(1, FinishProgram(pid));
  for (const char* name : NAMES) EXPECT_FALSE(PathExists(base + "/" + name + ".tga")) << name;

  const Outcome next = RunProgram({program, "-C", base}, "/");
  EXPECT_EQ(0, next.code) << next.err;
  for (const char* name : NAMES)
    EXPECT_TRUE(ReadBytes(base + "/" + name + ".tga") == *Tga) << name;
  EXPECT_EQ((std::vector<std::string>{"Cobble_Path.tga", "Done", "Dune.tga", "Glow_Ring.tga", "Heath.tga",
                                      "Knight_Helmet.tga", "Moss.tga", "Stone_Wall.tga", "Tundra.tga",
                                      "_compiled"}),
            ListDir(base));
}

TEST_F(Ending, InTheWindowASignalAtAnyInstantEndsTheRunAsAConfirmedCloseDoes) {
  InterruptAtRandomInstants(IN_A_WINDOW, {SIGTERM, SIGINT, SIGHUP}, 2);
}

TEST_F(Ending, AnIdleWindowClosesOnASignalWithTheExitCodeOfAClose) {
  // Normal mode: closing the idle window gives 0.
  TempDir capture;
  pid_t pid = StartProgram({OSKELT_PROGRAM}, base, IN_A_WINDOW, -1, capture.Path("err"));
  SleepMicroseconds(800000);
  kill(pid, SIGTERM);
  EXPECT_EQ(0, FinishProgram(pid));
  EXPECT_EQ("", Slurp(capture.Path("err")));

  // Command-line mode after a run with an error: the window stays open, and
  // closing it gives 1.
  ASSERT_TRUE(WriteText(base + "/_compiled/Broken-C.TEX", "no texture"));
  const std::string out = capture.Path("out");
  const int log = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid = StartProgram(Convert(), "/", IN_A_WINDOW, log, capture.Path("err"));
  close(log);
  for (int i = 0; i < 600 && Slurp(out).find("Errors: 1\n") == std::string::npos; ++i)
    SleepMicroseconds(50000);
  ASSERT_NE(std::string::npos, Slurp(out).find("Errors: 1\n")) << Slurp(capture.Path("err"));
  kill(pid, SIGTERM);
  EXPECT_EQ(1, FinishProgram(pid));
  ExpectOnlyCompleteTargets();
}

// --- Exit codes and the log's output --------------------------------------------------

const char* const FRONT_ENDS[] = {"", IN_A_WINDOW};

TEST_F(Ending, ARequestBeforeTheRunHasFinishedGivesOne) {
  // A map of 50,000 sections takes the program most of a second to load: the
  // request comes before the run has even started.
  TempDir programDir;
  const std::string program = programDir.Path("OskeltZTEX");
  fs::copy_file(OSKELT_PROGRAM, program);
  std::string ini;
  for (int i = 0; i < 50000; ++i) ini += "[S" + std::to_string(i) + "]\nN" + std::to_string(i) + ".tga\n";
  ASSERT_TRUE(WriteText(programDir.Path("OskeltZTEX.ini"), ini));
  for (const char* frontEnd : FRONT_ENDS) {
    SCOPED_TRACE(*frontEnd ? "window" : "console");
    const pid_t pid = StartProgram({program, "-C", base}, "/", frontEnd, -1, "");
    SleepMicroseconds(150000);
    kill(pid, SIGTERM);
    EXPECT_EQ(1, FinishProgram(pid));
  }
}

TEST_F(Ending, AWindowRunWithStandardInputAndOutputClosedConvertsEverything) {
  // A placed TGA gives a "skipped" line for descriptor 1 before the
  // textures are converted.
  fs::create_directories(base + "/Armor");
  ASSERT_TRUE(WriteBytes(base + "/Armor/Knight_Helmet.tga", *Tga));
  const pid_t pid = StartProgram(Convert(), "/", std::string(IN_A_WINDOW) + "exec 0<&- 1>&-; ", -1, "");
  EXPECT_EQ(0, FinishProgram(pid));
  for (const auto& t : TARGETS) EXPECT_TRUE(ReadBytes(base + "/" + t.second) == *Tga) << t.second;
}

TEST_F(Ending, ALogThatCannotBeWrittenEndsTheRunWithOneAndSaysWhy) {
  for (const char* frontEnd : FRONT_ENDS) {
    SCOPED_TRACE(*frontEnd ? "window" : "console");
    const Outcome run = RunProgram(Convert(), "/", std::string(frontEnd) + "exec >/dev/full; ");
    EXPECT_EQ(1, run.code);
    EXPECT_NE(std::string::npos,
              run.err.find("OskeltZTEX: the log cannot be written to standard output (" +
                           Message(ERROR_DISK_FULL) + ")\n"))
        << run.err;
    ExpectOnlyCompleteTargets();
    RemoveTargets();
  }
}

TEST_F(Ending, ARequestEndsTheProgramWhileTheLogsReaderHasStoppedReading) {
  // 4,000 "skipped" lines, 100 KB, more than a pipe holds: the program
  // waits for a reader that never reads.
  TempDir programDir;
  const std::string program = ProgramWithPlacedNames(4000, programDir);
  for (const char* frontEnd : FRONT_ENDS) {
    SCOPED_TRACE(*frontEnd ? "window" : "console");
    int log[2];
    ASSERT_EQ(0, pipe2(log, O_CLOEXEC));
    const pid_t pid = StartProgram({program, "-C", base}, "/", frontEnd, log[1], "");
    close(log[1]);
    int queued = 0;
    for (int i = 0; i < 2000 && queued < 60000; ++i) {
      SleepMicroseconds(5000);
      ioctl(log[0], FIONREAD, &queued);
    }
    ASSERT_GE(queued, 60000) << "the pipe never filled";
    kill(pid, SIGTERM);
    EXPECT_EQ(1, FinishProgramWithin(pid, 2000));
    close(log[0]);
  }
}

// --- Runs at once on a file system without unnamed files ---------------------------

// The base directory is a bindfs mount (FUSE) of a folder of the test's
// own: no O_TMPFILE, no RENAME_NOREPLACE, no link through /proc, so every
// TGA goes through a named temporary file. Runs are held at a system call
// or killed there with strace.
class EndingOnFuse : public Ending {
 protected:
  void SetUp() override {
    base = work.Path("base");
    fs::create_directories(work.Path("files"));
    fs::create_directories(base);
    if (std::system("command -v bindfs >/dev/null && command -v strace >/dev/null") != 0)
      GTEST_SKIP() << "NOT TESTED: bindfs or strace is missing";
    if (std::system(("bindfs '" + work.Path("files") + "' '" + base + "' 2>/dev/null").c_str()) != 0)
      GTEST_SKIP() << "NOT TESTED: FUSE cannot be mounted here";
    mounted = true;
    FillBase();
  }
  void TearDown() override {
    if (!mounted) return;
    EXPECT_EQ(0, std::system(("fusermount -u '" + base + "'").c_str())) << "left mounted: " << base;
  }

  // The program under strace with the given filter and injection.
  std::vector<std::string> Traced(const std::string& injection) const {
    return {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=link,linkat,unlink", "-e", injection,
            OSKELT_PROGRAM, "-C", base};
  }

  // What a run that ended by itself logged is true: every texture it did
  // not log as an error has its complete TGA, and every error is a target
  // that another run gave its TGA meanwhile.
  void ExpectTruthfulLog(const std::string& log, int code) {
    ASSERT_NE(std::string::npos, log.find("Summary:")) << log;
    EXPECT_EQ(code == 0, log.find("ERROR: ") == std::string::npos) << log;
    for (const auto& t : TARGETS) {
      EXPECT_TRUE(ReadBytes(base + "/" + t.second) == *Tga) << t.second << " after " << log;
      std::string target = t.second;
      for (char& c : target)
        if (c == '/') c = '\\';
      const std::string prefix = "ERROR: " + target + " (";
      const size_t at = log.find(prefix);
      if (at == std::string::npos) continue;
      const std::string reason = log.substr(at + prefix.size());
      EXPECT_TRUE(reason.rfind(Message(ERROR_ALREADY_EXISTS), 0) == 0 ||
                  reason.rfind(Message(ERROR_FILE_EXISTS), 0) == 0)
          << log;
    }
  }

  bool mounted = false;
};

TEST_F(EndingOnFuse, RunsAtOnceWithOneHeldAtItsPublishAndOneKilledLeaveOnlyCompleteTargets) {
  std::mt19937 random(20261209);
  for (const int others : {1, 3}) {
    SCOPED_TRACE(std::to_string(1 + others) + " runs at once");
    TempDir logs;
    // The first run waits 2 s at its first link, the publish of its first TGA.
    const int held = open(logs.Path("held").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t first = StartProgram(Traced("inject=link,linkat:delay_enter=2000000:when=1"), "/", "", held, "");
    close(held);
    // Once its first TGA is complete and waits, the others start; the
    // second is killed part-way.
    bool waiting = false;
    for (int i = 0; i < 4000 && !waiting; ++i) {
      SleepMicroseconds(1000);
      for (const auto& entry : fs::recursive_directory_iterator(base))
        waiting = waiting || entry.path().filename().string().find(".oskeltztex-") != std::string::npos;
    }
    ASSERT_TRUE(waiting) << "the first run made no temporary file";
    SleepMicroseconds(300000);
    std::vector<pid_t> runs;
    for (int i = 0; i < others; ++i) {
      const int out = open(logs.Path("run" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      runs.push_back(StartProgram(Convert(), "/", "", out, ""));
      close(out);
    }
    SleepMicroseconds(std::uniform_int_distribution<long>(50000, 300000)(random));
    kill(runs[0], SIGKILL);
    const int killed = FinishProgram(runs[0]);
    if (killed != 128 + SIGKILL) ExpectTruthfulLog(Slurp(logs.Path("run0")), killed);  // done before
    ExpectOnlyCompleteTargets(true);
    for (int i = 1; i < others; ++i) {
      const int code = FinishProgram(runs[i]);
      ExpectTruthfulLog(Slurp(logs.Path("run" + std::to_string(i))), code);
    }
    const int code = FinishProgram(first);
    ExpectTruthfulLog(Slurp(logs.Path("held")), code);
    ExpectTheNextRunCompletesTheSet();
    RemoveTargets();
  }
}

TEST_F(EndingOnFuse, AKillBetweenPublishingAndRemovingTheTemporaryNameLeavesOnlyTheTargetsAfterTheNextRuns) {
  // The n-th unlink of a fresh run removes the temporary name of its n-th
  // TGA, just published.
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE("killed at unlink " + std::to_string(n));
    const int code =
        FinishProgram(StartProgram(Traced("inject=unlink:signal=KILL:when=" + std::to_string(n)), "/", "", -1, ""));
    EXPECT_EQ(128 + SIGKILL, code);
    ExpectOnlyCompleteTargets(true);
    ExpectTheNextRunCompletesTheSet();
    ExpectTheNextRunCompletesTheSet();
    RemoveTargets();
  }
}

}  // namespace
