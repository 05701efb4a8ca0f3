// DXT block decompression: DXT1 (with and without 1-bit alpha) and DXT2/DXT3
// into BGR / BGRA pixels, a whole image or a band of block rows into rows of
// any pitch; and the byte sizes of DXT images and their mip levels.
//
// Not supported: decoding DXT4 and DXT5 (interpolated alpha); they have sizes
// only. Colours expand by shifts (31 -> 248, 63 -> 252), not by replication.
#include "DecompDXTC.h"

#include "DecodeRules.h"
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

static inline uint32_t PackBgra(uint32_t blue, uint32_t green, uint32_t red, uint32_t alpha) {
  return blue | green << 8 | red << 16 | alpha << 24;
}

// The four BGRA palette entries of a colour block. Both modes are computed
// and one is selected without a branch: to a branch predictor the mode of a
// block can be as good as random. The averages are taken on the expanded
// 8-bit channels and truncated.
static inline void ExpandDxtColors(const uint8_t* colorBlock, bool allowThreeColor,
                                   uint32_t palette[4]) {
  const uint32_t c0 = Load16(colorBlock);
  const uint32_t c1 = Load16(colorBlock + 2);
  const uint32_t b0 = (c0 & 0x1F) << 3, g0 = ((c0 >> 5) & 0x3F) << 2, r0 = (c0 >> 11) << 3;
  const uint32_t b1 = (c1 & 0x1F) << 3, g1 = ((c1 >> 5) & 0x3F) << 2, r1 = (c1 >> 11) << 3;
  const uint32_t half = PackBgra((b0 + b1) / 2, (g0 + g1) / 2, (r0 + r1) / 2, 255);
  const uint32_t third0 = PackBgra((2 * b0 + b1) / 3, (2 * g0 + g1) / 3, (2 * r0 + r1) / 3, 255);
  const uint32_t third1 = PackBgra((b0 + 2 * b1) / 3, (g0 + 2 * g1) / 3, (r0 + 2 * r1) / 3, 255);
  const uint32_t three = 0u - static_cast<uint32_t>(allowThreeColor && c0 <= c1);
  palette[0] = PackBgra(b0, g0, r0, 255);
  palette[1] = PackBgra(b1, g1, r1, 255);
  palette[2] = (half & three) | (third0 & ~three);
  palette[3] = third1 & ~three;
}

static inline uint32_t DxtIndex(uint32_t rowBits, uint32_t column) {
  return (rowBits & DxtIndexMasks[column]) >> DxtIndexShifts[column];
}

