// Open files and the thread's last-error code, on real files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <thread>
#endif

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

class PlatFiles : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST(PlatLastError, KeepsWhatWasSet) {
  PlatSetLastError(1804);
  EXPECT_EQ(1804u, PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_EQ(0u, PlatGetLastError());
}

#if !defined(_WIN32)
TEST(PlatLastError, BelongsToTheThread) {
  PlatSetLastError(38);
  uint32_t seen = 1, afterSet = 1;
  std::thread other([&] {
    seen = PlatGetLastError();
    PlatSetLastError(122);
    afterSet = PlatGetLastError();
  });
  other.join();
  EXPECT_EQ(0u, seen);
  EXPECT_EQ(122u, afterSet);
  EXPECT_EQ(38u, PlatGetLastError());
}
#endif

TEST_F(PlatFiles, ReadsAnExistingFileInPieces) {
  ASSERT_TRUE(WriteText(dir.Path("a.bin"), "0123456789abcdefghij"));
  const PlatFile file = PlatOpenRead(In(dir, "a.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  char buffer[8];
  uint32_t done = 99;
  ASSERT_TRUE(PlatRead(file, buffer, 8, &done));
  EXPECT_EQ(8u, done);
  EXPECT_EQ("01234567", std::string(buffer, 8));
  uint64_t position = 0, size = 0;
  ASSERT_TRUE(PlatGetFilePosition(file, &position));
  ASSERT_TRUE(PlatGetFileSize(file, &size));
  EXPECT_EQ(8u, position);
  EXPECT_EQ(20u, size);
  EXPECT_EQ("89abcdefghij", ReadRest(file));
  PlatClose(file);
}

TEST_F(PlatFiles, ReadingAtTheEndGivesNothingAndSucceeds) {
  ASSERT_TRUE(WriteText(dir.Path("short.bin"), "xyz"));
  const PlatFile file = PlatOpenRead(In(dir, "short.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  char buffer[16];
  uint32_t done = 0;
  ASSERT_TRUE(PlatRead(file, buffer, sizeof buffer, &done));
  EXPECT_EQ(3u, done);  // a short read at the end is no failure
  done = 77;
  EXPECT_TRUE(PlatRead(file, buffer, sizeof buffer, &done));
  EXPECT_EQ(0u, done);
  PlatClose(file);
}

TEST_F(PlatFiles, ReadsAtAnOffsetInAnyOrderAndShortOnlyAtTheEnd) {
  ASSERT_TRUE(WriteText(dir.Path("at.bin"), "0123456789abcdefghij"));
  const PlatFile file = PlatOpenRead(In(dir, "at.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  char buffer[16];
  uint32_t done = 0;
  PlatSetLastError(4242);
  ASSERT_TRUE(PlatReadAt(file, 16, buffer, 4, &done));
  EXPECT_EQ("ghij", std::string(buffer, done));
  ASSERT_TRUE(PlatReadAt(file, 2, buffer, 3, &done));
  EXPECT_EQ("234", std::string(buffer, done));
  ASSERT_TRUE(PlatReadAt(file, 18, buffer, 8, &done));
  EXPECT_EQ("ij", std::string(buffer, done));
  done = 5;
  ASSERT_TRUE(PlatReadAt(file, 20, buffer, 8, &done));
  EXPECT_EQ(0u, done);
  ASSERT_TRUE(PlatReadAt(file, 0x100000000ull, buffer, 8, &done));
  EXPECT_EQ(0u, done);
  EXPECT_EQ(4242u, PlatGetLastError());
  PlatClose(file);
  EXPECT_FALSE(PlatReadAt(PLAT_NO_FILE, 0, buffer, 1, &done));
  EXPECT_EQ(0u, done);
}

TEST_F(PlatFiles, CreateNewWritesAnEmptyFileSequentially) {
  const PlatFile file = PlatCreateNew(In(dir, "out.tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  // Room set aside (or not, where the file system cannot) leaves the size.
  ASSERT_TRUE(PlatReserveFileSpace(file, 1 << 20));
  uint64_t size = 99;
  ASSERT_TRUE(PlatGetFileSize(file, &size));
  EXPECT_EQ(0u, size);
  uint32_t done = 0;
  ASSERT_TRUE(PlatWrite(file, "head", 4, &done));
  EXPECT_EQ(4u, done);
  ASSERT_TRUE(PlatWrite(file, "", 0, &done));
  EXPECT_EQ(0u, done);
  ASSERT_TRUE(PlatWrite(file, "tail", 4, &done));
  uint64_t position = 0;
  ASSERT_TRUE(PlatGetFilePosition(file, &position));
  EXPECT_EQ(8u, position);
  PlatClose(file);
  const Bytes written = ReadBytes(dir.Path("out.tga"));
  EXPECT_EQ("headtail", std::string(written.begin(), written.end()));
}

TEST_F(PlatFiles, CreateNewNeverWritesOverAnExistingFile) {
  ASSERT_TRUE(WriteText(dir.Path("keep.tga"), "precious"));
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateNew(In(dir, "keep.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_EXISTS), PlatGetLastError());
  EXPECT_EQ("precious", ContentOf(In(dir, "keep.tga")));
}

TEST_F(PlatFiles, CreateNewRefusesTheNameOfAFolder) {
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "taken").c_str()));
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateNew(In(dir, "taken").c_str()));
  EXPECT_NE(0u, PlatGetLastError());
  EXPECT_TRUE(PlatDirectoryExists(In(dir, "taken").c_str()));
}

TEST_F(PlatFiles, CreateNewInAMissingFolderFailsWithPathNotFound) {
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateNew(In(dir, "nowhere\\x.tga").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), PlatGetLastError());
}

TEST_F(PlatFiles, OpenReadOfAMissingFileOrFolder) {
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead(In(dir, "missing.tex").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), PlatGetLastError());
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead(In(dir, "missing\\a.tex").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), PlatGetLastError());
}

TEST_F(PlatFiles, AFolderDoesNotOpenAsAFile) {
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "folder-C.TEX").c_str()));
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead(In(dir, "folder-C.TEX").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), PlatGetLastError());
}

