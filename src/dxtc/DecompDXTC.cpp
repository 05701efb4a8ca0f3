// DXT block decompression: DXT1 (with and without 1-bit alpha) and DXT2/DXT3
// into tightly packed BGR / BGRA pixel buffers, rows from the top or, for a
// TGA file, from the bottom; and the byte sizes of DXT images and their mip
// levels.
//
// Not supported: decoding DXT4 and DXT5 (interpolated alpha); they have sizes
// only. Colours expand by shifts (31 -> 248, 63 -> 252), not by replication.
#include "DecompDXTC.h"
#include "LittleEndian.h"

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

static inline uint32_t DxtIndex(uint32_t rowBits, uint32_t column) {
  return (rowBits & DxtIndexMasks[column]) >> DxtIndexShifts[column];
}

// The stride is the distance from one pixel row to the next in pixels,
// negative when the rows go into the target from the bottom up. A whole 4x4
// block is written a row at a time in wide stores of neighbouring pairs (the
// 16 pairs of the palette are built once per block); a clipped block of the
// last column or row pixel by pixel.
static inline void WriteDxtBlock24(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, ptrdiff_t stride, uint32_t color0,
                                   uint32_t color1, uint32_t color2, uint32_t color3) {
  const uint64_t palette[4] = {color0 & DXT_KEEP_COLOR, color1 & DXT_KEEP_COLOR,
                               color2 & DXT_KEEP_COLOR, color3 & DXT_KEEP_COLOR};
  const ptrdiff_t rowBytes = stride * 3;
  if (blockWidth == 4 && blockHeight == 4) {
    // The 6 bytes of each pair of neighbours, by the low or high half of a row byte.
    uint64_t pairs[16];
    for (uint32_t i = 0; i < 16; ++i) pairs[i] = palette[DxtIndex(i, 0)] | palette[DxtIndex(i, 1)] << 24;
    for (uint32_t r = 0; r < 4; ++r) {
      uint8_t* row = target + (ptrdiff_t)r * rowBytes;
      const uint32_t bits = colorBlock[4 + r];
      const uint64_t left = pairs[bits & 0x0F], right = pairs[bits >> 4];
      Store64(row, left | right << 48);
      Store32(row + 8, (uint32_t)(right >> 16));
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + (ptrdiff_t)r * rowBytes;
    const uint32_t bits = colorBlock[4 + r];
    for (uint32_t c = 0; c < blockWidth; ++c) {
      const uint32_t p = palette[DxtIndex(bits, c)];
      row[3 * c] = (uint8_t)p;
      row[3 * c + 1] = (uint8_t)(p >> 8);
      row[3 * c + 2] = (uint8_t)(p >> 16);
    }
  }
}

static inline void WriteDxtBlock32(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, ptrdiff_t stride, uint32_t color0,
                                   uint32_t color1, uint32_t color2, uint32_t color3) {
  const uint64_t palette[4] = {color0, color1, color2, color3};
  const ptrdiff_t rowBytes = stride * 4;
  if (blockWidth == 4 && blockHeight == 4) {
    // Each pair of neighbours as one 8-byte value, by half a row byte.
    uint64_t pairs[16];
    for (uint32_t i = 0; i < 16; ++i) pairs[i] = palette[DxtIndex(i, 0)] | palette[DxtIndex(i, 1)] << 32;
    for (uint32_t r = 0; r < 4; ++r) {
      uint8_t* row = target + (ptrdiff_t)r * rowBytes;
      const uint32_t bits = colorBlock[4 + r];
      Store64(row, pairs[bits & 0x0F]);
      Store64(row + 8, pairs[bits >> 4]);
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + (ptrdiff_t)r * rowBytes;
    const uint32_t bits = colorBlock[4 + r];
    for (uint32_t c = 0; c < blockWidth; ++c)
      Store32(row + 4 * c, (uint32_t)palette[DxtIndex(bits, c)]);
  }
}

// Alpha of pixel column c: bits 4c to 4c + 3 of the row's word, times 0x11.
// The pixel, as a little-endian 32-bit value, is ANDed with keepMask and
// ORed with the alpha shifted left by 24.
static inline void ApplyDxtExplicitAlpha(uint8_t* target, const uint8_t* alphaBlock,
                                         uint32_t blockWidth, uint32_t blockHeight,
                                         ptrdiff_t stride, uint32_t keepMask) {
  const ptrdiff_t rowBytes = stride * 4;
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + (ptrdiff_t)r * rowBytes;
    const uint32_t word = Load16(alphaBlock + 2 * r);
    for (uint32_t c = 0; c < blockWidth; ++c) {
      const uint32_t alpha = ((word >> (4 * c)) & 0xF) * 0x11;
      Store32(row + 4 * c, (Load32(row + 4 * c) & keepMask) | alpha << 24);
    }
  }
}

// A whole 4x4 block of a 16-byte format in one pass: the same pixels as
// WriteDxtBlock32 followed by ApplyDxtExplicitAlpha, with each row stored
// once.
static inline void WriteDxt3Block32(uint8_t* target, const uint8_t* block, ptrdiff_t stride,
                                    const uint32_t palette[4], uint32_t keepMask) {
  const uint64_t kept[4] = {palette[0] & keepMask, palette[1] & keepMask, palette[2] & keepMask,
                            palette[3] & keepMask};
  uint64_t pairs[16];
  for (uint32_t i = 0; i < 16; ++i) pairs[i] = kept[DxtIndex(i, 0)] | kept[DxtIndex(i, 1)] << 32;
  const ptrdiff_t rowBytes = stride * 4;
  for (uint32_t r = 0; r < 4; ++r) {
    uint8_t* row = target + (ptrdiff_t)r * rowBytes;
    const uint32_t bits = block[12 + r];
    const uint64_t word = Load16(block + 2 * r);
    // Columns 0 and 1 take the alpha bytes at bits 24 and 56 of a pixel
    // pair, columns 2 and 3 likewise; a nibble times 0x11 stays in its byte.
    const uint64_t alpha01 = ((word & 0xF) << 24 | (word & 0xF0) << 52) * 0x11;
    const uint64_t alpha23 = ((word & 0xF00) << 16 | (word & 0xF000) << 44) * 0x11;
    Store64(row, pairs[bits & 0x0F] | alpha01);
    Store64(row + 8, pairs[bits >> 4] | alpha23);
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

// The walk over the block grid shared by the image decoders: block rows from
// the top, blocks of a row from the left, with the extent of each block.
struct DxtGrid {
  uint32_t BlocksX, BlocksY, LastWidth, LastHeight;
  ptrdiff_t Stride;       // pixels from one image row to the next in the target
  uint8_t* FirstRow;      // the target position of image row 0
};

static inline uint32_t LastBlockExtent(uint32_t size) { return size % 4 == 0 ? 4 : size % 4; }

static DxtGrid MakeDxtGrid(uint32_t width, uint32_t height, uint8_t* target, uint32_t pixelBytes,
                           bool bottomUp) {
  DxtGrid grid;
  grid.BlocksX = (width - 1) / 4 + 1;
  grid.BlocksY = (height - 1) / 4 + 1;
  grid.LastWidth = LastBlockExtent(width);
  grid.LastHeight = LastBlockExtent(height);
  grid.Stride = bottomUp ? -(ptrdiff_t)width : (ptrdiff_t)width;
  grid.FirstRow = bottomUp ? target + (size_t)(height - 1) * width * pixelBytes : target;
  return grid;
}

// Target position of the top-left pixel of block row `by`.
static inline uint8_t* DxtBlockRow(const DxtGrid& grid, uint32_t by, uint32_t pixelBytes) {
  return grid.FirstRow + (ptrdiff_t)4 * by * grid.Stride * (ptrdiff_t)pixelBytes;
}

static bool DecompressDxt1To24(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize, bool bottomUp) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 3)) return false;
  const DxtGrid grid = MakeDxtGrid(width, height, target, 3, bottomUp);
  uint32_t palette[4];
  for (uint32_t by = 0; by < grid.BlocksY; ++by) {
    const uint32_t blockHeight = by == grid.BlocksY - 1 ? grid.LastHeight : 4;
    uint8_t* blockRow = DxtBlockRow(grid, by, 3);
    for (uint32_t bx = 0; bx < grid.BlocksX; ++bx, source += 8) {
      uint8_t* pixel = blockRow + (size_t)12 * bx;
      ExpandDxtColors(source, true, palette);
      WriteDxtBlock24(pixel, source, bx == grid.BlocksX - 1 ? grid.LastWidth : 4, blockHeight,
                      grid.Stride, palette[0], palette[1], palette[2], palette[3]);
    }
  }
  return true;
}

