// What only the POSIX layer has: files that are no regular files, and the
// kept folder listings that must follow every change, whoever makes it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformPosixHooks.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

class PlatPosix : public ::testing::Test {
 protected:
  TempDir dir;

  // Runs a shell command in the folder, as another process would.
  void Shell(const std::string& command) {
    const std::string line = "cd '" + dir.root + "' && " + command;
    ASSERT_EQ(0, std::system(line.c_str())) << line;
  }
};

TEST_F(PlatPosix, AFifoNamedLikeATextureIsRefusedAtOnce) {
  ASSERT_EQ(0, mkfifo(dir.Path("Stone.ztex").c_str(), 0644));
  alarm(20);  // a blocking open would otherwise hang the whole run
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead(In(dir, "stone.ZTEX").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), PlatGetLastError());
  alarm(0);
}

TEST_F(PlatPosix, ADeviceIsNoFileToRead) {
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead("/dev/zero"));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), PlatGetLastError());
}

// Waits until the folder's last change lies more than a clock tick back: a
// listing read after that is kept and trusted while the folder's times stay.
void Settle() { usleep(30000); }

uint64_t FolderReads() { return PlatPosixGetCounts().folderReads; }

// A kept listing in a folder changed behind the program's back between two
// lookups, by another process or before the program's own change.
struct BehindTheBack {
  const char* change;
  const char* command;           // run in the folder, which holds Old.tga
  const char* removedByProgram;  // then removed by the program itself, or null
  const char* asked;             // looked up afterwards
  const char* found;             // its stored name, null when missing
};

const BehindTheBack BEHIND_THE_BACK[] = {
    {"a file added", "touch New.tga", nullptr, "NEW.tga", "New.tga"},
    {"a file removed", "rm Old.tga", nullptr, "OLD.TGA", nullptr},
    {"a file renamed in another letter case", "mv Old.tga OLD.TGA", nullptr, "old.tga", "OLD.TGA"},
    {"a folder made", "mkdir Sub", nullptr, "SUB", "Sub"},
    {"a file added, then one removed by the program", "touch New.tga", "Old.tga", "new.TGA", "New.tga"},
};

TEST_F(PlatPosix, KeptListingsFollowChangesMadeBehindTheProgramsBack) {
  int folder = 0;
  for (const BehindTheBack& row : BEHIND_THE_BACK) {
    SCOPED_TRACE(row.change);
    const std::string sub = "case" + std::to_string(++folder);
    ASSERT_EQ(0, mkdir(dir.Path(sub).c_str(), 0755));
    ASSERT_TRUE(WriteText(dir.Path(sub + "/Old.tga"), "x"));
    Settle();
    EXPECT_FALSE(PlatFileExists(In(dir, sub + "\\missing.tga").c_str()));  // reads and keeps the folder
    const uint64_t kept = FolderReads();
    EXPECT_TRUE(PlatFileExists(In(dir, sub + "\\OLD.TGA").c_str()));
    EXPECT_EQ(kept, FolderReads());

    Shell("cd " + sub + " && " + row.command);
    if (row.removedByProgram != nullptr) {
      ASSERT_TRUE(PlatDeleteFile(In(dir, sub + "\\" + row.removedByProgram).c_str()));
    }
    const std::string asked = In(dir, sub + "\\" + row.asked);
    char name[PLAT_MAX_PATH + 1];
    const PlatSearch search = PlatFindFirst(asked.c_str(), name);
    if (row.found == nullptr) {
      EXPECT_EQ(PLAT_NO_SEARCH, search);
      EXPECT_FALSE(PlatFileExists(asked.c_str()));
      EXPECT_FALSE(PlatDirectoryExists(asked.c_str()));
    } else {
      ASSERT_NE(PLAT_NO_SEARCH, search);
      EXPECT_STREQ(row.found, name);
      PlatFindClose(search);
    }
    EXPECT_LT(kept, FolderReads());
  }
}

