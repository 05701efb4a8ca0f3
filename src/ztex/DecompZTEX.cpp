// Size rules of ZTEX mip levels and the decoders of the ZTEX pixel formats.
//
// 4-bit channels expand by 17 (15 -> 255), 5- and 6-bit channels by 8 and 4
// without replicating their high bits (31 -> 248, 63 -> 252). ZTEX_DXT5 has
// size rules but no decoder.
#include "DecompZTEX.h"

#include <cstddef>
#include <cstring>

#include "DecompDXTC.h"

// TGA pixel depth per format code, ZTEX_A4R4G4B4 (6) to ZTEX_DXT5 (13).
static const uint32_t ZtexOutputBits[8] = {32, 32, 24, 32, 24, 32, 32, 32};
static_assert(sizeof(ZtexOutputBits) / sizeof(ZtexOutputBits[0]) == ZTEX_DXT5 - ZTEX_A4R4G4B4 + 1,
              "one depth per supported format code");

static bool Fail(uint32_t code) {
  PlatSetLastError(code);
  return false;
}

static uint32_t FailSize(uint32_t code) {
  PlatSetLastError(code);
  return 0;
}

uint32_t ZtexToDxtcType(uint32_t format) {
  switch (format) {
    case ZTEX_DXT1:
      return DXTC_DXT1;
    case ZTEX_DXT1A:
      return DXTC_DXT1A;
    case ZTEX_DXT3:
      return DXTC_DXT3;
    case ZTEX_DXT5:
      return DXTC_DXT5;
    default:
      return 0;
  }
}

// Dimensions of mip level (level mod 32) of the texture, or false with 87
// when a level-0 dimension is zero or not a multiple of 2 to that power.
static bool ApplyLevelRule(const ZtexHeader& header, uint32_t level, uint32_t* levelWidth,
                           uint32_t* levelHeight) {
  if (header.Width == 0 || header.Height == 0) return Fail(ERROR_INVALID_PARAMETER);
  const uint32_t shift = level % 32;
  *levelWidth = header.Width >> shift;
  *levelHeight = header.Height >> shift;
  if (*levelWidth << shift != header.Width || *levelHeight << shift != header.Height)
    return Fail(ERROR_INVALID_PARAMETER);
  return true;
}

// A byte count that does not fit in 32 bits is refused rather than wrapped.
static uint32_t FitSize(uint64_t bytes) {
  if (bytes > UINT32_MAX) return FailSize(ERROR_INVALID_PARAMETER);
  return (uint32_t)bytes;
}

uint32_t GetZtexLevelSize(ZtexHeader header, uint32_t level) {
  uint32_t w, h;
  if (!ApplyLevelRule(header, level, &w, &h)) return 0;
  switch (header.Format) {
    case ZTEX_A4R4G4B4:
    case ZTEX_A1R5G5B5:
    case ZTEX_R5G6B5:
      return FitSize((uint64_t)w * h * 2);
    case ZTEX_A8R8G8B8:
      return FitSize((uint64_t)w * h * 4);
    case ZTEX_DXT1:
    case ZTEX_DXT1A:
    case ZTEX_DXT3:
    case ZTEX_DXT5:
      return GetDxtcCompressedSize(header.Width, header.Height, ZtexToDxtcType(header.Format),
                                   level);
    default:
      return FailSize(ERROR_INVALID_PARAMETER);
  }
}

uint32_t GetZtexDecodedSize(ZtexHeader header, uint32_t level) {
  uint32_t w, h;
  if (!ApplyLevelRule(header, level, &w, &h)) return 0;
  switch (header.Format) {
    case ZTEX_A4R4G4B4:
    case ZTEX_A1R5G5B5:
    case ZTEX_A8R8G8B8:
      return FitSize((uint64_t)w * h * 4);
    case ZTEX_R5G6B5:
      return FitSize((uint64_t)w * h * 3);
    case ZTEX_DXT1:
    case ZTEX_DXT1A:
    case ZTEX_DXT3:
    case ZTEX_DXT5:
      return GetDxtcDecodedSize(header.Width, header.Height, ZtexToDxtcType(header.Format), level);
    default:
      return FailSize(ERROR_INVALID_PIXEL_FORMAT);
  }
}

