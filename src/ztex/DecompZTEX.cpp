// Size rules of ZTEX mip levels and the decoders of the ZTEX pixel formats.
//
// 4-bit channels expand by 17 (15 -> 255), 5- and 6-bit channels by 8 and 4
// without replicating their high bits (31 -> 248, 63 -> 252). ZTEX_DXT5 has
// size rules but no decoder.
#include "DecompZTEX.h"

#include <cstddef>
#include <cstring>

#include "DecompDXTC.h"
#include "LittleEndian.h"

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
// Decoders of the uncompressed formats: source pixel i becomes target pixel i,
// the rows going into the target from the top or from the bottom up.

// Decodes one row of `width` pixels.
typedef void (*RowDecoder)(const uint8_t* source, uint8_t* target, uint32_t width);

// Two words side by side in the 32-bit lanes of a 64-bit value.
static inline uint64_t LoadWordPair(const uint8_t* p) {
  return (uint64_t)Load16(p) | (uint64_t)Load16(p + 2) << 32;
}

// Nibble k of the two words to byte k, then each byte times 17 (n | n << 4:
// no carries): two BGRA pixels.
static inline uint64_t ExpandA4R4G4B4Pair(uint64_t words) {
  uint64_t n = (words | words << 8) & 0x00FF00FF00FF00FFull;
  n = (n | n << 4) & 0x0F0F0F0F0F0F0F0Full;
  return n | n << 4;
}

static void DecodeA4R4G4B4Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 2 <= width; x += 2)
    Store64(target + 4 * x, ExpandA4R4G4B4Pair(LoadWordPair(source + 2 * x)));
  if (x < width) Store32(target + 4 * x, (uint32_t)ExpandA4R4G4B4Pair(Load16(source + 2 * x)));
}

// Fields times 8; alpha 255 when bit 15 is set: two BGRA pixels.
static inline uint64_t ExpandA1R5G5B5Pair(uint64_t words) {
  const uint64_t alpha = ((words >> 15) & 0x0000000100000001ull) * 0xFF000000ull;
  return (words & 0x0000001F0000001Full) << 3 | (words & 0x000003E0000003E0ull) << 6 |
         (words & 0x00007C0000007C00ull) << 9 | alpha;
}

static void DecodeA1R5G5B5Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 2 <= width; x += 2)
    Store64(target + 4 * x, ExpandA1R5G5B5Pair(LoadWordPair(source + 2 * x)));
  if (x < width) Store32(target + 4 * x, (uint32_t)ExpandA1R5G5B5Pair(Load16(source + 2 * x)));
}

static inline uint32_t ExpandR5G6B5(uint32_t w) {
  return (w & 0x1F) << 3 | (w & 0x7E0) << 5 | (w & 0xF800) << 8;
}

// Four pixels (12 bytes) at a time, the rest one by one.
static void DecodeR5G6B5Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const uint64_t p0 = ExpandR5G6B5(Load16(source + 2 * x));
    const uint64_t p1 = ExpandR5G6B5(Load16(source + 2 * x + 2));
    const uint64_t p2 = ExpandR5G6B5(Load16(source + 2 * x + 4));
    const uint32_t p3 = ExpandR5G6B5(Load16(source + 2 * x + 6));
    Store64(target + 3 * x, p0 | p1 << 24 | p2 << 48);
    Store32(target + 3 * x + 8, (uint32_t)(p2 >> 16) | p3 << 8);
  }
  for (; x < width; ++x) {
    const uint32_t p = ExpandR5G6B5(Load16(source + 2 * x));
    target[3 * x] = (uint8_t)p;
    target[3 * x + 1] = (uint8_t)(p >> 8);
    target[3 * x + 2] = (uint8_t)(p >> 16);
  }
}

// The stored byte order of a 32-bit pixel already is blue, green, red, alpha.
static void DecodeA8R8G8B8Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  std::memcpy(target, source, (size_t)width * 4);
}