TEST_F(PlatPosix, AFolderWhoseTimesLieAheadOfTheClockIsReadAtEveryUse) {
  ASSERT_TRUE(WriteText(dir.Path("Old.tga"), "x"));
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  ASSERT_EQ(0, clock_gettime(CLOCK_REALTIME, &times[1]));
  times[1].tv_sec += 3600;  // as a server whose clock runs ahead gives them
  ASSERT_EQ(0, utimensat(AT_FDCWD, dir.root.c_str(), times, 0));
  const uint64_t before = FolderReads();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(PlatFileExists(In(dir, "missing.tga").c_str()));
  EXPECT_EQ(before + 3, FolderReads());
}

TEST_F(PlatPosix, AFolderRemovedAndMadeAgainIsReadAgain) {
  ASSERT_EQ(0, mkdir(dir.Path("Textures").c_str(), 0755));
  ASSERT_TRUE(WriteText(dir.Path("Textures/A.tga"), "x"));
  EXPECT_TRUE(PlatFileExists(In(dir, "textures\\a.TGA").c_str()));
  Shell("rm -r Textures && mkdir Textures && touch Textures/B.tga");
  EXPECT_FALSE(PlatFileExists(In(dir, "textures\\a.TGA").c_str()));
  EXPECT_TRUE(PlatFileExists(In(dir, "textures\\b.TGA").c_str()));
}

TEST_F(PlatPosix, ManyLookupsOfMissingNamesReadTheFolderOnce) {
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(WriteText(dir.Path("T" + std::to_string(i) + ".ztex"), ""));
  Settle();
  EXPECT_FALSE(PlatFileExists(In(dir, "missing.tga").c_str()));
  const uint64_t before = FolderReads();
  for (int i = 0; i < 200; ++i) {
    const std::string target = "t" + std::to_string(i) + ".TGA";
    EXPECT_FALSE(PlatFileExists(In(dir, target).c_str()));
    const PlatFile made = PlatCreateNew(In(dir, target).c_str());  // a change of the folder
    ASSERT_NE(PLAT_NO_FILE, made);
    PlatClose(made);
    EXPECT_TRUE(PlatFileExists(In(dir, "T" + std::to_string(i) + ".tga").c_str()));
  }
  EXPECT_EQ(before, FolderReads());
}

TEST_F(PlatPosix, WithoutTheCacheEveryMissingNameReadsTheFolder) {
  const bool was = PlatPosixEnableCache(false);
  const uint64_t before = PlatPosixGetCounts().folderReads;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(PlatFileExists(In(dir, "missing.tga").c_str()));
  EXPECT_EQ(before + 5, PlatPosixGetCounts().folderReads);
  ASSERT_TRUE(WriteText(dir.Path("Late.tga"), "x"));
  EXPECT_TRUE(PlatFileExists(In(dir, "LATE.TGA").c_str()));
  PlatPosixEnableCache(was);
}

// ---------------------------------------------------------------------------
// The INI reader keeps the file it parsed last.

class PlatPosixIni : public PlatPosix {
 protected:
  std::string path = dir.Path("map.ini");

  static uint64_t Parses() { return PlatPosixGetCounts().iniParses; }
  std::string Lines(const std::string& section) {
    char buffer[256];
    const uint32_t n = PlatReadIniSection(path.c_str(), section.c_str(), buffer, sizeof buffer);
    return std::string(buffer, n);
  }
  // Sets the file's modification time, to the nanosecond.
  void Stamp(const std::string& file, time_t seconds, long nanoseconds) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = nanoseconds;
    ASSERT_EQ(0, utimensat(AT_FDCWD, file.c_str(), times, 0));
  }
};

TEST_F(PlatPosixIni, AFileReadSectionBySectionIsParsedOnce) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "[S" + std::to_string(i) + "]\nline" + std::to_string(i) + "\n";
  ASSERT_TRUE(WriteText(path, text));
  const uint64_t before = Parses();
  std::vector<char> names(65536);
  ASSERT_NE(0u, PlatReadIniSectionNames(path.c_str(), names.data(), 65536));
  for (int i = 0; i < 2000; ++i) {
    ASSERT_EQ(std::string("line") + std::to_string(i) + '\0', Lines("s" + std::to_string(i)));
  }
  EXPECT_EQ(before + 1, Parses());
}

