#include "AppTestSupport.h"

#include <filesystem>

#include "OskeltZtexGlob.h"
#include "OskeltZtexHint.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"
#include "ZtexWriter.h"

namespace fs = std::filesystem;

void ResetProgramState() {
  WorkInProgress = false;
  CommandLineMode = false;
  HadErrors = false;
  AutoStartTimer = AUTO_START_TIMER_ID;
  ResetCounters();
  LogToStandardOutput(false);
  FreeFolderMap();
  LastMatch = 0;
  ToolTipWindow = nullptr;
  ParamCount = 0;
  ParamList = nullptr;
}

std::string ErrorLine(const std::string& text, uint32_t code) {
  char message[256];
  uint32_t n = PlatGetErrorText(code, message, sizeof message);
  if (n > 255) n = 255;
  message[n] = '\0';
  for (uint32_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(message[i]) < 0x21) message[i] = ' ';
  return "ERROR: " + text + " (" + message + ")\n";
}

std::string Summary(uint32_t processed, uint32_t skipped, uint32_t errors) {
  return "\n\nSummary:\n  Processed: " + std::to_string(processed) +
         "\n  Skipped: " + std::to_string(skipped) + "\n  Errors: " + std::to_string(errors) +
         "\n";
}

void BaseDirTest::SetUp() {
  base.Enter();
  fs::create_directory("_compiled");
  ResetProgramState();
  InstallRecordingHost();
}

void BaseDirTest::TearDown() { ResetProgramState(); }

void BaseDirTest::Texture(const std::string& name, uint32_t format, uint32_t width,
                          uint32_t height, uint32_t mips) {
  RgbaImage image;
  ASSERT_TRUE(MakePattern("quadrants", width, height, 1, &image));
  ByteVector bytes;
  ASSERT_TRUE(BuildZtexFile(format, image, mips, &bytes));
  ASSERT_TRUE(WriteBytes(base.Path("_compiled/" + name), bytes));
}

void BaseDirTest::Broken(const std::string& name) {
  ASSERT_TRUE(WriteText(base.Path("_compiled/" + name), "this is no texture at all, just text"));
}

void BaseDirTest::Map(const std::string& ini) {
  ASSERT_TRUE(WriteText(base.Path("map.ini"), ini));
  ASSERT_TRUE(LoadFolderMapFrom(base.Path("map.ini").c_str()));
}

std::string BaseDirTest::Log() const {
  std::string text;
  for (size_t i = 0; i < Rec.log.size(); ++i) {
    if (Rec.log[i] == '\r' && i + 1 < Rec.log.size() && Rec.log[i + 1] == '\n') continue;
    text += Rec.log[i];
  }
  return text;
}
