// Files that take their name only when complete, used as the batch run uses
// them: remove a leftover temporary, create, write, stamp, publish, close;
// on any failure close and remove the temporary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

typedef std::vector<std::string> Names;

// 2021-03-04 05:06:07 UTC plus 0.8901234 s.
const uint64_t STAMP = 132592275670000000ull + 8901234;

class PlatPublish : public ::testing::Test {
 protected:
  TempDir dir;
  std::string target = In(dir, "Stone.tga");
  std::string temporary = In(dir, "Stone.tga.tmp");

  // A temporary file for target with the bytes written and the stamp set.
  PlatFile Written(const std::string& bytes) {
    const PlatFile file = PlatCreateTemporary(target.c_str(), temporary.c_str());
    EXPECT_NE(PLAT_NO_FILE, file);
    if (file == PLAT_NO_FILE) return file;
    uint32_t done = 0;
    EXPECT_TRUE(PlatWrite(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done));
    EXPECT_EQ(bytes.size(), done);
    EXPECT_TRUE(PlatSetLastWriteTime(file, STAMP));
    return file;
  }

  static uint64_t StampOf(const std::string& path) {
    const PlatFile file = PlatOpenRead(path.c_str());
    uint64_t stamp = 0;
    if (file != PLAT_NO_FILE) PlatGetLastWriteTime(file, &stamp);
    PlatClose(file);
    return stamp;
  }
};

TEST_F(PlatPublish, TheTargetAppearsOnlyWhenPublishedWithItsBytesAndStamp) {
  PlatSetLastError(4242);
  const PlatFile file = Written("TGA bytes");
  ASSERT_NE(PLAT_NO_FILE, file);
  EXPECT_EQ(4242u, PlatGetLastError());
  EXPECT_FALSE(PlatFileExists(target.c_str()));
  PlatSetLastError(4343);
  ASSERT_TRUE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  EXPECT_EQ(4343u, PlatGetLastError());
  PlatClose(file);
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  EXPECT_EQ("TGA bytes", ContentOf(target));
  EXPECT_EQ(STAMP, StampOf(target));
}

TEST_F(PlatPublish, TheOpenFileCanStillBeWrittenAndStampedAfterPublishing) {
  const PlatFile file = Written("head");
  ASSERT_NE(PLAT_NO_FILE, file);
  ASSERT_TRUE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  uint32_t done = 0;
  EXPECT_TRUE(PlatWrite(file, "tail", 4, &done));
  EXPECT_TRUE(PlatSetLastWriteTime(file, STAMP + 10000000));
  PlatClose(file);
  EXPECT_EQ("headtail", ContentOf(target));
  EXPECT_EQ(STAMP + 10000000, StampOf(target));
}

TEST_F(PlatPublish, ATargetThatAppearedMeanwhileIsNeverReplaced) {
  const PlatFile file = Written("new bytes");
  ASSERT_NE(PLAT_NO_FILE, file);
  ASSERT_TRUE(WriteText(dir.Path("Stone.tga"), "precious"));
  PlatSetLastError(0);
  EXPECT_FALSE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatClose(file);
  PlatDeleteFile(temporary.c_str());
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  EXPECT_EQ("precious", ContentOf(target));
}

// The target's folder is found in any letter case, and so is a name that
// stands in the target's place.
TEST_F(PlatPublish, NamesAreFoundWithoutRegardToLetterCase) {
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "Walls").c_str()));
  target = In(dir, "WALLS\\Brick.tga");
  temporary = In(dir, "walls\\Brick.tga.tmp");
  PlatFile file = Written("brick");
  ASSERT_NE(PLAT_NO_FILE, file);
  ASSERT_TRUE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  PlatClose(file);
  EXPECT_EQ(Names{"Brick.tga"}, ListDir(dir.Path("Walls")));

  // A target that exists in other letter case: no file is made for it.
  target = In(dir, "walls\\brick.TGA");
  temporary = In(dir, "Walls\\brick.TGA.tmp");
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateTemporary(target.c_str(), temporary.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_EXISTS), PlatGetLastError());

  // One that appears in other letter case while the file is written.
  target = In(dir, "walls\\Mortar.tga");
  temporary = In(dir, "Walls\\Mortar.tga.tmp");
  file = Written("other");
  ASSERT_NE(PLAT_NO_FILE, file);
  ASSERT_TRUE(WriteText(dir.Path("Walls/MORTAR.TGA"), "mortar"));
  PlatSetLastError(0);
  EXPECT_FALSE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), PlatGetLastError());
  PlatClose(file);
  PlatDeleteFile(temporary.c_str());
  EXPECT_EQ((Names{"Brick.tga", "MORTAR.TGA"}), ListDir(dir.Path("Walls")));
  EXPECT_EQ("brick", ContentOf(In(dir, "Walls\\Brick.tga")));
  EXPECT_EQ("mortar", ContentOf(In(dir, "Walls\\MORTAR.TGA")));
}

TEST_F(PlatPublish, NoFileIsMadeForATargetThatExistsAlready) {
  ASSERT_TRUE(WriteText(dir.Path("Stone.tga"), "precious"));
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "Wall.tga").c_str()));
  for (const char* name : {"Stone.tga", "Wall.tga"}) {
    target = In(dir, name);
    PlatSetLastError(0);
    EXPECT_EQ(PLAT_NO_FILE, PlatCreateTemporary(target.c_str(), temporary.c_str())) << name;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_EXISTS), PlatGetLastError()) << name;
  }
  EXPECT_EQ((Names{"Stone.tga", "Wall.tga"}), ListDir(dir.root));
  EXPECT_EQ("precious", ContentOf(In(dir, "Stone.tga")));
}

TEST_F(PlatPublish, AnExistingTemporaryIsNeverOpened) {
  ASSERT_TRUE(WriteText(dir.Path("Stone.tga.tmp"), "left over"));
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateTemporary(target.c_str(), temporary.c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_EXISTS), PlatGetLastError());
  EXPECT_EQ("left over", ContentOf(temporary));
  EXPECT_EQ(Names{"Stone.tga.tmp"}, ListDir(dir.root));
}

TEST_F(PlatPublish, ALeftoverOfAnEarlierRunIsRemovedFirst) {
  ASSERT_TRUE(WriteText(dir.Path("Stone.tga.tmp"), "left over"));
  ASSERT_TRUE(PlatDeleteFile(temporary.c_str()));
  const PlatFile file = Written("fresh");
  ASSERT_NE(PLAT_NO_FILE, file);
  ASSERT_TRUE(PlatPublishFile(file, target.c_str(), temporary.c_str()));
  PlatClose(file);
  EXPECT_EQ(Names{"Stone.tga"}, ListDir(dir.root));
  EXPECT_EQ("fresh", ContentOf(target));
}

TEST_F(PlatPublish, ATemporaryInAMissingFolderIsAPathNotFound) {
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE,
            PlatCreateTemporary(In(dir, "gone\\a.tga").c_str(), In(dir, "gone\\a.tga.tmp").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), PlatGetLastError());
  EXPECT_TRUE(ListDir(dir.root).empty());
}

}  // namespace
