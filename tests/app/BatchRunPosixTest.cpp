// The batch run on Linux, where names are looked up without regard to letter
// case through kept folder listings: a run over many textures reads each
// folder a few times, not once per texture, on a local file system and on a
// FUSE one (bindfs), where files are published by link and unlink and a name
// removed while its file is open stays hidden until the close.
#include <stdlib.h>
#include <sys/statfs.h>

#include <filesystem>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "OskeltZTEX.h"
#include "OskeltZtexUtil.h"
#include "PlatformPosixHooks.h"

namespace fs = std::filesystem;

namespace {

// A bindfs mount of a folder of its own over the base directory, which
// becomes the current directory again; unmounted when it goes.
struct FuseOver {
  explicit FuseOver(const std::string& point) : point(point) {
    const std::string command = "bindfs '" + source.root + "' '" + point + "' >/dev/null 2>&1";
    struct statfs info {};
    mounted = std::system(command.c_str()) == 0 && statfs(point.c_str(), &info) == 0 &&
              static_cast<uint32_t>(info.f_type) == 0x65735546u;
    if (mounted) fs::current_path(point);
  }
  ~FuseOver() {
    if (!mounted) return;
    fs::current_path(source.root);
    const std::string command = "fusermount -u '" + point + "' >/dev/null 2>&1 || umount '" + point + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot unmount " << point;
  }
  FuseOver(const FuseOver&) = delete;
  FuseOver& operator=(const FuseOver&) = delete;

  TempDir source;
  std::string point;
  bool mounted = false;
};

class BatchRunPosix : public BaseDirTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BatchRunPosix, AFewFolderReadsServeARunOverManyTextures) {
  std::unique_ptr<FuseOver> fuse;
  if (GetParam()) {
    fs::remove(base.Path("_compiled"));  // a mount point must be empty
    fuse.reset(new FuseOver(base.root));
    if (!fuse->mounted) GTEST_SKIP() << "bindfs cannot mount here";
    fs::create_directory(base.Path("_compiled"));
  }
  const int count = 300;
  std::string ini;
  const char* sections[] = {"Armor", "Worlds\\Stone", "Worlds\\Wood", "Effects"};
  for (int s = 0; s < 4; ++s) {
    ini += std::string("[") + sections[s] + "]\n";
    for (int i = s; i < count - 60; i += 4) ini += "Tex_" + std::to_string(i) + ".tga\n";
  }
  // The map lies outside the base directory: the INI reader keeps it open,
  // which would keep the mount busy.
  const TempDir elsewhere;
  ASSERT_TRUE(WriteText(elsewhere.Path("map.ini"), ini));
  ASSERT_TRUE(LoadFolderMapFrom(elsewhere.Path("map.ini").c_str()));
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
  EXPECT_EQ(60u + 4, ListDir(base.root).size());  // the unmapped, _compiled, 3 folders
  // Six folders, none of them read more than a few times.
  EXPECT_LE(reads, 18u);
}

INSTANTIATE_TEST_SUITE_P(Folders, BatchRunPosix, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "OnBindfs" : "OnTheLocalFileSystem");
                         });

}  // namespace
