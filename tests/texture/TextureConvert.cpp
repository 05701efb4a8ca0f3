// texture_convert INPUT OUTPUT: one ZTEX file into a new TGA file, for the
// tests that hand the result to other programs. Exit code 0 on success;
// otherwise 1, the last-error code on stderr and no output file.
#include <cstdio>

#include "OskeltZtexConvert.h"
#include "Platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: texture_convert INPUT OUTPUT\n");
    return 2;
  }
  const PlatFile input = PlatOpenRead(argv[1]);
  if (input == PLAT_NO_FILE) {
    std::fprintf(stderr, "%s: error %u\n", argv[1], PlatGetLastError());
    return 1;
  }
  const PlatFile output = PlatCreateNew(argv[2]);
  if (output == PLAT_NO_FILE) {
    std::fprintf(stderr, "%s: error %u\n", argv[2], PlatGetLastError());
    PlatClose(input);
    return 1;
  }
  const bool converted = ConvertZtexToTga(input, output);
  const uint32_t code = PlatGetLastError();
  PlatClose(input);
  PlatClose(output);
  if (converted) return 0;
  PlatDeleteFile(argv[2]);
  std::fprintf(stderr, "%s: error %u\n", argv[1], code);
  return 1;
}
