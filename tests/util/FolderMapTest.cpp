// The texture folder map: loading real INI files into the tables, freeing
// them, and the target path of a TGA name with its tie-break through
// LastMatch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "OskeltZtexUtil.h"
#include "UtilTestSupport.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<std::string> Names;
typedef std::vector<std::pair<std::string, std::string>> Lines;  // section, line

Names SectionTable() {
  Names names;
  if (!Sections) return names;
  for (int32_t i = 0; i < Sections->Count; ++i) names.push_back(Sections->Names[i]);
  return names;
}

Lines EntryTable() {
  Lines lines;
  if (!Entries) return lines;
  for (int32_t i = 0; i < Entries->Count; ++i) {
    const FolderMapEntry& e = Entries->Items[i];
    EXPECT_GE(e.Section, 0);
    EXPECT_LT(e.Section, Sections->Count);
    lines.emplace_back(Sections->Names[e.Section], e.Text);
  }
  return lines;
}

class FolderMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeFolderMap();
    LastMatch = 0;  // as at program start
  }
  void TearDown() override {
    FreeFolderMap();
    LastMatch = 0;
  }
  bool Load(const std::string& ini) {
    const std::string path = dir.Path("map.ini");
    EXPECT_TRUE(WriteText(path, ini));
    return LoadFolderMapFrom(path.c_str());
  }
  static std::string Resolve(const char* name, const char* base = nullptr,
                             const char* sub = nullptr) {
    GuardedPath out("stale text that must go");
    ResolveTargetPath(base, sub, name, out.data());
    EXPECT_TRUE(out.GuardIntact());
    return out.str();
  }
  TempDir dir;
};

// ---------------------------------------------------------------------------
// Loading

typedef FolderMapTest FolderMapLoad;

TEST_F(FolderMapLoad, ReadsSectionsAndTheirLinesInFileOrder) {
  ASSERT_TRUE(Load("[Walls]\nStone_Wall.tga\nbrick.TGA\n[Armor]\nhelm.tga\n[Floors]\nwood.tga\n"));
  EXPECT_EQ((Names{"Walls", "Armor", "Floors"}), SectionTable());
  EXPECT_EQ((Lines{{"Walls", "Stone_Wall.tga"},
                   {"Walls", "brick.TGA"},
                   {"Armor", "helm.tga"},
                   {"Floors", "wood.tga"}}),
            EntryTable());
}

TEST_F(FolderMapLoad, KeepsTheWholeLineEvenWithAnEqualsSign) {
  ASSERT_TRUE(Load("[Odd]\nkey=value.tga\n"));
  EXPECT_EQ((Lines{{"Odd", "key=value.tga"}}), EntryTable());
  EXPECT_EQ("Odd\\key=value.tga", Resolve("KEY=VALUE.TGA"));
  EXPECT_EQ("key.tga", Resolve("key.tga"));
}

TEST_F(FolderMapLoad, ASectionWithoutLinesAddsOnlyItsName) {
  ASSERT_TRUE(Load("[Empty]\n[Walls]\nstone.tga\n[Also Empty]\n"));
  EXPECT_EQ((Names{"Empty", "Walls", "Also Empty"}), SectionTable());
  ASSERT_NE(nullptr, Entries);
  ASSERT_EQ(1, Entries->Count);
  EXPECT_EQ(1, Entries->Items[0].Section);
  EXPECT_EQ("Walls\\stone.tga", Resolve("stone.tga"));
}

TEST_F(FolderMapLoad, SectionsWithoutAnyLinesGiveAnEmptyEntryTable) {
  ASSERT_TRUE(Load("[Walls]\n[Armor]\n"));
  ASSERT_NE(nullptr, Entries);
  EXPECT_EQ(0, Entries->Count);
  EXPECT_EQ(2, Sections->Count);
  EXPECT_EQ("stone.tga", Resolve("stone.tga"));
  EXPECT_EQ("Walls", Resolve("Walls"));
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapLoad, AMissingFileLeavesTheMapEmpty) {
  EXPECT_FALSE(LoadFolderMapFrom(dir.Path("missing.ini").c_str()));
  EXPECT_EQ(nullptr, Sections);
  EXPECT_EQ(nullptr, Entries);
  EXPECT_EQ("stone.tga", Resolve("stone.tga"));
}

