// DXT block decompression: DXT1 (with and without 1-bit alpha) and DXT2/DXT3
// into tightly packed BGR / BGRA pixel buffers, and the byte sizes of DXT
// images and their mip levels.
//
// Not supported: decoding DXT4 and DXT5 (interpolated alpha); they have sizes
// only. Colours expand by shifts (31 -> 248, 63 -> 252), not by replication.
#include "DecompDXTC.h"

#include <cstddef>
#include <cstring>

// Pixel column c of an index row byte: (row AND mask[c]) >> shift[c].
static const uint32_t DxtIndexMasks[4] = {0x03, 0x0C, 0x30, 0xC0};
static const uint32_t DxtIndexShifts[4] = {0, 2, 4, 6};
static_assert(sizeof(DxtIndexMasks) / sizeof(DxtIndexMasks[0]) == 4, "one mask per column");
static_assert(sizeof(DxtIndexShifts) / sizeof(DxtIndexShifts[0]) == 4, "one shift per column");

// Per DXTC type (index 0 unused): bytes per 4x4 block and decoded bytes per pixel.
static const uint32_t DxtcBlockBytes[7] = {0, 8, 8, 16, 16, 16, 16};
static const uint32_t DxtcPixelBytes[7] = {0, 3, 4, 4, 4, 4, 4};

// Replaces the alpha byte of a BGRA pixel and keeps blue, green and red.
static const uint32_t DXT_KEEP_COLOR = 0x00FFFFFF;

static bool Fail(uint32_t code) {
  PlatSetLastError(code);
  return false;
}

static uint32_t FailSize(uint32_t code) {
  PlatSetLastError(code);
  return 0;
}

static inline uint32_t Load16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

static inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

static inline void Store64(uint8_t* p, uint64_t v) {
  Store32(p, (uint32_t)v);
  Store32(p + 4, (uint32_t)(v >> 32));
}

static inline uint32_t PackBgra(uint32_t blue, uint32_t green, uint32_t red, uint32_t alpha) {
  return blue | green << 8 | red << 16 | alpha << 24;
}

// The four BGRA palette entries of a colour block. Both modes are computed
// and one is selected without a branch: to a branch predictor the mode of a
// block can be as good as random.
static inline void ExpandDxtColors(const uint8_t* colorBlock, bool allowThreeColor,
                                   uint32_t palette[4]) {
  const uint32_t c0 = Load16(colorBlock);
  const uint32_t c1 = Load16(colorBlock + 2);
  const uint32_t b0 = (c0 & 0x1F) << 3, g0 = ((c0 >> 5) & 0x3F) << 2, r0 = (c0 >> 11) << 3;
  const uint32_t b1 = (c1 & 0x1F) << 3, g1 = ((c1 >> 5) & 0x3F) << 2, r1 = (c1 >> 11) << 3;
  const uint32_t half = PackBgra((b0 + b1) / 2, (g0 + g1) / 2, (r0 + r1) / 2, 255);
  const uint32_t third0 = PackBgra((2 * b0 + b1) / 3, (2 * g0 + g1) / 3, (2 * r0 + r1) / 3, 255);
  const uint32_t third1 = PackBgra((b0 + 2 * b1) / 3, (g0 + 2 * g1) / 3, (r0 + 2 * r1) / 3, 255);
  const uint32_t three = 0u - (uint32_t)(allowThreeColor && c0 <= c1);
  palette[0] = PackBgra(b0, g0, r0, 255);
  palette[1] = PackBgra(b1, g1, r1, 255);
  palette[2] = (half & three) | (third0 & ~three);
  palette[3] = third1 & ~three;
}