static bool DecompressDxt1To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize, bool bottomUp) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4)) return false;
  const DxtGrid grid = MakeDxtGrid(width, height, target, 4, bottomUp);
  uint32_t palette[4];
  for (uint32_t by = 0; by < grid.BlocksY; ++by) {
    const uint32_t blockHeight = by == grid.BlocksY - 1 ? grid.LastHeight : 4;
    uint8_t* blockRow = DxtBlockRow(grid, by, 4);
    for (uint32_t bx = 0; bx < grid.BlocksX; ++bx, source += 8) {
      uint8_t* pixel = blockRow + (size_t)16 * bx;
      ExpandDxtColors(source, true, palette);
      WriteDxtBlock32(pixel, source, bx == grid.BlocksX - 1 ? grid.LastWidth : 4, blockHeight,
                      grid.Stride, palette[0], palette[1], palette[2], palette[3]);
    }
  }
  return true;
}

// Colour first, alpha second, block by block; whole blocks in one pass.
static bool DecompressDxt3To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize, bool bottomUp) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, 4)) return false;
  const DxtGrid grid = MakeDxtGrid(width, height, target, 4, bottomUp);
  uint32_t palette[4];
  for (uint32_t by = 0; by < grid.BlocksY; ++by) {
    const uint32_t blockHeight = by == grid.BlocksY - 1 ? grid.LastHeight : 4;
    uint8_t* blockRow = DxtBlockRow(grid, by, 4);
    for (uint32_t bx = 0; bx < grid.BlocksX; ++bx, source += 16) {
      uint8_t* pixel = blockRow + (size_t)16 * bx;
      const uint32_t blockWidth = bx == grid.BlocksX - 1 ? grid.LastWidth : 4;
      ExpandDxtColors(source + 8, false, palette);
      if (blockWidth == 4 && blockHeight == 4) {
        WriteDxt3Block32(pixel, source, grid.Stride, palette, DXT_KEEP_COLOR);
        continue;
      }
      WriteDxtBlock32(pixel, source + 8, blockWidth, blockHeight, grid.Stride, palette[0],
                      palette[1], palette[2], palette[3]);
      ApplyDxtExplicitAlpha(pixel, source, blockWidth, blockHeight, grid.Stride, DXT_KEEP_COLOR);
    }
  }
  return true;
}

