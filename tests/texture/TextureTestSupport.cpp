#include "TextureTestSupport.h"

#include "OskeltZtexConvert.h"
#include "Platform.h"

static bool AppendToBytes(void* context, const void* bytes, uint32_t size) {
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), from, from + size);
  return true;
}

TgaSink SinkInto(Bytes* bytes) { return TgaSink{AppendToBytes, bytes}; }

Conversion ConvertBytes(const Bytes& ztex, ConvertContext* context) {
  Conversion result;
  const TgaSink sink = SinkInto(&result.Output);
  PlatSetLastError(0);
  result.Converted = ConvertZtexMemoryToTga(ztex.data(), ztex.size(), sink, context);
  result.Code = PlatGetLastError();
  return result;
}
