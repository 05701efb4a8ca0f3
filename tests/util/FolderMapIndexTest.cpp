// The folder map's lookup index against a plain scan of the loaded tables
// on random maps with repeated names, a large map, and the INI file's name.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "OskeltZtexUtil.h"
#include "UtilTestSupport.h"

namespace {

typedef std::vector<std::string> Names;

class FolderMapIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeFolderMap();
    LastMatch = 0;
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
  TempDir dir;
};

std::string Resolve(const char* name) {
  GuardedPath out("stale text");
  ResolveTargetPath(nullptr, nullptr, name, out.data());
  EXPECT_TRUE(out.GuardIntact());
  return out.str();
}

bool EqualFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (PlatFoldCase(static_cast<unsigned char>(*a)) != PlatFoldCase(static_cast<unsigned char>(*b)))
      return false;
    if (*a == '\0') return true;
  }
}

// The lookup as a scan over the tables: the entry after LastMatch, else the
// first equal one; -1 for none.
int32_t ScanForHit(const char* name) {
  if (!name || !Sections || !Entries || Sections->Count <= 0 || Entries->Count <= 0) return -1;
  if (LastMatch < Entries->Count - 1 && EqualFolded(Entries->Items[LastMatch + 1].Text, name))
    return LastMatch + 1;
  for (int32_t i = 0; i < Entries->Count; ++i)
    if (EqualFolded(Entries->Items[i].Text, name)) return i;
  return -1;
}

std::string MixCase(const std::string& name, std::mt19937& random) {
  std::string mixed = name;
  for (char& c : mixed) {
    if (random() % 2 == 0) continue;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return mixed;
}

TEST_F(FolderMapIndex, FindsWhatAScanOfTheTablesFinds) {
  std::mt19937 random(20261207);
  for (int map = 0; map < 40; ++map) {
    // Few distinct names, so most of them stand in several lines.
    Names pool;
    const int poolSize = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < poolSize; ++i) pool.push_back("tex" + std::to_string(random() % 1000) + ".tga");
    std::string ini;
    int lines = 0;
    const int sectionCount = 1 + static_cast<int>(random() % 8);
    for (int s = 0; s < sectionCount; ++s) {
      ini += "[S" + std::to_string(s) + "]\n";
      const int count = static_cast<int>(random() % 30);
      for (int l = 0; l < count; ++l, ++lines) ini += MixCase(pool[random() % pool.size()], random) + "\n";
    }
    ASSERT_TRUE(Load(ini));
    ASSERT_EQ(lines, Entries->Count);
    LastMatch = static_cast<int32_t>(random() % (lines + 2));

    for (int lookup = 0; lookup < 400; ++lookup) {
      std::string name;
      const unsigned pick = random() % 10;
      if (pick < 3 && LastMatch + 1 < lines)
        name = Entries->Items[LastMatch + 1].Text;  // in the order of the map
      else if (pick < 9)
        name = pool[random() % pool.size()];
      else
        name = "missing" + std::to_string(random() % 5) + ".tga";
      name = MixCase(name, random);
      const char* asked = random() % 50 == 0 ? nullptr : name.c_str();

      const int32_t before = LastMatch;
      const int32_t hit = ScanForHit(asked);
      std::string expected = asked ? name : "";
      if (hit >= 0)
        expected = std::string(Sections->Names[Entries->Items[hit].Section]) + "\\" + Entries->Items[hit].Text;
      ASSERT_EQ(expected, Resolve(asked)) << "map " << map << ", lookup " << lookup;
      ASSERT_EQ(hit >= 0 ? hit : before, LastMatch) << "map " << map << ", lookup " << lookup;
    }
  }
}

TEST_F(FolderMapIndex, ALargeMapLoadsWholeAndFindsEveryLine) {
  std::string ini;
  for (int s = 0; s < 20; ++s) {
    ini += "[Section" + std::to_string(s) + "]\n";
    for (int l = 0; l < 2500; ++l) ini.append("T").append(std::to_string(s * 2500 + l)).append(".tga\n");
  }
  ASSERT_TRUE(Load(ini));
  ASSERT_EQ(20, Sections->Count);
  ASSERT_EQ(50000, Entries->Count);
  for (int32_t e = 0; e < Entries->Count; ++e) {
    ASSERT_EQ(e / 2500, Entries->Items[e].Section);
    ASSERT_EQ("T" + std::to_string(e) + ".tga", Entries->Items[e].Text);
  }
  // Backwards, so the entry after the last hit never matches.
  for (int t = 49999; t >= 0; t -= 7) {
    const std::string name = "t" + std::to_string(t) + ".TGA";
    ASSERT_EQ("Section" + std::to_string(t / 2500) + "\\T" + std::to_string(t) + ".tga",
              Resolve(name.c_str()));
  }
  EXPECT_EQ("T50000.tga", Resolve("T50000.tga"));
}

TEST(FolderMapIniPath, ReplacesAnExtensionOrAppendsOne) {
  const char* cases[][2] = {
      {"C:\\Tools\\OskeltZTEX.exe", "C:\\Tools\\OskeltZTEX.ini"},
      {"/work/build/OskeltZTEX", "/work/build/OskeltZTEX.ini"},
      {"/work/my.dir/prog", "/work/my.dir/prog.ini"},
      {"C:\\a.b\\c", "C:\\a.b\\c.ini"},
      {"/opt/tool.bin", "/opt/tool.ini"},
      {"x", "x.ini"},
  };
  for (const auto& c : cases) {
    GuardedPath out;
    ASSERT_TRUE(FolderMapIniPath(c[0], out.data())) << c[0];
    EXPECT_EQ(c[1], out.str()) << c[0];
    EXPECT_TRUE(out.GuardIntact());
  }
  char same[PLAT_PATH_BUFFER] = "C:\\prog.exe";
  ASSERT_TRUE(FolderMapIniPath(same, same));
  EXPECT_STREQ("C:\\prog.ini", same);
}

TEST(FolderMapIniPath, RefusesAPathBeyond260Characters) {
  GuardedPath out;
  EXPECT_TRUE(FolderMapIniPath(std::string(256, 'p').c_str(), out.data()));
  EXPECT_TRUE(FolderMapIniPath((std::string(256, 'p') + ".exe").c_str(), out.data()));
  EXPECT_EQ(std::string(256, 'p') + ".ini", out.str());
  PlatSetLastError(0);
  EXPECT_FALSE(FolderMapIniPath(std::string(257, 'p').c_str(), out.data()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  EXPECT_FALSE(FolderMapIniPath((std::string(300, 'p') + ".exe").c_str(), out.data()));
  EXPECT_TRUE(out.GuardIntact());
}

}  // namespace