// Width and height non-zero, pointers set and the target large enough, or
// false with the last-error code set; the product is taken in 64 bits.
static bool CheckDecodeArguments(uint32_t width, uint32_t height, const void* source,
                                 const void* target, uint32_t targetSize, uint32_t pixelBytes) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr)
    return Fail(ERROR_INVALID_PARAMETER);
  if ((uint64_t)width * height * pixelBytes > targetSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return true;
}

// The checks and the row walk shared by the decoders.
static bool DecodeRows(uint32_t width, uint32_t height, const void* source, void* target,
                       uint32_t targetSize, uint32_t sourceBytes, uint32_t pixelBytes,
                       RowDecoder decodeRow, bool bottomUp) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, pixelBytes)) return false;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  uint8_t* t = static_cast<uint8_t*>(target);
  const size_t sourceRow = (size_t)width * sourceBytes, targetRow = (size_t)width * pixelBytes;
  for (uint32_t y = 0; y < height; ++y)
    decodeRow(s + y * sourceRow, t + (bottomUp ? height - 1 - y : y) * targetRow, width);
  return true;
}

static bool DecodeA4R4G4B4(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize, bool bottomUp) {
  return DecodeRows(width, height, source, target, targetSize, 2, 4, DecodeA4R4G4B4Row, bottomUp);
}

static bool DecodeA1R5G5B5(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize, bool bottomUp) {
  return DecodeRows(width, height, source, target, targetSize, 2, 4, DecodeA1R5G5B5Row, bottomUp);
}

static bool DecodeR5G6B5(uint32_t width, uint32_t height, const void* source, void* target,
                         uint32_t targetSize, bool bottomUp) {
  return DecodeRows(width, height, source, target, targetSize, 2, 3, DecodeR5G6B5Row, bottomUp);
}

// Top down, the whole image is one block move.
static bool DecodeA8R8G8B8(uint32_t width, uint32_t height, const void* source, void* target,
                           uint32_t targetSize, bool bottomUp) {
  if (bottomUp)
    return DecodeRows(width, height, source, target, targetSize, 4, 4, DecodeA8R8G8B8Row, true);
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4)) return false;
  std::memcpy(target, source, (size_t)width * height * 4);
  return true;
}

static Bool32 DecodeZtexRows(const ZtexHeader& header, const void* source, void* target,
                             uint32_t targetSize, bool bottomUp) {
  if (source == nullptr || target == nullptr) return BOOL32_FALSE;
  const uint32_t w = header.Width, h = header.Height;
  bool decoded;
  switch (header.Format) {
    case ZTEX_A4R4G4B4:
      decoded = DecodeA4R4G4B4(w, h, source, target, targetSize, bottomUp);
      break;
    case ZTEX_A1R5G5B5:
      decoded = DecodeA1R5G5B5(w, h, source, target, targetSize, bottomUp);
      break;
    case ZTEX_R5G6B5:
      decoded = DecodeR5G6B5(w, h, source, target, targetSize, bottomUp);
      break;
    case ZTEX_A8R8G8B8:
      decoded = DecodeA8R8G8B8(w, h, source, target, targetSize, bottomUp);
      break;
    case ZTEX_DXT1:
    case ZTEX_DXT1A:
    case ZTEX_DXT3:
    case ZTEX_DXT5:
      return bottomUp ? DecompressDxtcBottomUp(w, h, ZtexToDxtcType(header.Format), source,
                                               target, targetSize)
                      : DecompressDxtc(w, h, ZtexToDxtcType(header.Format), source, target,
                                       targetSize);
    default:
      PlatSetLastError(ERROR_INVALID_PARAMETER);
      return BOOL32_FALSE;
  }
  return decoded ? BOOL32_TRUE : BOOL32_FALSE;
}

Bool32 DecodeZtexPixels(ZtexHeader header, const void* source, void* target,
                        uint32_t targetSize) {
  return DecodeZtexRows(header, source, target, targetSize, false);
}

Bool32 DecodeZtexPixelsBottomUp(ZtexHeader header, const void* source, void* target,
                                uint32_t targetSize) {
  return DecodeZtexRows(header, source, target, targetSize, true);
}