TEST_F(FolderMapLoad, AFileWithoutSectionsLeavesTheMapEmpty) {
  EXPECT_FALSE(Load(""));
  EXPECT_EQ(nullptr, Sections);
  EXPECT_FALSE(Load("stone.tga\nbrick.tga\n; no header at all\n"));
  EXPECT_EQ(nullptr, Sections);
  EXPECT_EQ(nullptr, Entries);
}

TEST_F(FolderMapLoad, AFailedLoadDropsTheMapThatWasThere) {
  ASSERT_TRUE(Load("[Walls]\nstone.tga\n"));
  EXPECT_FALSE(LoadFolderMapFrom(dir.Path("missing.ini").c_str()));
  EXPECT_EQ(nullptr, Sections);
  EXPECT_EQ(nullptr, Entries);
  EXPECT_EQ("stone.tga", Resolve("stone.tga"));
}

TEST_F(FolderMapLoad, ANullPathFailsWithCode87) {
  PlatSetLastError(0);
  EXPECT_FALSE(LoadFolderMapFrom(nullptr));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), LastError());
  EXPECT_EQ(nullptr, Sections);
}

TEST_F(FolderMapLoad, ASecondLoadReplacesTheFirst) {
  ASSERT_TRUE(Load("[Walls]\nstone.tga\nbrick.tga\n"));
  ASSERT_TRUE(Load("[Armor]\nhelm.tga\n"));
  EXPECT_EQ(Names{"Armor"}, SectionTable());
  EXPECT_EQ((Lines{{"Armor", "helm.tga"}}), EntryTable());
  EXPECT_EQ("stone.tga", Resolve("stone.tga"));
}

// The INI file beside the executable: on Windows its name with the
// extension replaced, where it has none (Linux) its name with ".ini" added.
// The build places the program's map there.
TEST_F(FolderMapLoad, TheProgramsMapLiesBesideTheExecutable) {
  char module[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetModulePath(module, sizeof module));
  std::string expected = module;
  const size_t dot = expected.size() >= 4 ? expected.size() - 4 : std::string::npos;
  if (dot != std::string::npos && expected[dot] == '.' &&
      expected.find_first_of("\\/", dot) == std::string::npos)
    expected.resize(dot);
  expected += ".ini";
  ASSERT_TRUE(fs::exists(expected)) << expected;

  ASSERT_TRUE(LoadFolderMapFrom(expected.c_str()));
  const Names names = SectionTable();
  const Lines lines = EntryTable();
  ASSERT_FALSE(names.empty());

  LastMatch = 0;
  ASSERT_TRUE(LoadFolderMap());
  EXPECT_EQ(names, SectionTable());
  EXPECT_EQ(lines, EntryTable());
}

// ---------------------------------------------------------------------------
// Maps larger than the reader's first buffer of 32,767 bytes: read whole.

typedef FolderMapTest FolderMapLarge;

std::string Numbered(const char* stem, int i) {
  return std::string(stem).append(std::to_string(100000 + i)).append(".tga");
}

