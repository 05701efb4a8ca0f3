#include "TextureTestSupport.h"

#include "OskeltZtexUtil.h"
#include "Platform.h"

Conversion ConvertBytes(const TempDir& dir, const Bytes& ztex) {
  static int serial = 0;
  const std::string name = "texture" + std::to_string(++serial);
  const std::string input = dir.Path(name + "-C.TEX"), output = dir.Path(name + ".tga");
  Conversion result;
  if (!WriteBytes(input, ztex)) {
    ADD_FAILURE() << "cannot write " << input;
    return result;
  }
  const PlatFile in = PlatOpenRead(input.c_str());
  const PlatFile out = PlatCreateNew(output.c_str());
  if (in == PLAT_NO_FILE || out == PLAT_NO_FILE) {
    ADD_FAILURE() << "cannot open the files in " << dir.Path();
  } else {
    PlatSetLastError(0);
    result.Converted = ConvertZtexToTga(in, out);
    result.Code = PlatGetLastError();
  }
  if (in != PLAT_NO_FILE) PlatClose(in);
  if (out != PLAT_NO_FILE) PlatClose(out);
  result.Output = ReadBytes(output);
  return result;
}
