// The batch run on Linux, where names are looked up without regard to letter
// case through kept folder listings: a run over many textures reads each
// folder a few times, not once per texture.
#include <string>

#include "AppTestSupport.h"
#include "OskeltZTEX.h"
#include "PlatformPosixHooks.h"

namespace {

class BatchRunPosix : public BaseDirTest {};

TEST_F(BatchRunPosix, AFewFolderReadsServeARunOverManyTextures) {
  const int count = 300;
  std::string ini;
  const char* sections[] = {"Armor", "Worlds\\Stone", "Worlds\\Wood", "Effects"};
  for (int s = 0; s < 4; ++s) {
    ini += std::string("[") + sections[s] + "]\n";
    for (int i = s; i < count - 60; i += 4) ini += "Tex_" + std::to_string(i) + ".tga\n";
  }
  Map(ini);
  for (int i = 0; i < count; ++i) Texture("TEX_" + std::to_string(i) + "-c.tex");
  // Flat files of mapped textures are moved into their folders.
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(WriteText(base.Path("tex_" + std::to_string(i) + ".TGA"), "flat"));

  const uint64_t before = PlatPosixGetCounts().folderReads;
  RunConversion(TestDialog());
  const uint64_t reads = PlatPosixGetCounts().folderReads - before;

  EXPECT_EQ(Summary(count, 0, 0), Log());
  for (const char* folder : {"Armor", "Worlds/Stone", "Worlds/Wood", "Effects"}) {
    EXPECT_EQ(60u, ListDir(base.Path(folder)).size()) << folder;
  }
  EXPECT_EQ(Bytes({'f', 'l', 'a', 't'}), ReadBytes(base.Path("Armor/Tex_0.tga")));
  EXPECT_EQ(60u + 5, ListDir(base.root).size());  // the unmapped, _compiled, the map, 3 folders
  // Six folders, none of them read more than a few times.
  EXPECT_LE(reads, 18u);
}

}  // namespace
