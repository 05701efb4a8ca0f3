// Directory search with wildcards on the last component.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

typedef std::vector<std::string> Names;

// Every name the search reports, in the order reported; the search's
// failure code when it finds nothing.
Names Search(const std::string& pattern, uint32_t* failure = nullptr) {
  Names names;
  char name[PLAT_PATH_BUFFER];
  PlatSetLastError(0);
  const PlatSearch search = PlatFindFirst(pattern.c_str(), name);
  if (search == PLAT_NO_SEARCH) {
    if (failure != nullptr) *failure = PlatGetLastError();
    return names;
  }
  do names.push_back(name);
  while (PlatFindNext(search, name));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_NO_MORE_FILES), PlatGetLastError());
  PlatFindClose(search);
  return names;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

class PlatSearchTest : public ::testing::Test {
 protected:
  void Touch(const std::string& rel) { ASSERT_TRUE(WriteText(dir.Path(rel), rel)); }
  TempDir dir;
};

TEST_F(PlatSearchTest, StarMatchesAnyRunWithoutRegardToLetterCase) {
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "_compiled").c_str()));
  Touch("_compiled/FOO-C.TEX");
  Touch("_compiled/bar-c.tex");
  Touch("_compiled/-C.TEX");
  Touch("_compiled/baz-C.TEX.bak");
  Touch("_compiled/qux-C.TEXT");
  Touch("_compiled/FOO.TEX");
  EXPECT_EQ((Names{"-C.TEX", "FOO-C.TEX", "bar-c.tex"}), Sorted(Search(In(dir, "_compiled\\*-C.TEX"))));
  EXPECT_EQ((Names{"-C.TEX", "FOO-C.TEX", "bar-c.tex"}), Sorted(Search(In(dir, "_COMPILED\\*-c.tex"))));
}

TEST_F(PlatSearchTest, QuestionMarkMatchesExactlyOneCharacter) {
  Touch("a1.tga");
  Touch("a22.tga");
  Touch("B3.TGA");
  Touch("c4.tg");
  EXPECT_EQ((Names{"B3.TGA", "a1.tga"}), Sorted(Search(In(dir, "??.tga"))));
  EXPECT_EQ((Names{"a22.tga"}), Search(In(dir, "a??.tga")));
  EXPECT_EQ((Names{"a22.tga"}), Search(In(dir, "*2?.*")));
}

TEST_F(PlatSearchTest, MatchingFoldersAreReturnedAndDotNamesNever) {
  Touch("file.tga");
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "folder-C.TEX").c_str()));
  const Names all = Sorted(Search(In(dir, "*")));
  EXPECT_EQ((Names{"file.tga", "folder-C.TEX"}), all);
  EXPECT_EQ(Names{"folder-C.TEX"}, Search(In(dir, "*-c.tex")));
}

TEST_F(PlatSearchTest, AnEmptyFolderOrNoMatchFailsWithFileNotFound) {
  uint32_t failure = 0;
  EXPECT_TRUE(Search(In(dir, "*"), &failure).empty());
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), failure);
  Touch("one.tga");
  failure = 0;
  EXPECT_TRUE(Search(In(dir, "*.tex"), &failure).empty());
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), failure);
}

TEST_F(PlatSearchTest, AMissingFolderFailsWithPathNotFound) {
  uint32_t failure = 0;
  EXPECT_TRUE(Search(In(dir, "_compiled\\*-C.TEX"), &failure).empty());
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), failure);
}

TEST_F(PlatSearchTest, APlainNameGivesItsStoredSpelling) {
  Touch("Stone.tga");
  EXPECT_EQ(Names{"Stone.tga"}, Search(In(dir, "STONE.TGA")));
  EXPECT_EQ(Names{"Stone.tga"}, Search(In(dir, "stone.tga")));
  EXPECT_TRUE(Search(In(dir, "stone.tg")).empty());
}

TEST_F(PlatSearchTest, RelativePatternsSearchTheCurrentDirectory) {
  Touch("here-C.TEX");
  char before[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetCurrentDirectory(before, sizeof before));
  ASSERT_TRUE(PlatSetCurrentDirectory(dir.root.c_str()));
  EXPECT_EQ(Names{"here-C.TEX"}, Search("*-C.TEX"));
  ASSERT_TRUE(PlatSetCurrentDirectory(before));
}

TEST_F(PlatSearchTest, SearchesOpenAtOnceAreIndependent) {
  Touch("a.tga");
  Touch("b.tga");
  char first[PLAT_PATH_BUFFER], second[PLAT_PATH_BUFFER];
  const PlatSearch one = PlatFindFirst(In(dir, "*.tga").c_str(), first);
  const PlatSearch two = PlatFindFirst(In(dir, "*.tga").c_str(), second);
  ASSERT_NE(PLAT_NO_SEARCH, one);
  ASSERT_NE(PLAT_NO_SEARCH, two);
  EXPECT_NE(one, two);
  EXPECT_STREQ(first, second);
  ASSERT_TRUE(PlatFindNext(one, first));
  PlatFindClose(one);
  ASSERT_TRUE(PlatFindNext(two, second));
  EXPECT_STREQ(first, second);
  EXPECT_FALSE(PlatFindNext(two, second));
  PlatFindClose(two);
}

TEST_F(PlatSearchTest, ASearchLeftOpenIsNoLeak) {
  // A run ended from inside its loop never closes its search; the leak
  // checker of the sanitizer build must not report it.
  Touch("left-C.TEX");
  char name[PLAT_PATH_BUFFER];
  const PlatSearch search = PlatFindFirst(In(dir, "*").c_str(), name);
  ASSERT_NE(PLAT_NO_SEARCH, search);
  EXPECT_STREQ("left-C.TEX", name);
}

#if !defined(_WIN32)
// The order is the file system's own on Windows (and the host's under Wine).
TEST_F(PlatSearchTest, NamesComeInUpperCasedByteOrder) {
  for (const char* name : {"b.tga", "_under.tga", "A.tga", "a.tga", "Zeta.tga", "a0.tga", "B.TGA", "[x].tga"})
    Touch(name);
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "Cfolder").c_str()));
  // Upper-cased: A. A. A0 B. B. CFOLDER ZETA [X] _UNDER; ties by the bytes.
  EXPECT_EQ((Names{"A.tga", "a.tga", "a0.tga", "B.TGA", "b.tga", "Cfolder", "Zeta.tga", "[x].tga",
                   "_under.tga"}),
            Search(In(dir, "*")));
}

TEST_F(PlatSearchTest, ClosedHandlesAreRefused) {
  Touch("x.tga");
  char name[PLAT_PATH_BUFFER];
  const PlatSearch search = PlatFindFirst(In(dir, "*").c_str(), name);
  ASSERT_NE(PLAT_NO_SEARCH, search);
  PlatFindClose(search);
  PlatSetLastError(0);
  EXPECT_FALSE(PlatFindNext(search, name));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_HANDLE), PlatGetLastError());
  PlatFindClose(search);  // a second close is harmless
  PlatFindClose(PLAT_NO_SEARCH);
}
#endif

}  // namespace