TEST_F(PlatFiles, AReadHandleRefusesWrites) {
  ASSERT_TRUE(WriteText(dir.Path("ro.bin"), "abc"));
  const PlatFile file = PlatOpenRead(In(dir, "ro.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  PlatSetLastError(0);
  uint32_t done = 5;
  EXPECT_FALSE(PlatWrite(file, "zz", 2, &done));
  EXPECT_EQ(0u, done);
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), PlatGetLastError());
  PlatClose(file);
  EXPECT_EQ("abc", ContentOf(In(dir, "ro.bin")));
}

TEST_F(PlatFiles, AnOpenFileMayBeReadAndWrittenByOthers) {
  ASSERT_TRUE(WriteText(dir.Path("shared.bin"), "one"));
  const PlatFile first = PlatOpenRead(In(dir, "shared.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, first);
  const PlatFile second = PlatOpenRead(In(dir, "shared.bin").c_str());
  EXPECT_NE(PLAT_NO_FILE, second);
  EXPECT_TRUE(WriteText(dir.Path("shared.bin"), "two"));
  PlatClose(second);
  PlatClose(first);
}

TEST_F(PlatFiles, SuccessfulCallsLeaveTheLastErrorAlone) {
  ASSERT_TRUE(WriteText(dir.Path("src.bin"), "data"));
  PlatSetLastError(5150);
  const PlatFile in = PlatOpenRead(In(dir, "src.bin").c_str());
  const PlatFile out = PlatCreateNew(In(dir, "dst.bin").c_str());
  ASSERT_NE(PLAT_NO_FILE, in);
  ASSERT_NE(PLAT_NO_FILE, out);
  char buffer[4];
  uint32_t done = 0;
  uint64_t value = 0;
  EXPECT_TRUE(PlatRead(in, buffer, 4, &done));
  EXPECT_TRUE(PlatRead(in, buffer, 4, &done));  // at the end
  EXPECT_TRUE(PlatReadAt(in, 8, buffer, 4, &done));  // beyond the end
  EXPECT_TRUE(PlatGetFileSize(in, &value));
  EXPECT_TRUE(PlatGetFilePosition(in, &value));
  EXPECT_TRUE(PlatGetLastWriteTime(in, &value));
  EXPECT_TRUE(PlatReserveFileSpace(out, 4096));
  EXPECT_TRUE(PlatWrite(out, "data", 4, &done));
  EXPECT_TRUE(PlatSetLastWriteTime(out, value));
  PlatClose(out);
  PlatClose(in);
  EXPECT_TRUE(PlatFileExists(In(dir, "dst.bin").c_str()));
  EXPECT_TRUE(PlatDirectoryExists(dir.root.c_str()));
  EXPECT_TRUE(PlatCreateDirectory(In(dir, "made").c_str()));
  EXPECT_TRUE(PlatMoveFile(In(dir, "dst.bin").c_str(), In(dir, "made\\dst.bin").c_str()));
  EXPECT_TRUE(PlatDeleteFile(In(dir, "made\\dst.bin").c_str()));
  char name[PLAT_PATH_BUFFER];
  const PlatSearch search = PlatFindFirst(In(dir, "*").c_str(), name);
  ASSERT_NE(PLAT_NO_SEARCH, search);
  while (PlatFindNext(search, name)) {
  }
  PlatSetLastError(5150);
  PlatFindClose(search);
  EXPECT_EQ(5150u, PlatGetLastError());
}

// 2020-01-01 00:00:00 UTC plus 123.4567 ms: a value that needs every digit.
const uint64_t SOME_FILE_TIME = 132223104000000000ull + 1234567;

TEST_F(PlatFiles, LastWriteTimeRoundTripsIn100NanosecondUnits) {
  const PlatFile out = PlatCreateNew(In(dir, "stamped.tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, out);
  uint32_t done = 0;
  ASSERT_TRUE(PlatWrite(out, "x", 1, &done));
  ASSERT_TRUE(PlatSetLastWriteTime(out, SOME_FILE_TIME));
  PlatClose(out);
  const PlatFile in = PlatOpenRead(In(dir, "stamped.tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, in);
  uint64_t read = 0;
  ASSERT_TRUE(PlatGetLastWriteTime(in, &read));
  PlatClose(in);
  EXPECT_EQ(SOME_FILE_TIME, read);
}

TEST_F(PlatFiles, ANewFileCarriesTheTimeOfItsCreation) {
  const PlatFile out = PlatCreateNew(In(dir, "now.tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, out);
  uint64_t written = 0;
  ASSERT_TRUE(PlatGetLastWriteTime(out, &written));
  PlatClose(out);
  // After 2020 and before 2100, in FILETIME units.
  EXPECT_GT(written, 132223104000000000ull);
  EXPECT_LT(written, 157469184000000000ull);
}

TEST_F(PlatFiles, ClosedOrInvalidHandlesFail) {
  char buffer[4];
  uint32_t done = 0;
  uint64_t value = 0;
  PlatSetLastError(0);
  EXPECT_FALSE(PlatRead(PLAT_NO_FILE, buffer, 4, &done));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_HANDLE), PlatGetLastError());
  EXPECT_FALSE(PlatGetFileSize(PLAT_NO_FILE, &value));
  EXPECT_FALSE(PlatReadAt(PLAT_NO_FILE, 0, buffer, 4, &done));
  EXPECT_FALSE(PlatWrite(PLAT_NO_FILE, "x", 1, &done));
  EXPECT_FALSE(PlatGetLastWriteTime(PLAT_NO_FILE, &value));
  PlatSetLastError(0);
  EXPECT_FALSE(PlatReserveFileSpace(PLAT_NO_FILE, 4096));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_HANDLE), PlatGetLastError());
  PlatClose(PLAT_NO_FILE);  // harmless
}

}  // namespace