TEST_F(FolderMapLarge, EveryLineOfASectionOf20000LinesIsPlaced) {
  std::string ini = "[Walls]\r\n";
  Lines expected;
  for (int i = 0; i < 20000; ++i) {
    ini += Numbered("Wall_Texture_", i) + "\r\n";  // 24 bytes a line: 480,000 in all
    expected.emplace_back("Walls", Numbered("Wall_Texture_", i));
  }
  ASSERT_TRUE(Load(ini));
  EXPECT_EQ(Names{"Walls"}, SectionTable());
  EXPECT_EQ(expected, EntryTable());
  EXPECT_EQ("Walls\\" + Numbered("Wall_Texture_", 0), Resolve("WALL_TEXTURE_100000.TGA"));
  EXPECT_EQ("Walls\\" + Numbered("Wall_Texture_", 10000), Resolve("wall_texture_110000.tga"));
  EXPECT_EQ("Walls\\" + Numbered("Wall_Texture_", 19999), Resolve("Wall_Texture_119999.TGA"));
}

TEST_F(FolderMapLarge, EveryOneOf8000SectionsOfOneLineIsPlaced) {
  std::string ini;
  Names sections;
  Lines expected;
  for (int i = 0; i < 8000; ++i) {
    const std::string section = "Area_" + std::to_string(i);
    ini += "[" + section + "]\n" + Numbered("t", i) + "\n";
    sections.push_back(section);
    expected.emplace_back(section, Numbered("t", i));
  }
  ASSERT_TRUE(Load(ini));
  EXPECT_EQ(sections, SectionTable());
  EXPECT_EQ(expected, EntryTable());
  EXPECT_EQ("Area_0\\t100000.tga", Resolve("T100000.TGA"));
  EXPECT_EQ("Area_4000\\t104000.tga", Resolve("T104000.TGA"));
  EXPECT_EQ("Area_7999\\t107999.tga", Resolve("T107999.TGA"));
}

TEST_F(FolderMapLarge, SectionNamesLongerThanTheFirstBufferAreAllRead) {
  std::string ini;
  Names sections;
  size_t listed = 0;
  for (int i = 0; listed <= 40000; ++i) {
    const std::string section = "Worlds\\Region_" + std::to_string(1000 + i) + "\\Ground";
    ini += "[" + section + "]\n";
    if (i % 100 == 0) ini += Numbered("g", i) + "\n";
    sections.push_back(section);
    listed += section.size() + 1;
  }
  ASSERT_TRUE(Load(ini));
  EXPECT_EQ(sections, SectionTable());
  const int last = static_cast<int>(sections.size() - 1) / 100 * 100;
  EXPECT_EQ(sections[static_cast<size_t>(last)] + "\\" + Numbered("g", last),
            Resolve(Numbered("G", last).c_str()));
}

// ---------------------------------------------------------------------------
// Freeing

typedef FolderMapTest FolderMapFree;

TEST_F(FolderMapFree, WithoutALoadOrTwiceInARowDoesNothing) {
  FreeFolderMap();
  EXPECT_EQ(nullptr, Sections);
  EXPECT_EQ(nullptr, Entries);
  ASSERT_TRUE(Load("[Walls]\nstone.tga\n"));
  FreeFolderMap();
  FreeFolderMap();
  EXPECT_EQ(nullptr, Sections);
  EXPECT_EQ(nullptr, Entries);
  EXPECT_EQ("STONE.TGA", Resolve("STONE.TGA"));
}

TEST_F(FolderMapFree, NeitherLoadingNorFreeingTouchesLastMatch) {
  ASSERT_TRUE(Load("[A]\na.tga\nb.tga\nc.tga\n"));
  EXPECT_EQ("A\\c.tga", Resolve("c.tga"));
  EXPECT_EQ(2, LastMatch);
  FreeFolderMap();
  EXPECT_EQ(2, LastMatch);
  EXPECT_EQ("c.tga", Resolve("c.tga"));  // a miss keeps it as well
  EXPECT_EQ(2, LastMatch);
  ASSERT_TRUE(Load("[B]\nx.tga\n"));
  EXPECT_EQ(2, LastMatch);
}

// ---------------------------------------------------------------------------
// Lookups

typedef FolderMapTest FolderMapLookup;

