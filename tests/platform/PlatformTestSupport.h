// Helpers of the operating-system layer's tests.
#pragma once

#include <string>

#include "Platform.h"
#include "TestSupport.h"

// A path below the folder built the way the system builds paths: with
// backslashes (rel may hold backslashes too).
inline std::string In(const TempDir& dir, const std::string& rel) { return dir.root + "\\" + rel; }

// The whole rest of an open file, read in small pieces.
inline std::string ReadRest(PlatFile file) {
  std::string text;
  char chunk[7];
  uint32_t done = 0;
  while (PlatRead(file, chunk, sizeof chunk, &done) && done > 0) text.append(chunk, done);
  return text;
}

// The content of the file at path, opened through the layer; "(none)" when
// it does not open.
inline std::string ContentOf(const std::string& path) {
  const PlatFile file = PlatOpenRead(path.c_str());
  if (file == PLAT_NO_FILE) return "(none)";
  const std::string text = ReadRest(file);
  PlatClose(file);
  return text;
}