TEST_F(PlatPosixIni, AFileChangedInPlaceIsParsedAgain) {
  ASSERT_TRUE(WriteText(path, "[A]\nold.tga\n"));
  Stamp(path, 1600000000, 100);
  EXPECT_EQ(std::string("old.tga\0", 8), Lines("A"));
  const uint64_t before = Parses();
  ASSERT_TRUE(WriteText(path, "[A]\nnew.tga\n"));  // the same size and inode
  Stamp(path, 1600000000, 200);
  EXPECT_EQ(std::string("new.tga\0", 8), Lines("A"));
  ASSERT_TRUE(WriteText(path, "[A]\nnewer.tga\n"));  // a new size
  Stamp(path, 1600000000, 200);
  EXPECT_EQ(std::string("newer.tga\0", 10), Lines("A"));
  EXPECT_EQ(before + 2, Parses());
}

TEST_F(PlatPosixIni, AFileReplacedByOneOfTheSameSizeAndTimeIsParsedAgain) {
  ASSERT_TRUE(WriteText(path, "[A]\nold.tga\n"));
  Stamp(path, 1600000000, 100);
  EXPECT_EQ(std::string("old.tga\0", 8), Lines("A"));
  ASSERT_EQ(0, unlink(path.c_str()));
  ASSERT_TRUE(WriteText(path, "[A]\nnew.tga\n"));
  Stamp(path, 1600000000, 100);
  EXPECT_EQ(std::string("new.tga\0", 8), Lines("A"));
}

TEST_F(PlatPosixIni, TheFileParsedLastIsTheOneKept) {
  const std::string other = dir.Path("other.ini");
  ASSERT_TRUE(WriteText(path, "[A]\na.tga\n"));
  ASSERT_TRUE(WriteText(other, "[B]\nb.tga\n"));
  const uint64_t before = Parses();
  char buffer[64];
  EXPECT_EQ(std::string("a.tga\0", 6), Lines("A"));
  EXPECT_EQ(6u, PlatReadIniSection(other.c_str(), "B", buffer, sizeof buffer));
  EXPECT_EQ(std::string("a.tga\0", 6), Lines("a"));
  EXPECT_EQ(std::string("a.tga\0", 6), Lines("A"));
  EXPECT_EQ(before + 3, Parses());
}

// ---------------------------------------------------------------------------
// Files that take their name only when complete.

typedef std::vector<std::string> Names;

class PlatPosixPublish : public PlatPosix {
 protected:
  void TearDown() override {
    PlatPosixUseNamedTemporary(false);
    PlatPosixUseRenameToPublish(false);
  }
  PlatFile Create() { return PlatCreateTemporary(target.c_str(), temporary.c_str()); }
  bool Publish(PlatFile file) { return PlatPublishFile(file, target.c_str(), temporary.c_str()); }
  static void Write(PlatFile file, const std::string& bytes) {
    uint32_t done = 0;
    ASSERT_TRUE(PlatWrite(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done));
  }
  std::string target = In(dir, "Stone.tga");
  std::string temporary = In(dir, "Stone.tga.tmp");
};

TEST_F(PlatPosixPublish, AnUnnamedFileIsNowhereInTheFolderUntilPublished) {
  const PlatFile file = Create();
  ASSERT_NE(PLAT_NO_FILE, file);
  Write(file, "unnamed");
  EXPECT_TRUE(ListDir(dir.root).empty());
  ASSERT_TRUE(Publish(file));
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  PlatClose(file);
  EXPECT_EQ("unnamed", ContentOf(target));
}

TEST_F(PlatPosixPublish, AProcessKilledBeforePublishingLeavesNothing) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const PlatFile file = Create();
    uint32_t done = 0;
    if (file == PLAT_NO_FILE || !PlatWrite(file, "half", 4, &done)) _exit(1);
    raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(ListDir(dir.root).empty());
}

TEST_F(PlatPosixPublish, AnUnnamedFileDiscardedAfterAFailedPublishLeavesTheFolderAsItWas) {
  const PlatFile file = Create();
  ASSERT_NE(PLAT_NO_FILE, file);
  Write(file, "new");
  ASSERT_TRUE(WriteText(dir.Path("STONE.TGA"), "precious"));
  PlatSetLastError(0);
  EXPECT_FALSE(Publish(file));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatClose(file);
  EXPECT_FALSE(PlatDeleteFile(temporary.c_str()));  // there is nothing to remove
  EXPECT_EQ(Names{"STONE.TGA"}, ListDir(dir.root));
  EXPECT_EQ("precious", ContentOf(target));
}