TEST_F(FolderMapLookup, AListedNameInOtherLetterCaseTakesTheLinesSpelling) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n[Armor]\nKnight_Helmet.tga\n"));
  EXPECT_EQ("walls\\stone.tga", Resolve("STONE.TGA"));
  EXPECT_EQ("Armor\\Knight_Helmet.tga", Resolve("knight_helmet.TGA"));
  EXPECT_EQ("Armor\\Knight_Helmet.tga", Resolve("Knight_Helmet.tga"));
}

TEST_F(FolderMapLookup, ANameThatIsNotListedStaysInTheBaseDirectory) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  LastMatch = 0;
  EXPECT_EQ("brick.tga", Resolve("brick.tga"));
  EXPECT_EQ("C:\\base\\sub\\brick.tga", Resolve("brick.tga", "C:\\base", "sub"));
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapLookup, TheWholeLineIsCompared) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\nstone.tga.bak\nst.tga\n"));
  EXPECT_EQ("stone", Resolve("stone"));
  EXPECT_EQ("stone.tg", Resolve("stone.tg"));
  EXPECT_EQ("stone.tgax", Resolve("stone.tgax"));
  EXPECT_EQ("walls\\stone.tga", Resolve("Stone.Tga"));
  EXPECT_EQ("walls\\stone.tga.bak", Resolve("STONE.TGA.BAK"));
  EXPECT_EQ("walls\\st.tga", Resolve("ST.TGA"));
  EXPECT_EQ("", Resolve(""));
}

// Punctuation that sits between the upper- and the lower-case letters.
TEST_F(FolderMapLookup, OnlyLettersFoldAndEveryOtherCharacterCounts) {
  ASSERT_TRUE(Load("[p]\na_b.tga\nA^B.tga\na`b.tga\nA]B.tga\nA@B.tga\n"));
  EXPECT_EQ("p\\a_b.tga", Resolve("A_B.TGA"));
  EXPECT_EQ("p\\A^B.tga", Resolve("a^b.tga"));
  EXPECT_EQ("p\\a`b.tga", Resolve("A`B.TGA"));
  EXPECT_EQ("p\\A]B.tga", Resolve("a]b.tga"));
  EXPECT_EQ("p\\A@B.tga", Resolve("a@b.tga"));
  EXPECT_EQ("a~b.tga", Resolve("a~b.tga"));
}

// Whether a byte above 0x7F has another letter case is the platform's
// folding (ASCII only on POSIX, the ANSI code page on Windows).
TEST_F(FolderMapLookup, BytesAbove127FoldAsThePlatformFoldsThem) {
  ASSERT_TRUE(Load("[p]\nk\xE9" "ep.tga\n"));
  const bool folds = PlatFoldCase(0xE9) == PlatFoldCase(0xC9);
  EXPECT_EQ(folds ? "p\\k\xE9" "ep.tga" : "K\xC9" "EP.TGA", Resolve("K\xC9" "EP.TGA"));
  EXPECT_EQ("p\\k\xE9" "ep.tga", Resolve("K\xE9" "EP.TGA"));
}

TEST_F(FolderMapLookup, ASectionWithABackslashNamesANestedFolder) {
  ASSERT_TRUE(Load("[worlds\\stone]\nCobble_Path.tga\n"));
  const std::string target = Resolve("cobble_path.tga");
  EXPECT_EQ("worlds\\stone\\Cobble_Path.tga", target);

  dir.Enter();
  ASSERT_TRUE(ForceParentDirectories(target.c_str()));
  EXPECT_TRUE(fs::is_directory(dir.Path("worlds/stone")));
  EXPECT_FALSE(fs::exists(dir.Path("worlds/stone/Cobble_Path.tga")));
}

TEST_F(FolderMapLookup, AHitGoesBelowTheGivenDirectoryAndSubFolder) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  EXPECT_EQ("C:\\base\\sub\\walls\\stone.tga", Resolve("STONE.TGA", "C:\\base", "sub"));
  EXPECT_EQ("C:\\base\\walls\\stone.tga", Resolve("STONE.TGA", "C:\\base\\", nullptr));
  EXPECT_EQ("sub\\walls\\stone.tga", Resolve("STONE.TGA", "", "sub"));
}