// Pitch is the distance in bytes from one pixel row to the next, negative
// when the rows go into the target from the bottom up. A whole 4x4 block is
// written a row at a time in wide stores of neighbouring pairs (the 16 pairs
// of the palette are built once per block); a clipped block of the last
// column or row pixel by pixel.
static inline void WriteDxtBlock24(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, ptrdiff_t pitch, const uint32_t color[4]) {
  const uint64_t palette[4] = {color[0] & DXT_KEEP_COLOR, color[1] & DXT_KEEP_COLOR,
                               color[2] & DXT_KEEP_COLOR, color[3] & DXT_KEEP_COLOR};
  if (blockWidth == 4 && blockHeight == 4) {
    for (uint32_t r = 0; r < 4; ++r) {
      uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
      const uint32_t bits = colorBlock[4 + r];
      const uint64_t p0 = palette[bits & 3], p1 = palette[(bits >> 2) & 3];
      const uint64_t p2 = palette[(bits >> 4) & 3], p3 = palette[bits >> 6];
      Store64(row, p0 | p1 << 24 | p2 << 48);
      Store32(row + 8, static_cast<uint32_t>(p2 >> 16 | p3 << 8));
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
    const uint32_t bits = colorBlock[4 + r];
    for (uint32_t c = 0; c < blockWidth; ++c) {
      const uint64_t p = palette[DxtIndex(bits, c)];
      row[3 * c] = static_cast<uint8_t>(p);
      row[3 * c + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * c + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
}

static inline void WriteDxtBlock32(uint8_t* target, const uint8_t* colorBlock, uint32_t blockWidth,
                                   uint32_t blockHeight, ptrdiff_t pitch, const uint32_t color[4]) {
  const uint64_t palette[4] = {color[0], color[1], color[2], color[3]};
  if (blockWidth == 4 && blockHeight == 4) {
    // Each pair of neighbours as one 8-byte value, by half a row byte.
    uint64_t pairs[16];
    for (uint32_t i = 0; i < 16; ++i) pairs[i] = palette[DxtIndex(i, 0)] | palette[DxtIndex(i, 1)] << 32;
    for (uint32_t r = 0; r < 4; ++r) {
      uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
      const uint32_t bits = colorBlock[4 + r];
      Store64(row, pairs[bits & 0x0F]);
      Store64(row + 8, pairs[bits >> 4]);
    }
    return;
  }
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
    const uint32_t bits = colorBlock[4 + r];
    for (uint32_t c = 0; c < blockWidth; ++c)
      Store32(row + 4 * c, static_cast<uint32_t>(palette[DxtIndex(bits, c)]));
  }
}

// Alpha of pixel column c: bits 4c to 4c + 3 of the row's word, times 0x11.
// The pixel, as a little-endian 32-bit value, is ANDed with keepMask and
// ORed with the alpha shifted left by 24.
static inline void ApplyDxtExplicitAlpha(uint8_t* target, const uint8_t* alphaBlock,
                                         uint32_t blockWidth, uint32_t blockHeight, ptrdiff_t pitch,
                                         uint32_t keepMask) {
  for (uint32_t r = 0; r < blockHeight; ++r) {
    uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
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
static inline void WriteDxt3Block32(uint8_t* target, const uint8_t* block, ptrdiff_t pitch,
                                    const uint32_t palette[4], uint32_t keepMask) {
  const uint64_t kept[4] = {palette[0] & keepMask, palette[1] & keepMask, palette[2] & keepMask,
                            palette[3] & keepMask};
  uint64_t pairs[16];
  for (uint32_t i = 0; i < 16; ++i) pairs[i] = kept[DxtIndex(i, 0)] | kept[DxtIndex(i, 1)] << 32;
  for (uint32_t r = 0; r < 4; ++r) {
    uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
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

// --- Whole blocks by byte shuffles ------------------------------------------
//
// Where the processor has SSSE3, each row of a whole block is gathered from
// the four palette entries (one 16-byte register) by one byte shuffle, with a
// constant mask per index byte. The same pixels as the code above, at a
// fraction of the instructions; chosen at run time, so the program still
// runs on processors without it.
#if defined(__x86_64__) || defined(__i386__)
#define DXTC_HAVE_SHUFFLES 1
#include <tmmintrin.h>
#define DXTC_SHUFFLE_TARGET __attribute__((target("ssse3")))

struct alignas(16) ShuffleMasks {
  uint8_t Mask[256][16];
};

// Byte k of the mask for index byte b names the palette byte that output
// byte k takes: byte `channel` of entry (index of column k / pixelBytes);
// 0x80 leaves the byte zero.
static constexpr ShuffleMasks MakeShuffleMasks(uint32_t pixelBytes) {
  ShuffleMasks masks{};
  for (uint32_t b = 0; b < 256; ++b)
    for (uint32_t k = 0; k < 16; ++k) {
      const uint32_t column = k / pixelBytes, channel = k % pixelBytes;
      masks.Mask[b][k] = column < 4 ? static_cast<uint8_t>(4 * ((b >> (2 * column)) & 3) + channel)
                                    : static_cast<uint8_t>(0x80);
    }
  return masks;
}
static constexpr ShuffleMasks Shuffle24 = MakeShuffleMasks(3);
static constexpr ShuffleMasks Shuffle32 = MakeShuffleMasks(4);

DXTC_SHUFFLE_TARGET static inline __m128i ShuffleRow(__m128i palette, const ShuffleMasks& masks,
                                                     uint32_t indexByte) {
  return _mm_shuffle_epi8(palette,
                          _mm_load_si128(reinterpret_cast<const __m128i*>(masks.Mask[indexByte])));
}

// The four BGRA entries of a colour block in one register, as
// ExpandDxtColors gives them, computed on 16-bit lanes: the two colours'
// channels side by side, then sums, halves and thirds of both at once. Right
// shifts are high halves of products: (x * 2^(16 - n)) >> 16 is x >> n, and
// (x * 21846) >> 16 is x / 3 for every x up to 765.
DXTC_SHUFFLE_TARGET static inline __m128i ExpandDxtColorsShuffled(const uint8_t* colorBlock,
                                                                 bool allowThreeColor) {
  const uint32_t c0 = Load16(colorBlock), c1 = Load16(colorBlock + 2);
  const __m128i words = _mm_set_epi16(0, static_cast<short>(c1), static_cast<short>(c1),
                                      static_cast<short>(c1), 0, static_cast<short>(c0),
                                      static_cast<short>(c0), static_cast<short>(c0));
  // Blue (c << 3), green (c >> 3), red (c >> 8) and alpha 255 of colour 0, then of colour 1.
  const __m128i shifted = _mm_or_si128(_mm_mullo_epi16(words, _mm_set_epi16(0, 0, 0, 8, 0, 0, 0, 8)),
                                       _mm_mulhi_epu16(words, _mm_set_epi16(0, 256, 8192, 0, 0, 256, 8192, 0)));
  const __m128i ends = _mm_or_si128(_mm_and_si128(shifted, _mm_set_epi16(0, 0xF8, 0xFC, 0xF8, 0, 0xF8, 0xFC, 0xF8)),
                                    _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0));
  const __m128i sum = _mm_add_epi16(ends, _mm_shuffle_epi32(ends, 0x4E));  // c0 + c1 in both halves
  // Four-colour mode: (2 c0 + c1) / 3 and (c0 + 2 c1) / 3.
  const __m128i thirds = _mm_mulhi_epu16(_mm_add_epi16(ends, sum), _mm_set1_epi16(21846));
  // Three-colour mode: (c0 + c1) / 2 and transparent black.
  const __m128i halfAndBlack = _mm_and_si128(_mm_srli_epi16(sum, 1), _mm_set_epi32(0, 0, -1, -1));
  const __m128i three = _mm_set1_epi32(-static_cast<int>(allowThreeColor && c0 <= c1));
  const __m128i middle = _mm_or_si128(_mm_and_si128(three, halfAndBlack), _mm_andnot_si128(three, thirds));
  return _mm_packus_epi16(ends, middle);
}

// DXT1 into 3-byte pixels (the 16th byte of each row's shuffle is never
// stored) or 4-byte ones.
template <uint32_t PixelBytes>
struct Dxt1Shuffled {
  DXTC_SHUFFLE_TARGET static inline void Write(const uint8_t* block, uint8_t* target, ptrdiff_t pitch) {
    const __m128i palette = ExpandDxtColorsShuffled(block, true);
    for (uint32_t r = 0; r < 4; ++r) {
      uint8_t* row = target + static_cast<ptrdiff_t>(r) * pitch;
      if (PixelBytes == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row), ShuffleRow(palette, Shuffle32, block[4 + r]));
        continue;
      }
      const __m128i pixels = ShuffleRow(palette, Shuffle24, block[4 + r]);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(row), pixels);
      Store32(row + 8, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 8))));
    }
  }
};