uint32_t GetZtexOutputBits(ZtexHeader header) {
  if (header.Format - ZTEX_A4R4G4B4 > 7) return FailSize(ERROR_INVALID_PIXEL_FORMAT);
  return ZtexOutputBits[header.Format - ZTEX_A4R4G4B4];
}

// ---------------------------------------------------------------------------
// Decoders of the uncompressed formats: source pixel i becomes target pixel i.

// Width and height non-zero, pointers set and the target large enough, or
// false with the last-error code set; the product is taken in 64 bits. On
// success *pixels is the pixel count, which fits in 32 bits.
static bool CheckDecodeArguments(uint32_t width, uint32_t height, const void* source,
                                 const void* target, uint32_t targetSize, uint32_t pixelBytes,
                                 uint32_t* pixels) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  const uint64_t count = (uint64_t)width * height;
  if (count * pixelBytes > targetSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
  *pixels = (uint32_t)count;
  return true;
}

static inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

static bool DecodeA4R4G4B4(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize) {
  uint32_t count;
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4, &count)) return false;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  uint8_t* t = static_cast<uint8_t*>(target);
  for (uint32_t i = 0; i < count; ++i, s += 2, t += 4) {
    const uint32_t w = (uint32_t)s[0] | (uint32_t)s[1] << 8;
    // One nibble per byte, then each byte times 17 (x | x << 4: no carries).
    const uint32_t n = (w & 0xF) | (w & 0xF0) << 4 | (w & 0xF00) << 8 | (w & 0xF000) << 12;
    Store32(t, n | n << 4);
  }
  return true;
}

static bool DecodeA1R5G5B5(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize) {
  uint32_t count;
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4, &count)) return false;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  uint8_t* t = static_cast<uint8_t*>(target);
  for (uint32_t i = 0; i < count; ++i, s += 2, t += 4) {
    const uint32_t w = (uint32_t)s[0] | (uint32_t)s[1] << 8;
    const uint32_t alpha = (w & 0x8000) ? 0xFF000000u : 0;
    Store32(t, (w & 0x1F) << 3 | (w & 0x3E0) << 6 | (w & 0x7C00) << 9 | alpha);
  }
  return true;
}

static bool DecodeR5G6B5(uint32_t width, uint32_t height, const void* source, void* target,
                         uint32_t targetSize) {
  uint32_t count;
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 3, &count)) return false;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  uint8_t* t = static_cast<uint8_t*>(target);
  for (uint32_t i = 0; i < count; ++i, s += 2, t += 3) {
    const uint32_t w = (uint32_t)s[0] | (uint32_t)s[1] << 8;
    t[0] = (uint8_t)((w & 0x1F) << 3);
    t[1] = (uint8_t)(((w >> 5) & 0x3F) << 2);
    t[2] = (uint8_t)((w >> 11) << 3);
  }
  return true;
}

// The stored byte order of a 32-bit pixel already is blue, green, red, alpha.
static bool DecodeA8R8G8B8(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize) {
  uint32_t count;
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4, &count)) return false;
  std::memcpy(target, source, (size_t)count * 4);
  return true;
}

Bool32 DecodeZtexPixels(ZtexHeader header, const void* source, void* target,
                        uint32_t targetSize) {
  if (source == nullptr || target == nullptr) return BOOL32_FALSE;
  bool decoded;
  switch (header.Format) {
    case ZTEX_A4R4G4B4:
      decoded = DecodeA4R4G4B4(header.Width, header.Height, source, target, targetSize);
      break;
    case ZTEX_A1R5G5B5:
      decoded = DecodeA1R5G5B5(header.Width, header.Height, source, target, targetSize);
      break;
    case ZTEX_R5G6B5:
      decoded = DecodeR5G6B5(header.Width, header.Height, source, target, targetSize);
      break;
    case ZTEX_A8R8G8B8:
      decoded = DecodeA8R8G8B8(header.Width, header.Height, source, target, targetSize);
      break;
    case ZTEX_DXT1:
    case ZTEX_DXT1A:
    case ZTEX_DXT3:
    case ZTEX_DXT5:
      return DecompressDxtc(header.Width, header.Height, ZtexToDxtcType(header.Format), source,
                            target, targetSize);
    default:
      PlatSetLastError(ERROR_INVALID_PARAMETER);
      return BOOL32_FALSE;
  }
  return decoded ? BOOL32_TRUE : BOOL32_FALSE;
}
