// The path helpers on real folders: joining, existence tests, the letter
// case of a stored name, and the creation of parent folders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "OskeltZtexUtil.h"
#include "UtilTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

// Joins into a guarded buffer that held other text before.
std::string Join(const char* dir, const char* sub, const char* name) {
  GuardedPath out("stale text");
  JoinPath(dir, sub, name, out.data());
  EXPECT_TRUE(out.GuardIntact());
  return out.str();
}

// A drive root ("C:\") when the temporary folder lies on a drive, else "".
std::string DriveOf(const TempDir& dir) {
  return dir.root.size() > 2 && dir.root[1] == ':' ? dir.root.substr(0, 2) + "\\" : "";
}

class PathHelpers : public ::testing::Test {
 protected:
  void SetUp() override { dir.Enter(); }
  std::string In(const std::string& rel) const { return Below(dir, rel); }
  TempDir dir;
};

TEST(AddTrailingBackslash, AppendsOnlyWhereOneIsMissing) {
  char path[PLAT_PATH_BUFFER];
  const char* cases[][2] = {
      {"", ""}, {"C:", "C:\\"}, {"dir", "dir\\"}, {"dir\\", "dir\\"}, {"\\", "\\"}};
  for (const auto& c : cases) {
    std::strcpy(path, c[0]);
    AddTrailingBackslash(path);
    EXPECT_STREQ(c[1], path) << "from \"" << c[0] << "\"";
  }
  AddTrailingBackslash(nullptr);
}

TEST(AddTrailingBackslash, LeavesAFullBufferAlone) {
  const std::string full(PLAT_MAX_PATH, 'a');
  GuardedPath path(full);
  PlatSetLastError(0);
  AddTrailingBackslash(path.data());
  EXPECT_EQ(full, path.str());
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  EXPECT_TRUE(path.GuardIntact());

  path.Set(full.substr(1));
  AddTrailingBackslash(path.data());
  EXPECT_EQ(full.substr(1) + "\\", path.str());
  EXPECT_TRUE(path.GuardIntact());
}

TEST(JoinPath, JoinsDirectorySubFolderAndName) {
  EXPECT_EQ("_compiled\\*-C.TEX", Join(nullptr, "_compiled", "*-C.TEX"));
  EXPECT_EQ("C:\\base\\a.tga", Join("C:\\base", nullptr, "a.tga"));
  EXPECT_EQ("C:\\base\\sub\\a.tga", Join("C:\\base\\", "sub", "a.tga"));
  EXPECT_EQ("a.tga", Join("", "", "a.tga"));
  EXPECT_EQ("C:\\base\\sub\\", Join("C:\\base", "sub", nullptr));
  EXPECT_EQ("", Join(nullptr, nullptr, nullptr));
  EXPECT_EQ("", Join("", "", ""));
}

TEST(JoinPath, KeepsTheBackslashesASubFolderIsGiven) {
  EXPECT_EQ("\\sub\\a.tga", Join(nullptr, "\\sub\\", "a.tga"));
  EXPECT_EQ("base\\\\sub\\a.tga", Join("base", "\\sub", "a.tga"));
  EXPECT_EQ("sub\\", Join(nullptr, "sub", ""));
}

TEST(JoinPath, WritesIntoTheStorageOfAnyArgument) {
  char buffer[PLAT_PATH_BUFFER] = "FOO.tga";
  JoinPath("dir", "_compiled", buffer, buffer);
  EXPECT_STREQ("dir\\_compiled\\FOO.tga", buffer);
  std::strcpy(buffer, "dir");
  JoinPath(buffer, "sub", "a.tga", buffer);
  EXPECT_STREQ("dir\\sub\\a.tga", buffer);
  std::strcpy(buffer, "sub");
  JoinPath("base", buffer, "b.tga", buffer);
  EXPECT_STREQ("base\\sub\\b.tga", buffer);
}