TEST_F(PlatPosixPublish, TheNamedFallbackShowsOnlyTheTemporaryUntilPublished) {
  PlatPosixUseNamedTemporary(true);
  const PlatFile file = Create();
  ASSERT_NE(PLAT_NO_FILE, file);
  Write(file, "named");
  EXPECT_EQ(Names{"Stone.tga.tmp"}, ListDir(dir.root));
  ASSERT_TRUE(PlatSetLastWriteTime(file, 132592275670000000ull));
  ASSERT_TRUE(Publish(file));
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  PlatClose(file);
  EXPECT_EQ("named", ContentOf(target));
  const PlatFile again = PlatOpenRead(target.c_str());
  uint64_t stamp = 0;
  ASSERT_TRUE(PlatGetLastWriteTime(again, &stamp));
  PlatClose(again);
  EXPECT_EQ(132592275670000000ull, stamp);
}

TEST_F(PlatPosixPublish, TheNamedFallbackNeverReplacesATargetInOtherLetterCase) {
  for (const bool rename : {false, true}) {
    SCOPED_TRACE(rename ? "published by rename" : "published by link");
    PlatPosixUseNamedTemporary(true);
    PlatPosixUseRenameToPublish(rename);
    const PlatFile file = Create();
    ASSERT_NE(PLAT_NO_FILE, file);
    Write(file, "new");
    ASSERT_TRUE(WriteText(dir.Path("stone.TGA"), "precious"));  // meanwhile
    PlatSetLastError(0);
    EXPECT_FALSE(Publish(file));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
    PlatClose(file);
    EXPECT_TRUE(PlatDeleteFile(temporary.c_str()));
    EXPECT_EQ(Names{"stone.TGA"}, ListDir(dir.root));
    EXPECT_EQ("precious", ContentOf(target));
    ASSERT_TRUE(PlatDeleteFile(target.c_str()));
  }
}

TEST_F(PlatPosixPublish, PublishingByRenameLeavesOnlyTheTarget) {
  PlatPosixUseNamedTemporary(true);
  PlatPosixUseRenameToPublish(true);
  const PlatFile file = Create();
  ASSERT_NE(PLAT_NO_FILE, file);
  Write(file, "renamed");
  ASSERT_TRUE(Publish(file));
  PlatClose(file);
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  EXPECT_EQ("renamed", ContentOf(target));
}

// A named temporary is held for as long as its writer lives: a run that
// cleans up leftovers removes it only once the writer has ended, killed or
// not, and never a file that is no temporary of a writer at all.
TEST_F(PlatPosixPublish, OnlyATemporaryWhoseWriterHasEndedIsRemovedAsALeftover) {
  PlatPosixUseNamedTemporary(true);
  const PlatFile live = Create();
  ASSERT_NE(PLAT_NO_FILE, live);
  PlatSetLastError(0);
  EXPECT_FALSE(PlatDeleteLeftover(temporary.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_SHARING_VIOLATION), PlatGetLastError());
  EXPECT_EQ(Names{"Stone.tga.tmp"}, ListDir(dir.root));
  PlatClose(live);
  EXPECT_TRUE(PlatDeleteLeftover(temporary.c_str()));

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (Create() == PLAT_NO_FILE) _exit(1);
    raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(Names{"Stone.tga.tmp"}, ListDir(dir.root));
  EXPECT_TRUE(PlatDeleteLeftover(In(dir, "STONE.TGA.TMP").c_str()));
  EXPECT_TRUE(ListDir(dir.root).empty());
}

TEST_F(PlatPosixPublish, AFilePutInTheTemporarysPlaceIsNotPublished) {
  PlatPosixUseNamedTemporary(true);
  const PlatFile file = Create();
  ASSERT_NE(PLAT_NO_FILE, file);
  Write(file, "mine");
  Shell("rm Stone.tga.tmp && echo theirs > Stone.tga.tmp");
  PlatSetLastError(0);
  EXPECT_FALSE(Publish(file));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), PlatGetLastError());
  PlatClose(file);
  EXPECT_EQ(Names{"Stone.tga.tmp"}, ListDir(dir.root));
}

}  // namespace
