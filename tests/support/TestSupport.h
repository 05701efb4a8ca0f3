// Helpers shared by the tests: real temporary folders and real files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// A fresh, empty folder below the system's temporary folder, removed again
// (with everything in it) when the object goes out of scope. While it lives
// the test may make it the current directory; the destructor restores the
// directory that was current when the folder was made.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Native path of the folder (or of name inside it).
  std::string Path(const std::string& name = std::string()) const;
  // Makes the folder the process's current directory.
  void Enter() const;

  std::string root;
  std::string previous;
};

bool WriteBytes(const std::string& path, const Bytes& data);
bool WriteText(const std::string& path, const std::string& text);
Bytes ReadBytes(const std::string& path);  // empty when missing
bool PathExists(const std::string& path);
// Names in a folder (files and folders), sorted byte-wise.
std::vector<std::string> ListDir(const std::string& path);

// True in a Windows build that runs under Wine, which differs from Windows in
// a few file-system details (e.g. a rename onto the same name in other letter
// case keeps the stored case).
bool RunningUnderWine();
