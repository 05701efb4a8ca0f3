// Helpers of the batch-run and dialog tests: a base directory in a temporary
// folder with real textures, a folder map and the recording front end.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "TestSupport.h"

// Puts every process-wide flag, counter and table back to its start value.
void ResetProgramState();

// The expected log line of an error with the platform's text of code.
std::string ErrorLine(const std::string& text, uint32_t code);
// The summary that closes a run.
std::string Summary(uint32_t processed, uint32_t skipped, uint32_t errors);

class BaseDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A decodable texture _compiled\<name> (DXT1 unless told otherwise).
  void Texture(const std::string& name, uint32_t format = 10, uint32_t width = 8,
               uint32_t height = 4, uint32_t mips = 1);
  // A file that is not a texture at all.
  void Broken(const std::string& name);
  // Writes an INI file into the base directory and loads it as the map.
  void Map(const std::string& ini);
  // The log pane's text with "\r\n" as "\n".
  std::string Log() const;

  TempDir base;
};