struct Dxt3To32Shuffled {
  DXTC_SHUFFLE_TARGET static inline void Write(const uint8_t* block, uint8_t* target, ptrdiff_t pitch) {
    const __m128i palette = _mm_and_si128(ExpandDxtColorsShuffled(block + 8, false),
                                          _mm_set1_epi32(static_cast<int>(DXT_KEEP_COLOR)));
    // The 16 alpha nibbles in pixel order (low nibble first), each times 0x11.
    const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
    const __m128i nibbles = _mm_set1_epi8(0x0F);
    const __m128i alphas = _mm_unpacklo_epi8(_mm_and_si128(packed, nibbles),
                                             _mm_and_si128(_mm_srli_epi16(packed, 4), nibbles));
    const __m128i scaled = _mm_or_si128(alphas, _mm_slli_epi16(alphas, 4));
    for (uint32_t r = 0; r < 4; ++r) {
      // Alpha r * 4 + c to byte 4 c + 3 of the row.
      const __m128i alpha = _mm_shuffle_epi8(
          scaled, _mm_setr_epi8(-128, -128, -128, static_cast<char>(4 * r), -128, -128, -128,
                                static_cast<char>(4 * r + 1), -128, -128, -128,
                                static_cast<char>(4 * r + 2), -128, -128, -128,
                                static_cast<char>(4 * r + 3)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(target + static_cast<ptrdiff_t>(r) * pitch),
                       _mm_or_si128(ShuffleRow(palette, Shuffle32, block[12 + r]), alpha));
    }
  }
};

static bool VectorsEnabled = true;

bool UseVectorDecoders() {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported && VectorsEnabled;
}
#else
static bool VectorsEnabled = false;
bool UseVectorDecoders() { return false; }
#endif

// For the tests: decodes without the vector paths (false) or with them where
// the processor has them (true); returns the previous setting.
bool EnableVectorDecoders(bool enabled) {
  const bool previous = VectorsEnabled;
#if DXTC_HAVE_SHUFFLES
  VectorsEnabled = enabled;
#else
  (void)enabled;
#endif
  return previous;
}

// One block of each decodable type at its target position. DXT1 into 3-byte
// pixels or 4-byte ones, where pixels of index 3 in a three-colour block get
// alpha 0 and all others 255.
template <uint32_t Bytes>
struct Dxt1Block {
  static const uint32_t BlockBytes = 8, PixelBytes = Bytes;
  static void Write(const uint8_t* block, uint8_t* target, uint32_t blockWidth,
                    uint32_t blockHeight, ptrdiff_t pitch) {
    uint32_t palette[4];
    ExpandDxtColors(block, true, palette);
    if (Bytes == 3)
      WriteDxtBlock24(target, block, blockWidth, blockHeight, pitch, palette);
    else
      WriteDxtBlock32(target, block, blockWidth, blockHeight, pitch, palette);
  }
  static void Write(const uint8_t* block, uint8_t* target, ptrdiff_t pitch) {
    Write(block, target, 4, 4, pitch);
  }
#if DXTC_HAVE_SHUFFLES
  typedef Dxt1Shuffled<Bytes> Shuffled;
#endif
};
typedef Dxt1Block<3> Dxt1To24;
typedef Dxt1Block<4> Dxt1To32;

// Colour first (always four-colour mode), alpha second; whole blocks in one pass.
struct Dxt3To32 {
  static const uint32_t BlockBytes = 16, PixelBytes = 4;
  static void Write(const uint8_t* block, uint8_t* target, uint32_t blockWidth,
                    uint32_t blockHeight, ptrdiff_t pitch) {
    uint32_t palette[4];
    ExpandDxtColors(block + 8, false, palette);
    if (blockWidth == 4 && blockHeight == 4) {
      WriteDxt3Block32(target, block, pitch, palette, DXT_KEEP_COLOR);
      return;
    }
    WriteDxtBlock32(target, block + 8, blockWidth, blockHeight, pitch, palette);
    ApplyDxtExplicitAlpha(target, block, blockWidth, blockHeight, pitch, DXT_KEEP_COLOR);
  }
  static void Write(const uint8_t* block, uint8_t* target, ptrdiff_t pitch) {
    Write(block, target, 4, 4, pitch);
  }
#if DXTC_HAVE_SHUFFLES
  typedef Dxt3To32Shuffled Shuffled;
#endif
};

static inline uint32_t LastBlockExtent(uint32_t size) { return size % 4 == 0 ? 4 : size % 4; }

// The walk over the block grid that every DXT decoder shares: block rows from
// firstBlockRow on, blocks of a row from the left, the last column and the
// last row of the image clipped. Whole blocks go through Whole::Write,
// clipped ones through Block::Write.
template <typename Block, typename Whole>
static inline void WalkDxtBlocks(uint32_t width, uint32_t height, uint32_t firstBlockRow,
                                 uint32_t blockRows, const uint8_t* blocks, uint8_t* firstRow,
                                 ptrdiff_t pitch) {
  const uint32_t blocksX = (width - 1) / 4 + 1, blocksY = (height - 1) / 4 + 1;
  const uint32_t lastWidth = LastBlockExtent(width), lastHeight = LastBlockExtent(height);
  const ptrdiff_t blockRowPitch = 4 * pitch;
  uint8_t* rowStart = firstRow;
  for (uint32_t by = firstBlockRow; by < firstBlockRow + blockRows; ++by, rowStart += blockRowPitch) {
    const uint32_t blockHeight = by == blocksY - 1 ? lastHeight : 4;
    uint8_t* pixel = rowStart;
    for (uint32_t bx = 0; bx + 1 < blocksX; ++bx, blocks += Block::BlockBytes, pixel += 4 * Block::PixelBytes) {
      if (blockHeight == 4)
        Whole::Write(blocks, pixel, pitch);
      else
        Block::Write(blocks, pixel, 4, blockHeight, pitch);
    }
    if (lastWidth == 4 && blockHeight == 4)
      Whole::Write(blocks, pixel, pitch);
    else
      Block::Write(blocks, pixel, lastWidth, blockHeight, pitch);
    blocks += Block::BlockBytes;
  }
}

template <typename Block>
static void WalkDxtBlocksPlain(uint32_t width, uint32_t height, uint32_t firstBlockRow,
                               uint32_t blockRows, const uint8_t* blocks, uint8_t* firstRow,
                               ptrdiff_t pitch) {
  WalkDxtBlocks<Block, Block>(width, height, firstBlockRow, blockRows, blocks, firstRow, pitch);
}

#if DXTC_HAVE_SHUFFLES
template <typename Block>
DXTC_SHUFFLE_TARGET static void WalkDxtBlocksShuffled(uint32_t width, uint32_t height,
                                                      uint32_t firstBlockRow, uint32_t blockRows,
                                                      const uint8_t* blocks, uint8_t* firstRow,
                                                      ptrdiff_t pitch) {
  WalkDxtBlocks<Block, typename Block::Shuffled>(width, height, firstBlockRow, blockRows, blocks,
                                                 firstRow, pitch);
}
#define DXTC_WALK(Block)                                                                       \
  (UseVectorDecoders() ? WalkDxtBlocksShuffled<Block> : WalkDxtBlocksPlain<Block>)
#else
#define DXTC_WALK(Block) WalkDxtBlocksPlain<Block>
#endif

void DecompressDxtcBand(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t firstBlockRow,
                        uint32_t blockRows, const uint8_t* blocks, uint8_t* firstRow,
                        ptrdiff_t pitch) {
  switch (dxtcType) {
    case DXTC_DXT1:
      DXTC_WALK(Dxt1To24)(width, height, firstBlockRow, blockRows, blocks, firstRow, pitch);
      break;
    case DXTC_DXT1A:
      DXTC_WALK(Dxt1To32)(width, height, firstBlockRow, blockRows, blocks, firstRow, pitch);
      break;
    case DXTC_DXT2:
    case DXTC_DXT3:
      DXTC_WALK(Dxt3To32)(width, height, firstBlockRow, blockRows, blocks, firstRow, pitch);
      break;
    default:
      break;
  }
}

// The image decoders: their checks, then the whole image as one band, rows
// from the top.
static bool DecompressDxtImage(uint32_t width, uint32_t height, uint32_t dxtcType,
                               const uint8_t* source, uint8_t* target, uint32_t targetSize) {
  const uint32_t pixelBytes = DxtcPixelBytes[dxtcType];
  if (!CheckDecodeArguments(width, height, source, target, targetSize, pixelBytes)) return false;
  DecompressDxtcBand(width, height, dxtcType, 0, (height - 1) / 4 + 1, source, target,
                     static_cast<ptrdiff_t>(width) * pixelBytes);
  return true;
}

static bool DecompressDxt1To24(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  return DecompressDxtImage(width, height, DXTC_DXT1, source, target, targetSize);
}

static bool DecompressDxt1To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  return DecompressDxtImage(width, height, DXTC_DXT1A, source, target, targetSize);
}