TEST(JoinPath, RefusesAResultBeyond260Characters) {
  const std::string dir(200, 'd'), sub(50, 's');
  // 200 + 1 + 50 + 1 + 8 = 260 characters: still a path.
  EXPECT_EQ(dir + "\\" + sub + "\\" + "12345678", Join(dir.c_str(), sub.c_str(), "12345678"));

  PlatSetLastError(0);
  EXPECT_EQ("", Join(dir.c_str(), sub.c_str(), "123456789"));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());

  const std::string huge(5000, 'x');
  PlatSetLastError(0);
  EXPECT_EQ("", Join(huge.c_str(), huge.c_str(), huge.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  // The backslash that the join adds counts too.
  EXPECT_EQ("", Join(std::string(260, 'd').c_str(), nullptr, nullptr));
  EXPECT_EQ(std::string(259, 'd') + "\\", Join(std::string(259, 'd').c_str(), nullptr, nullptr));
}

TEST_F(PathHelpers, FileExistsForFilesOnly) {
  ASSERT_TRUE(WriteText(dir.Path("stone.tga"), "x"));
  ASSERT_TRUE(PlatCreateDirectory("walls"));
  EXPECT_TRUE(FileExists("stone.tga"));
  EXPECT_TRUE(FileExists(In("stone.tga").c_str()));
  EXPECT_TRUE(FileExists("STONE.TGA"));
  EXPECT_FALSE(FileExists("walls"));
  EXPECT_FALSE(FileExists("brick.tga"));
  EXPECT_FALSE(FileExists(nullptr));
}

TEST_F(PathHelpers, DirectoryExistsForFoldersOnly) {
  ASSERT_TRUE(WriteText(dir.Path("stone.tga"), "x"));
  ASSERT_TRUE(PlatCreateDirectory("walls"));
  EXPECT_TRUE(DirectoryExists("walls"));
  EXPECT_TRUE(DirectoryExists("WALLS\\"));
  EXPECT_TRUE(DirectoryExists(dir.root.c_str()));
  EXPECT_TRUE(DirectoryExists("\\"));
  if (!DriveOf(dir).empty()) {
    EXPECT_TRUE(DirectoryExists(DriveOf(dir).c_str()));
  }
  EXPECT_FALSE(DirectoryExists("stone.tga"));
  EXPECT_FALSE(DirectoryExists("floors"));
  EXPECT_FALSE(DirectoryExists(nullptr));
}

TEST_F(PathHelpers, NameCaseMatchesComparesTheStoredNameExactly) {
  ASSERT_TRUE(PlatCreateDirectory("walls"));
  ASSERT_TRUE(WriteText(dir.Path("walls/stone.tga"), "x"));
  EXPECT_TRUE(NameCaseMatches("walls\\stone.tga"));
  EXPECT_TRUE(NameCaseMatches(In("walls\\stone.tga").c_str()));
  EXPECT_FALSE(NameCaseMatches("walls\\STONE.tga"));
  EXPECT_FALSE(NameCaseMatches("walls\\stone.TGA"));
  // Only the name's own letter case counts, not the folder's.
  EXPECT_TRUE(NameCaseMatches("WALLS\\stone.tga"));
  EXPECT_FALSE(NameCaseMatches("walls\\brick.tga"));
  EXPECT_FALSE(NameCaseMatches(nullptr));
}

TEST_F(PathHelpers, ParentsOfANameWithoutFolderNeedNothing) {
  EXPECT_NE(0, ForceParentDirectories("stone.tga"));
  EXPECT_NE(0, ForceParentDirectories(""));
  EXPECT_NE(0, ForceParentDirectories(nullptr));
  EXPECT_NE(0, ForceParentDirectories("\\stone.tga"));
  if (!DriveOf(dir).empty()) {
    EXPECT_NE(0, ForceParentDirectories((DriveOf(dir) + "x.tga").c_str()));
  }
  EXPECT_EQ(Names{}, ListDir(dir.root));
}

TEST_F(PathHelpers, CreatesEveryMissingLevelButTheFile) {
  EXPECT_EQ(BOOL32_TRUE, ForceParentDirectories("a\\b\\c.tga"));
  EXPECT_EQ(Names{"a"}, ListDir(dir.root));
  EXPECT_EQ(Names{"b"}, ListDir(dir.Path("a")));
  EXPECT_EQ(Names{}, ListDir(dir.Path("a/b")));

  EXPECT_NE(0, ForceParentDirectories(In("x\\y\\z.tga").c_str()));
  EXPECT_TRUE(DirectoryExists("x\\y"));
  EXPECT_FALSE(PathExists(dir.Path("x/y/z.tga")));
}

TEST_F(PathHelpers, APathEndingInABackslashIsAFolderToCreate) {
  EXPECT_NE(0, ForceParentDirectories("worlds\\stone\\"));
  EXPECT_TRUE(DirectoryExists("worlds\\stone"));
}

TEST_F(PathHelpers, ExistingLevelsArePassedOverInAnyLetterCase) {
  ASSERT_TRUE(PlatCreateDirectory("Armor"));
  EXPECT_NE(0, ForceParentDirectories("Armor\\helm.tga"));
  EXPECT_NE(0, ForceParentDirectories("ARMOR\\Sets\\helm.tga"));
  EXPECT_EQ(Names{"Armor"}, ListDir(dir.root));
  EXPECT_EQ(Names{"Sets"}, ListDir(dir.Path("Armor")));
}

TEST_F(PathHelpers, ALevelThatIsAFileFailsWithTheCreationsCode) {
  ASSERT_TRUE(WriteText(dir.Path("walls"), "not a folder"));
  PlatSetLastError(0);
  EXPECT_EQ(BOOL32_FALSE, ForceParentDirectories("walls\\stone\\a.tga"));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  EXPECT_EQ(Names{"walls"}, ListDir(dir.root));
}

TEST_F(PathHelpers, ADrivePrefixIsNeverCreatedAsALevel) {
  // "q:" stands for a drive: the walk takes "q:\sub" as the first level, so
  // where no such drive or folder exists nothing can be created.
  EXPECT_EQ(BOOL32_FALSE, ForceParentDirectories("q:\\sub\\f.tga"));
  EXPECT_EQ(Names{}, ListDir(dir.root));
}

TEST_F(PathHelpers, AnOverLongPathIsRefusedAndCreatesNothing) {
  const std::string fits = "a\\" + std::string(PLAT_MAX_PATH - 2, 'n');
  EXPECT_NE(0, ForceParentDirectories(fits.c_str()));
  EXPECT_TRUE(DirectoryExists("a"));

  const std::string tooLong = "b\\" + std::string(PLAT_MAX_PATH - 1, 'n');
  PlatSetLastError(0);
  EXPECT_EQ(BOOL32_FALSE, ForceParentDirectories(tooLong.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  EXPECT_FALSE(PathExists(dir.Path("b")));
}

}  // namespace
