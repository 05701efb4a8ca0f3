// libFuzzer target: arbitrary bytes as a ZTEX file, converted into a new TGA
// file through the real file layer. Besides the sanitizers it checks what
// the conversion promises about its output: the complete TGA file of the
// header's size on success, an empty file on failure (no write fails here).
#include <cstdint>
#include <cstdlib>
#include <stdlib.h>  // mkdtemp
#include <filesystem>
#include <string>

#include "DecompZTEX.h"
#include "OskeltZtexUtil.h"
#include "Platform.h"
#include "ZTEX.h"

namespace {

struct FuzzFolder {
  FuzzFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "oskelt-fuzz-XXXXXX").string();
    path = mkdtemp(&pattern[0]) ? pattern : std::string();
  }
  ~FuzzFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
    FreeConversionBuffers();
  }
  std::string path;
};

const FuzzFolder& Folder() {
  static FuzzFolder folder;
  return folder;
}

uint64_t SizeOf(PlatFile file) {
  uint64_t size = 0;
  if (!PlatGetFileSize(file, &size)) std::abort();
  return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (Folder().path.empty() || size > UINT32_MAX) return 0;
  const std::string input = Folder().path + "/input-C.TEX";
  const std::string output = Folder().path + "/output.tga";

  const PlatFile writer = PlatCreateNew(input.c_str());
  if (writer == PLAT_NO_FILE) std::abort();
  uint32_t done = 0;
  if (size > 0 && (!PlatWrite(writer, data, (uint32_t)size, &done) || done != size)) std::abort();
  PlatClose(writer);

  const PlatFile in = PlatOpenRead(input.c_str());
  const PlatFile out = PlatCreateNew(output.c_str());
  if (in == PLAT_NO_FILE || out == PLAT_NO_FILE) std::abort();
  const bool converted = ConvertZtexToTga(in, out);
  const uint64_t written = SizeOf(out);
  PlatClose(in);
  PlatClose(out);

  if (converted) {
    ZtexHeader header;
    ReadZtexHeader(data, &header);  // a conversion succeeds only with 36 bytes or more
    const uint64_t expected = 18 + (uint64_t)GetZtexDecodedSize(header, 0) + 26;
    if (written != expected) std::abort();
  } else if (written != 0) {
    std::abort();
  }
  PlatDeleteFile(input.c_str());
  PlatDeleteFile(output.c_str());
  return 0;
}
