// Message texts, the codes that failures report, the current directory, the
// executable's path and the end of the process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "PlatformPosixHooks.h"
#endif

#include "Platform.h"
#include "PlatformTestSupport.h"
#include "TestSupport.h"

namespace {

std::string TextOf(uint32_t code) {
  char buffer[256];
  const uint32_t n = PlatGetErrorText(code, buffer, sizeof buffer);
  return std::string(buffer, n);
}

// The codes the system sets itself and those file-system failures report.
const uint32_t LISTED_CODES[] = {8,  38, 87,  120, 122, 1392, 1804, 2000, 2,  3,  5,
                                 80, 112, 206, 19,  32,  183,  1117, 18,   6,  223};

TEST(PlatErrorText, EveryListedCodeHasAOneLineText) {
  for (uint32_t code : LISTED_CODES) {
    const std::string text = TextOf(code);
#if defined(_WIN32)
    // The platform's own table decides; Wine has no text for some codes.
    if (text.empty()) continue;
    const size_t lineBreak = text.find_first_of("\r\n");
    if (lineBreak != std::string::npos) {
      EXPECT_EQ(std::string::npos, text.find_first_not_of("\r\n", lineBreak)) << code;
    }
#else
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << code;  // no line break at all
#endif
    EXPECT_LT(text.size(), 256u) << code;
  }
}

TEST(PlatErrorText, DistinctCodesHaveDistinctTexts) {
  EXPECT_NE(TextOf(ERROR_FILE_NOT_FOUND), TextOf(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(TextOf(ERROR_FILE_EXISTS), TextOf(ERROR_ACCESS_DENIED));
}

TEST(PlatErrorText, AnUnknownCodeHasNoText) {
  char buffer[256];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, PlatGetErrorText(0x2FFF1234u, buffer, sizeof buffer));
  EXPECT_EQ('\0', buffer[0]);
}

TEST(PlatErrorText, ATextIsNeverCutAtTheBufferEnd) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0u, PlatGetErrorText(ERROR_FILE_NOT_FOUND, buffer, 4));
  EXPECT_EQ('x', buffer[4]);
}

class PlatFailures : public ::testing::Test {
 protected:
  uint32_t CodeAfter(bool result) {
    EXPECT_FALSE(result);
    return PlatGetLastError();
  }
  TempDir dir;
};

TEST_F(PlatFailures, APathThroughAFileIsAPathNotFound) {
  ASSERT_TRUE(WriteText(dir.Path("plain.txt"), "x"));
  PlatSetLastError(0);
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND),
            CodeAfter(PlatFileExists(In(dir, "plain.txt\\inner.tga").c_str())));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND),
            CodeAfter(PlatCreateDirectory(In(dir, "plain.txt\\sub").c_str())));
}

TEST_F(PlatFailures, ChangingIntoAFileIsRefused) {
  ASSERT_TRUE(WriteText(dir.Path("plain.txt"), "x"));
  PlatSetLastError(0);
  EXPECT_EQ(static_cast<uint32_t>(ERROR_DIRECTORY), CodeAfter(PlatSetCurrentDirectory(In(dir, "plain.txt").c_str())));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND),
            CodeAfter(PlatSetCurrentDirectory(In(dir, "missing").c_str())));
}

#if !defined(_WIN32)
TEST_F(PlatFailures, ANameTooLongForTheFileSystem) {
  const std::string longName(300, 'n');
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatCreateNew(In(dir, longName).c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), PlatGetLastError());
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE), CodeAfter(PlatFileExists(In(dir, longName).c_str())));
}

TEST_F(PlatFailures, ASymbolicLinkLoopCannotBeResolved) {
  ASSERT_EQ(0, symlink("loop", dir.Path("loop").c_str()));
  PlatSetLastError(0);
  EXPECT_EQ(PLAT_NO_FILE, PlatOpenRead(In(dir, "loop").c_str()));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_CANT_RESOLVE_FILENAME), PlatGetLastError());
}

TEST_F(PlatFailures, AWritePastTheFileSizeLimitIsAFileTooLarge) {
  // The tests run as root, so a refused permission cannot be staged; a file
  // size limit can. The signal it raises is ignored while the test runs.
  struct rlimit old;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
  const PlatFile file = PlatCreateNew(In(dir, "limited.tga").c_str());
  ASSERT_NE(PLAT_NO_FILE, file);
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = old;
  tight.rlim_cur = 10;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tight));
  uint32_t done = 0;
  PlatSetLastError(0);
  const bool written = PlatWrite(file, "0123456789abcdef", 16, &done);
  const uint32_t code = PlatGetLastError();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  PlatClose(file);
  EXPECT_FALSE(written);
  EXPECT_EQ(10u, done);
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_TOO_LARGE), code);
  EXPECT_NE(TextOf(ERROR_FILE_TOO_LARGE), TextOf(ERROR_DISK_FULL));
}