static Bool32 DecompressDxtcRows(uint32_t width, uint32_t height, uint32_t dxtcType,
                                 const void* source, void* target, uint32_t targetSize,
                                 bool bottomUp) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr) {
    PlatSetLastError(ERROR_INVALID_PARAMETER);
    return BOOL32_FALSE;
  }
  const uint8_t* blocks = static_cast<const uint8_t*>(source);
  uint8_t* pixels = static_cast<uint8_t*>(target);
  bool decoded;
  switch (dxtcType) {
    case DXTC_DXT1:
      decoded = DecompressDxt1To24(width, height, blocks, pixels, targetSize, bottomUp);
      break;
    case DXTC_DXT1A:
      decoded = DecompressDxt1To32(width, height, blocks, pixels, targetSize, bottomUp);
      break;
    case DXTC_DXT2:
    case DXTC_DXT3:
      decoded = DecompressDxt3To32(width, height, blocks, pixels, targetSize, bottomUp);
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

Bool32 DecompressDxtc(uint32_t width, uint32_t height, uint32_t dxtcType, const void* source,
                      void* target, uint32_t targetSize) {
  return DecompressDxtcRows(width, height, dxtcType, source, target, targetSize, false);
}

Bool32 DecompressDxtcBottomUp(uint32_t width, uint32_t height, uint32_t dxtcType,
                              const void* source, void* target, uint32_t targetSize) {
  return DecompressDxtcRows(width, height, dxtcType, source, target, targetSize, true);
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
