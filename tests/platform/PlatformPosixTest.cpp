// What only the POSIX layer has: files that are no regular files, and the
// kept folder listings that must follow every change, whoever makes it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

TEST_F(PlatPosix, KeptListingsFollowChangesMadeByOtherProcesses) {
  ASSERT_TRUE(WriteText(dir.Path("Old.tga"), "x"));
  EXPECT_FALSE(PlatFileExists(In(dir, "NEW.TGA").c_str()));  // reads and keeps the folder
  EXPECT_TRUE(PlatFileExists(In(dir, "OLD.TGA").c_str()));

  Shell("touch New.tga && mv Old.tga Renamed.tga && mkdir Sub");
  EXPECT_TRUE(PlatFileExists(In(dir, "new.tga").c_str()));
  EXPECT_FALSE(PlatFileExists(In(dir, "old.tga").c_str()));
  EXPECT_TRUE(PlatFileExists(In(dir, "RENAMED.tga").c_str()));
  EXPECT_TRUE(PlatDirectoryExists(In(dir, "SUB").c_str()));

  Shell("rm New.tga && rmdir Sub");
  EXPECT_FALSE(PlatFileExists(In(dir, "new.tga").c_str()));
  EXPECT_FALSE(PlatDirectoryExists(In(dir, "sub").c_str()));

  char name[PLAT_MAX_PATH + 1];
  const PlatSearch search = PlatFindFirst(In(dir, "*.TGA").c_str(), name);
  ASSERT_NE(PLAT_NO_SEARCH, search);
  EXPECT_STREQ("Renamed.tga", name);
  EXPECT_FALSE(PlatFindNext(search, name));
  PlatFindClose(search);
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
  EXPECT_FALSE(PlatFileExists(In(dir, "missing.tga").c_str()));
  const uint64_t before = PlatPosixGetCounts().folderReads;
  for (int i = 0; i < 200; ++i) {
    const std::string target = "t" + std::to_string(i) + ".TGA";
    EXPECT_FALSE(PlatFileExists(In(dir, target).c_str()));
    const PlatFile made = PlatCreateNew(In(dir, target).c_str());  // a change of the folder
    ASSERT_NE(PLAT_NO_FILE, made);
    PlatClose(made);
    EXPECT_TRUE(PlatFileExists(In(dir, "T" + std::to_string(i) + ".tga").c_str()));
  }
  EXPECT_EQ(before, PlatPosixGetCounts().folderReads);
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

}  // namespace
