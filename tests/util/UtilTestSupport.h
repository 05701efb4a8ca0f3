// Helpers of the path, folder-map and log tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"
#include "TestSupport.h"

// A path buffer of PLAT_PATH_BUFFER bytes followed by guard bytes that no
// routine may touch.
struct GuardedPath {
  static constexpr size_t GUARD = 64;
  static constexpr char FILL = 0x5A;
  GuardedPath() : bytes(PLAT_PATH_BUFFER + GUARD, FILL) {}
  explicit GuardedPath(const std::string& text) : GuardedPath() { Set(text); }
  void Set(const std::string& text) {
    bytes.assign(PLAT_PATH_BUFFER + GUARD, FILL);
    text.copy(bytes.data(), PLAT_PATH_BUFFER - 1);
    bytes[text.size() < PLAT_PATH_BUFFER ? text.size() : PLAT_PATH_BUFFER - 1] = '\0';
  }
  char* data() { return bytes.data(); }
  std::string str() const { return std::string(bytes.data()); }
  bool GuardIntact() const {
    for (size_t i = PLAT_PATH_BUFFER; i < bytes.size(); ++i)
      if (bytes[i] != FILL) return false;
    return true;
  }
  std::vector<char> bytes;
};

// A path below dir as the system writes it: dir's native path, a backslash,
// rel (which may hold backslashes).
inline std::string Below(const TempDir& dir, const std::string& rel) {
  return dir.root + "\\" + rel;
}

inline uint32_t LastError() { return PlatGetLastError(); }

// The platform's text for code as the log shows it: every character below
// 0x21 a space.
inline std::string ShownErrorText(uint32_t code) {
  char text[256];
  uint32_t n = PlatGetErrorText(code, text, sizeof text);
  if (n > 255) n = 255;
  std::string shown(text, n);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x21) c = ' ';
  return shown;
}