TEST(PlatErrnoCodes, EveryErrnoValueBecomesACodeWithAText) {
  for (int error = 1; error < 200; ++error) {
    const uint32_t code = PlatPosixCodeFromErrno(error);
    EXPECT_FALSE(TextOf(code).empty()) << "errno " << error << " -> " << code;
  }
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), PlatPosixCodeFromErrno(ENOENT));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), PlatPosixCodeFromErrno(EACCES));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_DISK_FULL), PlatPosixCodeFromErrno(ENOSPC));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_TOO_LARGE), PlatPosixCodeFromErrno(EFBIG));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_WRITE_PROTECT), PlatPosixCodeFromErrno(EROFS));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_SHARING_VIOLATION), PlatPosixCodeFromErrno(ETXTBSY));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_IO_DEVICE), PlatPosixCodeFromErrno(EIO));
}
#endif

TEST(PlatCurrentDirectory, IsReportedWithItsLength) {
  char buffer[PLAT_PATH_BUFFER];
  const uint32_t n = PlatGetCurrentDirectory(buffer, sizeof buffer);
  ASSERT_NE(0u, n);
  EXPECT_EQ(std::strlen(buffer), n);
  EXPECT_TRUE(PlatDirectoryExists(buffer));
}

TEST(PlatCurrentDirectory, ABufferTooSmallStaysEmpty) {
  char buffer[4];
  std::memset(buffer, 'x', sizeof buffer);
  PlatSetLastError(0);
  EXPECT_EQ(0u, PlatGetCurrentDirectory(buffer, 3));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ('x', buffer[3]);
  EXPECT_EQ(static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER), PlatGetLastError());
}

std::string Folded(const char* text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(PlatFoldCase(static_cast<unsigned char>(c)));
  return folded;
}

TEST(PlatCurrentDirectory, SetThenGet) {
  TempDir dir;
  char before[PLAT_PATH_BUFFER], now[PLAT_PATH_BUFFER], again[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetCurrentDirectory(before, sizeof before));
  ASSERT_TRUE(PlatCreateDirectory(In(dir, "Base").c_str()));
  ASSERT_TRUE(PlatSetCurrentDirectory(In(dir, "Base").c_str()));
  ASSERT_NE(0u, PlatGetCurrentDirectory(now, sizeof now));
  ASSERT_TRUE(PlatSetCurrentDirectory(".."));
  ASSERT_TRUE(PlatSetCurrentDirectory("base"));
  ASSERT_NE(0u, PlatGetCurrentDirectory(again, sizeof again));
  // Windows keeps the letter case given to the set; POSIX gives the stored one.
  EXPECT_EQ(Folded(now), Folded(again));
  EXPECT_EQ("BASE", Folded(now + std::strlen(now) - 4));
#if !defined(_WIN32)
  EXPECT_STREQ(now, again);
  EXPECT_EQ("Base", std::string(now + std::strlen(now) - 4));
#endif
  ASSERT_TRUE(PlatSetCurrentDirectory(before));
}

TEST(PlatModulePath, NamesTheRunningExecutable) {
  char path[PLAT_PATH_BUFFER];
  const uint32_t n = PlatGetModulePath(path, sizeof path);
  ASSERT_NE(0u, n);
  EXPECT_EQ(std::strlen(path), n);
  EXPECT_TRUE(PlatFileExists(path));
  const std::string text(path);
#if defined(_WIN32)
  EXPECT_NE(std::string::npos, text.find("oskelt_tests.exe"));
#else
  EXPECT_EQ('/', text[0]);
  EXPECT_NE(std::string::npos, text.find("oskelt_tests"));
#endif
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(0u, PlatGetModulePath(small, 6));
  EXPECT_EQ('\0', small[0]);
}

TEST(PlatExitProcessDeathTest, EndsAtOnceWithTheCodeAfterFlushingOutput) {
  // On Windows the dying child runs the test again from the start, so the file
  // is named after the executable, not after a temporary folder of its own.
  char module[PLAT_PATH_BUFFER];
  ASSERT_NE(0u, PlatGetModulePath(module, sizeof module));
  const std::string path = std::string(module) + ".exit-test.txt";
  std::remove(path.c_str());
  EXPECT_EXIT(
      {
        FILE* out = std::fopen(path.c_str(), "w");
        std::setvbuf(out, nullptr, _IOFBF, 4096);
        std::fputs("flushed", out);
        PlatExitProcess(3);
      },
      ::testing::ExitedWithCode(3), "");
  const Bytes written = ReadBytes(path);
  EXPECT_EQ("flushed", std::string(written.begin(), written.end()));
  std::remove(path.c_str());
}

}  // namespace
