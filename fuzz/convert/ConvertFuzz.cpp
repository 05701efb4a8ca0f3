// libFuzzer target: arbitrary bytes as a ZTEX file, converted from memory
// into memory. Besides the sanitizers it checks what the conversion promises
// about its output, against a decoding that does not stream: on success the
// TGA image equals the whole of level 0 decoded top down, its rows reversed
// by FlipRows, between the TGA header and footer; on failure nothing went
// out (the memory sink never fails and every refusal of the input comes
// before the first byte).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DecompZTEX.h"
#include "OskeltZtexConvert.h"
#include "Platform.h"
#include "ZTEX.h"

namespace {

typedef std::vector<uint8_t> Bytes;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool AppendToBytes(void* context, const void* bytes, uint32_t size) {
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  Bytes* to = static_cast<Bytes*>(context);
  to->insert(to->end(), from, from + size);
  return true;
}

// The image of a converted texture, decoded whole.
Bytes WholeImageTga(const uint8_t* data, size_t size) {
  ZtexHeader header;
  ReadZtexHeader(data, &header);
  uint64_t at = ZTEX_HEADER_SIZE;
  const uint32_t firstLevel = ((header.MipMapCount & 0xFFFF) - 1) & 0xFFFF;
  for (uint32_t level = firstLevel; level >= 1; --level) at += GetZtexLevelSize(header, level);
  const uint32_t stored = GetZtexLevelSize(header, 0);
  const uint32_t decoded = GetZtexDecodedSize(header, 0);
  const uint32_t depth = GetZtexOutputBits(header);
  Check(stored != 0 && decoded != 0 && depth != 0 && at + stored <= size);
  Bytes tga(18 + static_cast<size_t>(decoded) + 26, 0);
  uint8_t* pixels = tga.data() + 18;
  Check(DecodeZtexPixels(header, data + at, pixels, decoded) != 0);
  Check(FlipRows(header.Height, decoded, pixels));
  const uint8_t frame[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             static_cast<uint8_t>(header.Width), static_cast<uint8_t>(header.Width >> 8),
                             static_cast<uint8_t>(header.Height), static_cast<uint8_t>(header.Height >> 8),
                             static_cast<uint8_t>(depth), static_cast<uint8_t>(depth - 24)};
  std::memcpy(tga.data(), frame, sizeof frame);
  std::memcpy(tga.data() + 18 + decoded + 8, "TRUEVISION-XFILE.", 18);
  return tga;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes output;
  const TgaSink sink = {AppendToBytes, &output};
  const bool converted = ConvertZtexMemoryToTga(data, size, sink);
  if (!converted) {
    Check(output.empty());
    return 0;
  }
  Check(output == WholeImageTga(data, size));
  return 0;
}
