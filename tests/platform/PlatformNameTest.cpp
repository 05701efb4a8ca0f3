// Names in the file system: every routine finds existing names without
// regard to letter case and creates new ones with the case given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

typedef std::vector<std::string> Names;

class PlatNames : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PlatCreateDirectory(In(dir, "Armor").c_str()));
    ASSERT_TRUE(WriteText(dir.Path("Armor/Stone.tga"), "stone"));
  }
  TempDir dir;
};

TEST_F(PlatNames, OpenFindsEveryComponentInOtherLetterCase) {
  EXPECT_EQ("stone", ContentOf(In(dir, "ARMOR\\STONE.TGA")));
  EXPECT_EQ("stone", ContentOf(In(dir, "armor\\stone.tga")));
}

TEST_F(PlatNames, ExistenceTestsIgnoreLetterCase) {
  EXPECT_TRUE(PlatFileExists(In(dir, "aRMOR\\sTONE.TGA").c_str()));
  EXPECT_TRUE(PlatDirectoryExists(In(dir, "ARMOR").c_str()));
  EXPECT_TRUE(PlatDirectoryExists(In(dir, "armor\\").c_str()));
  EXPECT_FALSE(PlatFileExists(In(dir, "armor\\stone.tg").c_str()));
  EXPECT_FALSE(PlatDirectoryExists(In(dir, "armour").c_str()));
}

TEST_F(PlatNames, AFolderIsNoFileAndAFileIsNoFolder) {
  PlatSetLastError(0);
  EXPECT_FALSE(PlatFileExists(In(dir, "armor").c_str()));
  EXPECT_FALSE(PlatDirectoryExists(In(dir, "Armor\\Stone.tga").c_str()));
  EXPECT_FALSE(PlatDirectoryExists(In(dir, "Armor\\Stone.tga\\").c_str()));
  EXPECT_FALSE(PlatFileExists(In(dir, "Armor\\Stone.tga\\").c_str()));
}

TEST_F(PlatNames, CreateNewRefusesANameThatExistsInOtherLetterCase) {
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateNew(In(dir, "ARMOR\\STONE.TGA").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_EXISTS), PlatGetLastError());
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.Path("Armor")));
  EXPECT_EQ("stone", ContentOf(In(dir, "Armor\\Stone.tga")));
}

TEST_F(PlatNames, NewNamesTakeTheLetterCaseGivenInsideTheStoredFolders) {
  const PlatFile file = PlatCreateNew(In(dir, "ARMOR\\NewHelm.Tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  PlatClose(file);
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "armor\\Shields").c_str()));
  EXPECT_EQ(Names{"Armor"}, ListDir(dir.root));
  EXPECT_EQ((Names{"NewHelm.Tga", "Shields", "Stone.tga"}), ListDir(dir.Path("Armor")));
}