TEST_F(FolderMapLookup, ANullNameGivesTheFolderPartAlone) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  LastMatch = 0;
  EXPECT_EQ("", Resolve(nullptr));
  EXPECT_EQ("C:\\base\\sub\\", Resolve(nullptr, "C:\\base", "sub"));
  EXPECT_EQ("sub\\", Resolve(nullptr, nullptr, "sub"));
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapLookup, WritesIntoTheBufferOfAnyArgument) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  char name[PLAT_PATH_BUFFER] = "STONE.TGA";
  ResolveTargetPath(nullptr, nullptr, name, name);
  EXPECT_STREQ("walls\\stone.tga", name);
  char miss[PLAT_PATH_BUFFER] = "brick.tga";
  ResolveTargetPath("C:\\base", nullptr, miss, miss);
  EXPECT_STREQ("C:\\base\\brick.tga", miss);
  char base[PLAT_PATH_BUFFER] = "C:\\base";
  ResolveTargetPath(base, "sub", "stone.tga", base);
  EXPECT_STREQ("C:\\base\\sub\\walls\\stone.tga", base);
  char sub[PLAT_PATH_BUFFER] = "sub";
  ResolveTargetPath(nullptr, sub, "stone.tga", sub);
  EXPECT_STREQ("sub\\walls\\stone.tga", sub);
}

// ---------------------------------------------------------------------------
// Names that stand in more than one place

typedef FolderMapTest FolderMapTieBreak;

// Entries 0 and 1: the very first lookup tries entry LastMatch + 1 = 1.
TEST_F(FolderMapTieBreak, TheFirstLookupAfterStartTriesTheSecondLineFirst) {
  ASSERT_TRUE(Load("[First]\ndup.tga\n[Second]\nDUP.tga\n"));
  ASSERT_EQ(0, LastMatch);
  EXPECT_EQ("Second\\DUP.tga", Resolve("Dup.tga"));
  EXPECT_EQ(1, LastMatch);
  // Entry 1 is the last: no entry after it, so the scan from the first wins.
  EXPECT_EQ("First\\dup.tga", Resolve("Dup.tga"));
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapTieBreak, TheEntryAfterThePreviousHitWinsOtherwiseTheFirstInIniOrder) {
  ASSERT_TRUE(Load("[A]\nx.tga\ny.tga\n[B]\nx.tga\n[C]\nX.TGA\nz.tga\n[D]\nx.tga\n"));
  // Entries: 0 A x, 1 A y, 2 B x, 3 C X, 4 C z, 5 D x.
  EXPECT_EQ("A\\x.tga", Resolve("x.tga"));  // entry 1 is y: scan from the first
  EXPECT_EQ(0, LastMatch);
  EXPECT_EQ("A\\x.tga", Resolve("x.tga"));
  EXPECT_EQ(0, LastMatch);
  EXPECT_EQ("A\\y.tga", Resolve("Y.tga"));  // the entry after the hit
  EXPECT_EQ(1, LastMatch);
  EXPECT_EQ("B\\x.tga", Resolve("x.tga"));  // entry 2 follows 1
  EXPECT_EQ(2, LastMatch);
  EXPECT_EQ("C\\X.TGA", Resolve("x.tga"));  // entry 3 follows 2
  EXPECT_EQ(3, LastMatch);
  EXPECT_EQ("A\\x.tga", Resolve("x.tga"));  // entry 4 is z: the first again
  EXPECT_EQ(0, LastMatch);
  EXPECT_EQ("C\\z.tga", Resolve("z.tga"));
  EXPECT_EQ(4, LastMatch);
  EXPECT_EQ("D\\x.tga", Resolve("X.tga"));  // entry 5 follows 4
  EXPECT_EQ(5, LastMatch);
  EXPECT_EQ("A\\x.tga", Resolve("x.tga"));  // nothing follows the last entry
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapTieBreak, AMissLeavesLastMatchAsItWas) {
  ASSERT_TRUE(Load("[A]\na.tga\nb.tga\n[B]\nb.tga\n"));
  EXPECT_EQ("A\\a.tga", Resolve("a.tga"));
  EXPECT_EQ("other.tga", Resolve("other.tga"));
  EXPECT_EQ(0, LastMatch);
  EXPECT_EQ("A\\b.tga", Resolve("b.tga"));  // still entry 0 + 1
  EXPECT_EQ(1, LastMatch);
}