// A whole 4x4 block is written row by row with one store per 8 bytes; a
// clipped block of the last column or row pixel by pixel.
static inline void WriteDxtBlock24(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, uint32_t stride, uint32_t color0,
                                   uint32_t color1, uint32_t color2, uint32_t color3) {
  const uint32_t palette[4] = {color0 & DXT_KEEP_COLOR, color1 & DXT_KEEP_COLOR,
                               color2 & DXT_KEEP_COLOR, color3 & DXT_KEEP_COLOR};
  const size_t rowBytes = (size_t)stride * 3;
  if (blockWidth == 4 && blockHeight == 4) {
    for (uint32_t r = 0; r < 4; ++r, target += rowBytes) {
      const uint32_t bits = colorBlock[4 + r];
      const uint64_t p0 = palette[(bits & DxtIndexMasks[0]) >> DxtIndexShifts[0]];
      const uint64_t p1 = palette[(bits & DxtIndexMasks[1]) >> DxtIndexShifts[1]];
      const uint64_t p2 = palette[(bits & DxtIndexMasks[2]) >> DxtIndexShifts[2]];
      const uint32_t p3 = palette[(bits & DxtIndexMasks[3]) >> DxtIndexShifts[3]];
      Store64(target, p0 | p1 << 24 | p2 << 48);
      Store32(target + 8, (uint32_t)(p2 >> 16) | p3 << 8);
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r, target += rowBytes) {
    const uint32_t bits = colorBlock[4 + r];
    uint8_t* pixel = target;
    for (uint32_t c = 0; c < blockWidth; ++c, pixel += 3) {
      const uint32_t p = palette[(bits & DxtIndexMasks[c]) >> DxtIndexShifts[c]];
      pixel[0] = (uint8_t)p;
      pixel[1] = (uint8_t)(p >> 8);
      pixel[2] = (uint8_t)(p >> 16);
    }
  }
}

static inline void WriteDxtBlock32(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, uint32_t stride, uint32_t color0,
                                   uint32_t color1, uint32_t color2, uint32_t color3) {
  const uint32_t palette[4] = {color0, color1, color2, color3};
  const size_t rowBytes = (size_t)stride * 4;
  if (blockWidth == 4 && blockHeight == 4) {
    // The entries as the bytes of a pixel; each pixel is then one 4-byte copy.
    uint8_t pixels[4][4];
    for (int i = 0; i < 4; ++i) Store32(pixels[i], palette[i]);
    for (uint32_t r = 0; r < 4; ++r, target += rowBytes) {
      const uint32_t bits = colorBlock[4 + r];
      std::memcpy(target, pixels[(bits & DxtIndexMasks[0]) >> DxtIndexShifts[0]], 4);
      std::memcpy(target + 4, pixels[(bits & DxtIndexMasks[1]) >> DxtIndexShifts[1]], 4);
      std::memcpy(target + 8, pixels[(bits & DxtIndexMasks[2]) >> DxtIndexShifts[2]], 4);
      std::memcpy(target + 12, pixels[(bits & DxtIndexMasks[3]) >> DxtIndexShifts[3]], 4);
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r, target += rowBytes) {
    const uint32_t bits = colorBlock[4 + r];
    uint8_t* pixel = target;
    for (uint32_t c = 0; c < blockWidth; ++c, pixel += 4)
      Store32(pixel, palette[(bits & DxtIndexMasks[c]) >> DxtIndexShifts[c]]);
  }
}

// The pixel as a little-endian 32-bit value, ANDed with keepMask, then ORed
// with alpha << 24; done byte by byte, so that with the usual mask only the
// alpha byte is stored.
static inline void ReplaceDxtAlpha(uint8_t* pixel, uint32_t keepMask, uint32_t alpha) {
  const uint32_t add = alpha << 24;
  for (int k = 0; k < 4; ++k)
    pixel[k] = (uint8_t)((pixel[k] & (keepMask >> (8 * k))) | (add >> (8 * k)));
}

// Alpha of pixel column c: bits 4c to 4c + 3 of the row's word, times 0x11.
static inline void ApplyDxtExplicitAlpha(uint8_t* target, const uint8_t* alphaBlock,
                                         uint32_t blockWidth, uint32_t blockHeight,
                                         uint32_t stride, uint32_t keepMask) {
  const size_t rowBytes = (size_t)stride * 4;
  for (uint32_t r = 0; r < blockHeight; ++r, target += rowBytes) {
    const uint32_t word = Load16(alphaBlock + 2 * r);
    uint8_t* pixel = target;
    for (uint32_t c = 0; c < blockWidth; ++c, pixel += 4)
      ReplaceDxtAlpha(pixel, keepMask, ((word >> (4 * c)) & 0xF) * 0x11);
  }
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

static inline uint32_t LastBlockExtent(uint32_t size) { return size % 4 == 0 ? 4 : size % 4; }

static bool DecompressDxt1To24(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 3)) return false;
  const uint32_t blocksX = (width - 1) / 4 + 1, blocksY = (height - 1) / 4 + 1;
  const uint32_t lastW = LastBlockExtent(width), lastH = LastBlockExtent(height);
  uint32_t palette[4];
  for (uint32_t by = 0; by < blocksY; ++by) {
    const uint32_t blockHeight = by == blocksY - 1 ? lastH : 4;
    uint8_t* pixel = target + (size_t)4 * by * width * 3;
    for (uint32_t bx = 0; bx < blocksX; ++bx, source += 8, pixel += 12) {
      ExpandDxtColors(source, true, palette);
      WriteDxtBlock24(pixel, source, bx == blocksX - 1 ? lastW : 4, blockHeight, width, palette[0],
                      palette[1], palette[2], palette[3]);
    }
  }
  return true;
}

static bool DecompressDxt1To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4)) return false;
  const uint32_t blocksX = (width - 1) / 4 + 1, blocksY = (height - 1) / 4 + 1;
  const uint32_t lastW = LastBlockExtent(width), lastH = LastBlockExtent(height);
  uint32_t palette[4];
  for (uint32_t by = 0; by < blocksY; ++by) {
    const uint32_t blockHeight = by == blocksY - 1 ? lastH : 4;
    uint8_t* pixel = target + (size_t)4 * by * width * 4;
    for (uint32_t bx = 0; bx < blocksX; ++bx, source += 8, pixel += 16) {
      ExpandDxtColors(source, true, palette);
      WriteDxtBlock32(pixel, source, bx == blocksX - 1 ? lastW : 4, blockHeight, width, palette[0],
                      palette[1], palette[2], palette[3]);
    }
  }
  return true;
}