static bool DecompressDxt3To32(uint32_t width, uint32_t height, const uint8_t* source,
                               uint8_t* target, uint32_t targetSize) {
  return DecompressDxtImage(width, height, DXTC_DXT3, source, target, targetSize);
}

Bool32 DecompressDxtc(uint32_t width, uint32_t height, uint32_t dxtcType, const void* source,
                      void* target, uint32_t targetSize) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr)
    return PlatFail<Bool32>(ERROR_INVALID_PARAMETER);
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
      return PlatFail<Bool32>(ERROR_CALL_NOT_IMPLEMENTED);
    default:
      return PlatFail<Bool32>(ERROR_INVALID_PIXEL_FORMAT);
  }
  return decoded ? BOOL32_TRUE : BOOL32_FALSE;
}

uint32_t GetDxtcBlockBytes(uint32_t dxtcType) {
  return dxtcType >= DXTC_DXT1 && dxtcType <= DXTC_DXT3 ? DxtcBlockBytes[dxtcType] : 0;
}

uint32_t GetDxtcPixelBytes(uint32_t dxtcType) {
  return dxtcType >= DXTC_DXT1 && dxtcType <= DXTC_DXT3 ? DxtcPixelBytes[dxtcType] : 0;
}

static inline bool IsDxtcType(uint32_t dxtcType) {
  return dxtcType >= DXTC_DXT1 && dxtcType <= DXTC_DXT5;
}

uint32_t GetDxtcCompressedSize(uint32_t width, uint32_t height, uint32_t dxtcType,
                               uint32_t level) {
  uint32_t w, h;
  if (!GetMipLevelDimensions(width, height, level, &w, &h)) return 0;
  if (!IsDxtcType(dxtcType)) return PlatFail<uint32_t>(ERROR_INVALID_PIXEL_FORMAT);
  const uint64_t blocks = static_cast<uint64_t>((w - 1) / 4 + 1) * ((h - 1) / 4 + 1);
  return FitSize(blocks * DxtcBlockBytes[dxtcType]);
}

uint32_t GetDxtcDecodedSize(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t level) {
  uint32_t w, h;
  if (!GetMipLevelDimensions(width, height, level, &w, &h)) return 0;
  if (!IsDxtcType(dxtcType)) return PlatFail<uint32_t>(ERROR_INVALID_PIXEL_FORMAT);
  return FitSize(static_cast<uint64_t>(w) * h * DxtcPixelBytes[dxtcType]);
}