TEST_F(PlatNames, CreateDirectoryRefusesAnExistingNameInAnyCase) {
  PlatSetLastError(0);
  EXPECT_FALSE(PlatCreateDirectory(In(dir, "ARMOR").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_FALSE(PlatCreateDirectory(In(dir, "armor\\stone.TGA").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_FALSE(PlatCreateDirectory(In(dir, "missing\\deeper").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), PlatGetLastError());
  EXPECT_EQ(Names{"Armor"}, ListDir(dir.root));
}

TEST_F(PlatNames, DeleteFindsTheFileInOtherLetterCase) {
  EXPECT_TRUE(PlatDeleteFile(In(dir, "armor\\STONE.tga").c_str()));
  EXPECT_TRUE(ListDir(dir.Path("Armor")).empty());
  PlatSetLastError(0);
  EXPECT_FALSE(PlatDeleteFile(In(dir, "armor\\STONE.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), PlatGetLastError());
}

TEST_F(PlatNames, DeleteLeavesFolders) {
  PlatSetLastError(0);
  EXPECT_FALSE(PlatDeleteFile(In(dir, "armor").c_str()));
  EXPECT_NE(0u, PlatGetLastError());
  EXPECT_TRUE(PlatDirectoryExists(In(dir, "Armor").c_str()));
}

TEST_F(PlatNames, MoveOntoTheSameNameInOtherCaseChangesTheStoredCase) {
  EXPECT_TRUE(PlatMoveFile(In(dir, "armor\\stone.tga").c_str(), In(dir, "ARMOR\\STONE.tga").c_str()));
  if (RunningUnderWine()) GTEST_SKIP() << "Wine keeps the stored letter case on such a rename";
  EXPECT_EQ(Names{"STONE.tga"}, ListDir(dir.Path("Armor")));
  EXPECT_EQ("stone", ContentOf(In(dir, "Armor\\STONE.tga")));
}

TEST_F(PlatNames, MoveOntoItselfIsASuccessThatChangesNothing) {
  PlatSetLastError(7);
  EXPECT_TRUE(PlatMoveFile(In(dir, "Armor\\Stone.tga").c_str(), In(dir, "Armor\\Stone.tga").c_str()));
  EXPECT_EQ(7u, PlatGetLastError());
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.Path("Armor")));
}

TEST_F(PlatNames, MoveNeverReplacesAnExistingFile) {
  ASSERT_TRUE(WriteText(dir.Path("stone.tga"), "flat"));
  PlatSetLastError(0);
  EXPECT_FALSE(PlatMoveFile(In(dir, "stone.tga").c_str(), In(dir, "Armor\\Stone.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_FALSE(PlatMoveFile(In(dir, "stone.tga").c_str(), In(dir, "ARMOR\\STONE.TGA").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  EXPECT_EQ("flat", ContentOf(In(dir, "stone.tga")));
  EXPECT_EQ("stone", ContentOf(In(dir, "Armor\\Stone.tga")));
}

TEST_F(PlatNames, MoveIntoAFolderNamedInOtherCase) {
  ASSERT_TRUE(WriteText(dir.Path("Helm.tga"), "helm"));
  EXPECT_TRUE(PlatMoveFile(In(dir, "HELM.TGA").c_str(), In(dir, "armor\\Helm.TGA").c_str()));
  EXPECT_EQ(Names{"Armor"}, ListDir(dir.root));
  EXPECT_EQ((Names{"Helm.TGA", "Stone.tga"}), ListDir(dir.Path("Armor")));
}

TEST_F(PlatNames, MoveRenamesFolders) {
  EXPECT_TRUE(PlatMoveFile(In(dir, "ARMOR").c_str(), In(dir, "Weapons").c_str()));
  EXPECT_EQ(Names{"Weapons"}, ListDir(dir.root));
  EXPECT_EQ("stone", ContentOf(In(dir, "weapons\\stone.tga")));
}

TEST_F(PlatNames, MoveOfAMissingFileOrIntoAMissingFolder) {
  PlatSetLastError(0);
  EXPECT_FALSE(PlatMoveFile(In(dir, "nothing.tga").c_str(), In(dir, "x.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_FALSE(PlatMoveFile(In(dir, "Armor\\Stone.tga").c_str(), In(dir, "gone\\x.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), PlatGetLastError());
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.Path("Armor")));
}

TEST_F(PlatNames, CurrentDirectoryFollowsANameInOtherCase) {
  char before[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetCurrentDirectory(before, sizeof before));
  ASSERT_TRUE(PlatSetCurrentDirectory(In(dir, "ARMOR").c_str()));
  EXPECT_EQ("stone", ContentOf("STONE.TGA"));
  EXPECT_TRUE(PlatFileExists("..\\armor\\stone.tga"));
  ASSERT_TRUE(PlatSetCurrentDirectory(before));
}

TEST_F(PlatNames, RelativePathsStartAtTheCurrentDirectory) {
  char before[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetCurrentDirectory(before, sizeof before));
  ASSERT_TRUE(PlatSetCurrentDirectory(dir.root.c_str()));
  EXPECT_TRUE(PlatDirectoryExists("armor"));
  EXPECT_TRUE(PlatDirectoryExists("."));
  EXPECT_TRUE(PlatFileExists(".\\Armor\\stone.TGA"));
  const PlatFile file = PlatCreateNew("Armor\\rel.tga");
  EXPECT_NE(PLAT_NO_FILE, file);
  PlatClose(file);
  EXPECT_TRUE(PathExists(dir.Path("Armor/rel.tga")));
  ASSERT_TRUE(PlatSetCurrentDirectory(before));
}

#if !defined(_WIN32)
// On a file system that keeps names apart by letter case, the exact name wins,
// then the first case variant in upper-cased byte order.
TEST_F(PlatNames, AnExactNameWinsOverItsCaseVariants) {
  ASSERT_TRUE(WriteText(dir.Path("Armor/STONE.tga"), "upper"));
  ASSERT_TRUE(WriteText(dir.Path("Armor/stone.tga"), "lower"));
  EXPECT_EQ("stone", ContentOf(In(dir, "Armor\\Stone.tga")));
  EXPECT_EQ("upper", ContentOf(In(dir, "Armor\\STONE.tga")));
  EXPECT_EQ("lower", ContentOf(In(dir, "Armor\\stone.tga")));
  // "STONE.tga" < "Stone.tga" < "stone.tga" byte by byte.
  EXPECT_EQ("upper", ContentOf(In(dir, "Armor\\sTONE.TGA")));
}

TEST_F(PlatNames, ForwardSlashesWorkAsWellAsBackslashes) {
  EXPECT_EQ("stone", ContentOf(dir.root + "/armor/STONE.tga"));
  EXPECT_EQ("stone", ContentOf(dir.root + "\\ARMOR/stone.tga"));
  EXPECT_EQ("stone", ContentOf(dir.root + "//armor\\\\stone.tga"));
}

TEST_F(PlatNames, MoveToACaseVariantOfAnotherFileIsRefused) {
  ASSERT_TRUE(WriteText(dir.Path("Armor/STONE.tga"), "upper"));
  PlatSetLastError(0);
  EXPECT_FALSE(PlatMoveFile(In(dir, "Armor\\Stone.tga").c_str(), In(dir, "Armor\\STONE.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  EXPECT_EQ("stone", ContentOf(In(dir, "Armor\\Stone.tga")));
  EXPECT_EQ("upper", ContentOf(In(dir, "Armor\\STONE.tga")));
}
#endif

}  // namespace