TEST_F(FolderMapTieBreak, ALastMatchBeyondTheMapIsPassedOver) {
  ASSERT_TRUE(Load("[A]\na.tga\n[B]\na.tga\n"));
  LastMatch = 1000;
  EXPECT_EQ("A\\a.tga", Resolve("a.tga"));
  EXPECT_EQ(0, LastMatch);
  LastMatch = 1;
  EXPECT_EQ("A\\a.tga", Resolve("a.tga"));
  EXPECT_EQ(0, LastMatch);
}

TEST_F(FolderMapTieBreak, TheSameLineTwiceInOneSectionIsTwoEntries) {
  ASSERT_TRUE(Load("[A]\nz.tga\nrep.tga\nREP.tga\n"));
  ASSERT_EQ(3, Entries->Count);
  LastMatch = 0;
  EXPECT_EQ("A\\rep.tga", Resolve("Rep.tga"));  // entry 1 follows 0
  EXPECT_EQ("A\\REP.tga", Resolve("Rep.tga"));  // entry 2 follows 1
  EXPECT_EQ(2, LastMatch);
  EXPECT_EQ("A\\rep.tga", Resolve("Rep.tga"));
  EXPECT_EQ(1, LastMatch);
}

// ---------------------------------------------------------------------------
// Paths over 260 characters

typedef FolderMapTest FolderMapLongPaths;

TEST_F(FolderMapLongPaths, AHitThatWouldBeTooLongGivesAnEmptyPathAndCode206) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  const std::string base(260 - 15, 'd');  // base\walls\stone.tga is 261
  PlatSetLastError(0);
  EXPECT_EQ("", Resolve("STONE.TGA", base.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), LastError());
  EXPECT_EQ(0, LastMatch);  // a hit all the same

  const std::string shorter(260 - 15 - 1, 'd');  // 260: still a path
  EXPECT_EQ(shorter + "\\walls\\stone.tga", Resolve("STONE.TGA", shorter.c_str()));
}

TEST_F(FolderMapLongPaths, AFolderPartAloneTooLongGivesAnEmptyPath) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  const std::string base(200, 'd'), sub(100, 's');
  PlatSetLastError(0);
  EXPECT_EQ("", Resolve("stone.tga", base.c_str(), sub.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), LastError());
  PlatSetLastError(0);
  EXPECT_EQ("", Resolve(nullptr, base.c_str(), sub.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), LastError());
}

TEST_F(FolderMapLongPaths, AMissThatWouldBeTooLongGivesAnEmptyPathAndCode206) {
  ASSERT_TRUE(Load("[walls]\nstone.tga\n"));
  const std::string base(250, 'd');
  PlatSetLastError(0);
  EXPECT_EQ("", Resolve("brick_tiles.tga", base.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), LastError());
}

TEST_F(FolderMapLongPaths, ALongLineResolvesUpTo260Characters) {
  const std::string line(260 - 6, 'n');  // "walls\" and the line: 260
  ASSERT_TRUE(Load("[walls]\n" + line + "\n"));
  EXPECT_EQ("walls\\" + line, Resolve(line.c_str()));
  PlatSetLastError(0);
  EXPECT_EQ("", Resolve(line.c_str(), "d"));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), LastError());
}

}  // namespace