static bool DecompressDxt3To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4)) return false;
  const uint32_t blocksX = (width - 1) / 4 + 1, blocksY = (height - 1) / 4 + 1;
  const uint32_t lastW = LastBlockExtent(width), lastH = LastBlockExtent(height);
  uint32_t palette[4];
  for (uint32_t by = 0; by < blocksY; ++by) {
    const uint32_t blockHeight = by == blocksY - 1 ? lastH : 4;
    uint8_t* pixel = target + (size_t)4 * by * width * 4;
    for (uint32_t bx = 0; bx < blocksX; ++bx, source += 16, pixel += 16) {
      const uint32_t blockWidth = bx == blocksX - 1 ? lastW : 4;
      ExpandDxtColors(source + 8, false, palette);
      WriteDxtBlock32(pixel, source + 8, blockWidth, blockHeight, width, palette[0], palette[1],
                      palette[2], palette[3]);
      ApplyDxtExplicitAlpha(pixel, source, blockWidth, blockHeight, width, DXT_KEEP_COLOR);
    }
  }
  return true;
}

Bool32 DecompressDxtc(uint32_t width, uint32_t height, uint32_t dxtcType, const void* source,
                      void* target, uint32_t targetSize) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr) {
    PlatSetLastError(ERROR_INVALID_PARAMETER);
    return BOOL32_FALSE;
  }
  const uint8_t* blocks = static_cast<const uint8_t*>(source);
  uint8_t* pixels = static_cast<uint8_t*>(target);
  bool decoded;
  switch (dxtcType) {
    case DXTC_DXT1:
      decoded = DecompressDxt1To24(width, height, blocks, pixels, targetSize);
      break;
    case DXTC_DXT1A:
      decoded = DecompressDxt1To32(width, height, blocks, pixels, targetSize);
      break;
    case DXTC_DXT2:
    case DXTC_DXT3:
      decoded = DecompressDxt3To32(width, height, blocks, pixels, targetSize);
      break;
    case DXTC_DXT4:
    case DXTC_DXT5:
      PlatSetLastError(ERROR_CALL_NOT_IMPLEMENTED);
      return BOOL32_FALSE;
    default:
      PlatSetLastError(ERROR_INVALID_PIXEL_FORMAT);
      return BOOL32_FALSE;
  }
  return decoded ? BOOL32_TRUE : BOOL32_FALSE;
}

// Dimensions of mip level (level mod 32), or false with 87 when a dimension
// is zero or not a multiple of 2 to that power.
static bool GetDxtcLevelDimensions(uint32_t width, uint32_t height, uint32_t level,
                                   uint32_t* levelWidth, uint32_t* levelHeight) {
  if (width == 0 || height == 0) return Fail(ERROR_INVALID_PARAMETER);
  const uint32_t shift = level % 32;
  *levelWidth = width >> shift;
  *levelHeight = height >> shift;
  if (*levelWidth << shift != width || *levelHeight << shift != height)
    return Fail(ERROR_INVALID_PARAMETER);
  return true;
}

static inline bool IsDxtcType(uint32_t dxtcType) {
  return dxtcType >= DXTC_DXT1 && dxtcType <= DXTC_DXT5;
}

// A byte count that does not fit in 32 bits is refused rather than wrapped.
static uint32_t FitSize(uint64_t bytes) {
  if (bytes > UINT32_MAX) return FailSize(ERROR_INVALID_PARAMETER);
  return (uint32_t)bytes;
}

uint32_t GetDxtcCompressedSize(uint32_t width, uint32_t height, uint32_t dxtcType,
                               uint32_t level) {
  uint32_t w, h;
  if (!GetDxtcLevelDimensions(width, height, level, &w, &h)) return 0;
  if (!IsDxtcType(dxtcType)) return FailSize(ERROR_INVALID_PIXEL_FORMAT);
  const uint64_t blocks = (uint64_t)((w - 1) / 4 + 1) * ((h - 1) / 4 + 1);
  return FitSize(blocks * DxtcBlockBytes[dxtcType]);
}

uint32_t GetDxtcDecodedSize(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t level) {
  uint32_t w, h;
  if (!GetDxtcLevelDimensions(width, height, level, &w, &h)) return 0;
  if (!IsDxtcType(dxtcType)) return FailSize(ERROR_INVALID_PIXEL_FORMAT);
  return FitSize((uint64_t)w * h * DxtcPixelBytes[dxtcType]);
}
