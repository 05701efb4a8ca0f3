// DXT block decompression: palettes, block placement and clipping, the
// explicit alpha, argument checks and the size routines.
#include <gtest/gtest.h>

#include <vector>

#include "DecompDXTC.h"
#include "DecompZTEX.h"
#include "TextureTestHooks.h"
#include "TextureTestSupport.h"
#include "ZTEX.h"

namespace {

// An 8-byte colour block: two 5:6:5 words and four index rows.
Bytes ColorBlock(uint16_t c0, uint16_t c1, uint8_t row0, uint8_t row1, uint8_t row2,
                 uint8_t row3) {
  return {(uint8_t)c0, (uint8_t)(c0 >> 8), (uint8_t)c1, (uint8_t)(c1 >> 8), row0, row1, row2, row3};
}

Bytes ColorBlock(uint16_t c0, uint16_t c1, uint8_t allRows) {
  return ColorBlock(c0, c1, allRows, allRows, allRows, allRows);
}

// A 16-byte DXT3 block: four alpha words, then a colour block.
Bytes Dxt3Block(const uint16_t alpha[4], const Bytes& color) {
  Bytes block;
  for (int r = 0; r < 4; ++r) {
    block.push_back((uint8_t)alpha[r]);
    block.push_back((uint8_t)(alpha[r] >> 8));
  }
  block.insert(block.end(), color.begin(), color.end());
  return block;
}

// Decodes into a buffer of `size` bytes that is followed by guard bytes;
// the guard must survive.
Bytes Decode(uint32_t width, uint32_t height, uint32_t type, const Bytes& source, uint32_t size,
             Bool32* result) {
  Bytes target(size + 16, 0xCD);
  *result = DecompressDxtc(width, height, type, source.data(), target.data(), size);
  for (uint32_t i = size; i < size + 16; ++i) EXPECT_EQ(0xCD, target[i]) << "written past the end at " << i;
  target.resize(size);
  return target;
}

const uint16_t WHITE = 0xFFFF, BLACK = 0x0000;

}  // namespace

// --- Palettes -------------------------------------------------------------------

TEST(DxtPalette, FourColourBlockExpandsByShiftsAndTruncatesThirds) {
  Bool32 ok;
  // Index row 0xE4 holds 0, 1, 2, 3 from the left.
  Bytes pixels = Decode(4, 4, DXTC_DXT1, ColorBlock(WHITE, BLACK, 0xE4), 48, &ok);
  EXPECT_EQ(BOOL32_TRUE, ok);
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(Bgr(248, 252, 248), PixelAt(pixels, 4, 3, 0, r));
    EXPECT_EQ(Bgr(0, 0, 0), PixelAt(pixels, 4, 3, 1, r));
    EXPECT_EQ(Bgr(165, 168, 165), PixelAt(pixels, 4, 3, 2, r));
    EXPECT_EQ(Bgr(82, 84, 82), PixelAt(pixels, 4, 3, 3, r));
  }
  pixels = Decode(4, 4, DXTC_DXT1A, ColorBlock(WHITE, BLACK, 0xE4), 64, &ok);
  EXPECT_EQ(BOOL32_TRUE, ok);
  EXPECT_EQ(Bgra(248, 252, 248, 255), PixelAt(pixels, 4, 4, 0, 2));
  EXPECT_EQ(Bgra(0, 0, 0, 255), PixelAt(pixels, 4, 4, 1, 2));
  EXPECT_EQ(Bgra(165, 168, 165, 255), PixelAt(pixels, 4, 4, 2, 2));
  EXPECT_EQ(Bgra(82, 84, 82, 255), PixelAt(pixels, 4, 4, 3, 2));
}

TEST(DxtPalette, ChannelsComeFromTheirOwnBits) {
  // Red in bits 11-15, green in 5-10, blue in 0-4; pixels are blue, green, red.
  Bool32 ok;
  const Bytes red = Decode(4, 4, DXTC_DXT1, ColorBlock(0xF800, BLACK, 0x00), 48, &ok);
  EXPECT_EQ(Bgr(0, 0, 248), PixelAt(red, 4, 3, 0, 0));
  const Bytes green = Decode(4, 4, DXTC_DXT1, ColorBlock(0x07E0, BLACK, 0x00), 48, &ok);
  EXPECT_EQ(Bgr(0, 252, 0), PixelAt(green, 4, 3, 0, 0));
  const Bytes blue = Decode(4, 4, DXTC_DXT1, ColorBlock(0x001F, BLACK, 0x00), 48, &ok);
  EXPECT_EQ(Bgr(248, 0, 0), PixelAt(blue, 4, 3, 0, 0));
  // 0x8410 is 16, 32, 16 in the fields: 128, 128, 128 expanded.
  const Bytes grey = Decode(4, 4, DXTC_DXT1, ColorBlock(0x8410, BLACK, 0x00), 48, &ok);
  EXPECT_EQ(Bgr(128, 128, 128), PixelAt(grey, 4, 3, 0, 0));
}

TEST(DxtPalette, ThreeColourBlockAveragesAndHasTransparentBlack) {
  Bool32 ok;
  const Bytes pixels = Decode(4, 4, DXTC_DXT1A, ColorBlock(BLACK, WHITE, 0xE4), 64, &ok);
  EXPECT_EQ(BOOL32_TRUE, ok);
  EXPECT_EQ(Bgra(0, 0, 0, 255), PixelAt(pixels, 4, 4, 0, 0));
  EXPECT_EQ(Bgra(248, 252, 248, 255), PixelAt(pixels, 4, 4, 1, 0));
  EXPECT_EQ(Bgra(124, 126, 124, 255), PixelAt(pixels, 4, 4, 2, 0));
  EXPECT_EQ(Bgra(0, 0, 0, 0), PixelAt(pixels, 4, 4, 3, 0));
  // Without alpha the transparent entry is plain black in 3 bytes.
  const Bytes opaque = Decode(4, 4, DXTC_DXT1, ColorBlock(BLACK, WHITE, 0xE4), 48, &ok);
  EXPECT_EQ(Bgr(124, 126, 124), PixelAt(opaque, 4, 3, 2, 0));
  EXPECT_EQ(Bgr(0, 0, 0), PixelAt(opaque, 4, 3, 3, 0));
}

TEST(DxtPalette, EqualColourWordsSelectTheThreeColourMode) {
  Bool32 ok;
  // 0x7BEF is 15, 31, 15: 120, 124, 120.
  const Bytes pixels = Decode(4, 4, DXTC_DXT1A, ColorBlock(0x7BEF, 0x7BEF, 0xE4), 64, &ok);
  EXPECT_EQ(Bgra(120, 124, 120, 255), PixelAt(pixels, 4, 4, 2, 1));
  EXPECT_EQ(Bgra(0, 0, 0, 0), PixelAt(pixels, 4, 4, 3, 1));
  // One step apart in the other order gives four colours: index 3 is opaque.
  const Bytes four = Decode(4, 4, DXTC_DXT1A, ColorBlock(0x7BF0, 0x7BEF, 0xE4), 64, &ok);
  EXPECT_EQ(255, PixelAt(four, 4, 4, 3, 1)[3]);
}

TEST(DxtPalette, ColourHalfOfDxt3StaysInFourColourMode) {
  const uint16_t opaque[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  Bool32 ok;
  // colour0 < colour1 would mean three colours in a DXT1 block.
  const Bytes pixels =
      Decode(4, 4, DXTC_DXT3, Dxt3Block(opaque, ColorBlock(BLACK, WHITE, 0xE4)), 64, &ok);
  EXPECT_EQ(BOOL32_TRUE, ok);
  EXPECT_EQ(Bgra(82, 84, 82, 255), PixelAt(pixels, 4, 4, 2, 3));
  EXPECT_EQ(Bgra(165, 168, 165, 255), PixelAt(pixels, 4, 4, 3, 3));
  // DXT2 decodes exactly as DXT3.
  const Bytes dxt2 =
      Decode(4, 4, DXTC_DXT2, Dxt3Block(opaque, ColorBlock(BLACK, WHITE, 0xE4)), 64, &ok);
  EXPECT_EQ(pixels, dxt2);
}

// --- Explicit alpha -------------------------------------------------------------

TEST(DxtExplicitAlpha, NibblesFromTheLeftTimes17) {
  const uint16_t alpha[4] = {0xF0A5, 0x0000, 0xFFFF, 0x5A0F};
  Bool32 ok;
  const Bytes pixels =
      Decode(4, 4, DXTC_DXT3, Dxt3Block(alpha, ColorBlock(0xF800, BLACK, 0x00)), 64, &ok);
  const uint8_t expected[4][4] = {{85, 170, 0, 255}, {0, 0, 0, 0}, {255, 255, 255, 255},
                                  {255, 0, 170, 85}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      // The colour stays: red 248.
      EXPECT_EQ(Bgra(0, 0, 248, expected[r][c]), PixelAt(pixels, 4, 4, c, r)) << c << "," << r;
    }
}

// --- Block grid -----------------------------------------------------------------

TEST(DxtBlockGrid, SixBySixImageClipsTheLastColumnAndRow) {
  // Four solid blocks: red, green (top row), blue, white (bottom row).
  Bytes source = ColorBlock(0xF800, BLACK, 0x00);
  const Bytes green = ColorBlock(0x07E0, BLACK, 0x00), blue = ColorBlock(0x001F, BLACK, 0x00),
              white = ColorBlock(WHITE, BLACK, 0x00);
  source.insert(source.end(), green.begin(), green.end());
  source.insert(source.end(), blue.begin(), blue.end());
  source.insert(source.end(), white.begin(), white.end());
  ASSERT_EQ(32u, source.size());
  ASSERT_EQ(source.size(), GetDxtcCompressedSize(6, 6, DXTC_DXT1, 0));
  Bool32 ok;
  const Bytes pixels = Decode(6, 6, DXTC_DXT1, source, 108, &ok);
  ASSERT_EQ(BOOL32_TRUE, ok);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const Bytes expected = y < 4 ? (x < 4 ? Bgr(0, 0, 248) : Bgr(0, 252, 0))
                                   : (x < 4 ? Bgr(248, 0, 0) : Bgr(248, 252, 248));
      EXPECT_EQ(expected, PixelAt(pixels, 6, 3, x, y)) << x << "," << y;
    }
}

TEST(DxtBlockGrid, RowsAndColumnsOfABlockKeepTheirPlaces) {
  // Rows 0..3 hold the index patterns 0123, 3210, 0000, 1111 (from the left).
  const Bytes block = ColorBlock(WHITE, BLACK, 0xE4, 0x1B, 0x00, 0x55);
  Bytes source = block;
  const Bytes red = ColorBlock(0xF800, 0xF800 - 0x0800, 0x00);
  source.insert(source.end(), red.begin(), red.end());  // a second block to the right
  Bool32 ok;
  const Bytes pixels = Decode(8, 4, DXTC_DXT1A, source, 8 * 4 * 4, &ok);
  const Bytes palette[4] = {Bgra(248, 252, 248, 255), Bgra(0, 0, 0, 255),
                            Bgra(165, 168, 165, 255), Bgra(82, 84, 82, 255)};
  const int indices[4][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(palette[indices[r][c]], PixelAt(pixels, 8, 4, c, r));
    for (int c = 4; c < 8; ++c) EXPECT_EQ(Bgra(0, 0, 248, 255), PixelAt(pixels, 8, 4, c, r));
  }
}

TEST(DxtBlockGrid, ClippedDxt3BlocksWriteOnlyTheirPixels) {
  // 5 x 3: two blocks, the second one column wide; all three rows clipped.
  const uint16_t alpha[4] = {0x1234, 0x5678, 0x9ABC, 0xDEF0};
  Bytes source = Dxt3Block(alpha, ColorBlock(0x001F, BLACK, 0x00));
  const Bytes second = Dxt3Block(alpha, ColorBlock(0xF800, BLACK, 0x00));
  source.insert(source.end(), second.begin(), second.end());
  Bool32 ok;
  const Bytes pixels = Decode(5, 3, DXTC_DXT3, source, 5 * 3 * 4, &ok);
  ASSERT_EQ(BOOL32_TRUE, ok);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(Bgra(248, 0, 0, (uint8_t)(((alpha[y] >> (4 * x)) & 0xF) * 17)),
                PixelAt(pixels, 5, 4, x, y));
    EXPECT_EQ(Bgra(0, 0, 248, (uint8_t)((alpha[y] & 0xF) * 17)), PixelAt(pixels, 5, 4, 4, y));
  }
}

TEST(DxtBlockGrid, OnePixelImageIsOneBlock) {
  const Bytes block = ColorBlock(0xF800, BLACK, 0xFE);  // pixel (0,0) has index 2
  Bool32 ok;
  EXPECT_EQ(Bgr(0, 0, 165), Decode(1, 1, DXTC_DXT1, block, 3, &ok));
  EXPECT_EQ(BOOL32_TRUE, ok);
  EXPECT_EQ(Bgra(0, 0, 165, 255), Decode(1, 1, DXTC_DXT1A, block, 4, &ok));
  EXPECT_EQ(BOOL32_TRUE, ok);
  const uint16_t alpha[4] = {0x000C, 0, 0, 0};
  EXPECT_EQ(Bgra(0, 0, 165, 204), Decode(1, 1, DXTC_DXT3, Dxt3Block(alpha, block), 4, &ok));
  EXPECT_EQ(BOOL32_TRUE, ok);
}

TEST(DxtBlockGrid, EveryPixelOfAnOddImageIsWritten) {
  // 13 x 7 of arbitrary blocks: no pixel keeps the canary value (0xCD is no
  // multiple of 17, so no decoded alpha equals it).
  const uint32_t w = 13, h = 7;
  Bytes source(GetDxtcCompressedSize(w, h, DXTC_DXT3, 0));
  for (size_t i = 0; i < source.size(); ++i) source[i] = (uint8_t)(i * 37 + 11);
  Bool32 ok;
  const Bytes pixels = Decode(w, h, DXTC_DXT3, source, w * h * 4, &ok);
  ASSERT_EQ(BOOL32_TRUE, ok);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      EXPECT_NE(Bgra(0xCD, 0xCD, 0xCD, 0xCD), PixelAt(pixels, w, 4, x, y)) << x << "," << y;
}

TEST(DxtBlockGrid, WholeAndClippedBlocksAgreeOnTheirCommonPixels) {
  // Whole blocks take a faster path than clipped ones: the same blocks as a
  // 12 x 8 image (all whole) and as 11 x 7 (last column and row clipped).
  Bytes source(GetDxtcCompressedSize(12, 8, DXTC_DXT3, 0));
  for (size_t i = 0; i < source.size(); ++i) source[i] = (uint8_t)(i * 77 + 5);
  for (uint32_t type : {(uint32_t)DXTC_DXT1, (uint32_t)DXTC_DXT1A, (uint32_t)DXTC_DXT3}) {
    const uint32_t bytes = type == DXTC_DXT1 ? 3 : 4;
    Bool32 ok;
    const Bytes whole = Decode(12, 8, type, source, 12 * 8 * bytes, &ok);
    ASSERT_EQ(BOOL32_TRUE, ok);
    const Bytes clipped = Decode(11, 7, type, source, 11 * 7 * bytes, &ok);
    ASSERT_EQ(BOOL32_TRUE, ok);
    for (uint32_t y = 0; y < 7; ++y)
      for (uint32_t x = 0; x < 11; ++x)
        ASSERT_EQ(PixelAt(whole, 12, bytes, x, y), PixelAt(clipped, 11, bytes, x, y))
            << "type " << type << " at " << x << "," << y;
  }
}

TEST(DxtBlockGrid, ABandOfBlockRowsGoesWhereItsFirstRowAndPitchSay) {
  // Two block rows of one block each, 6 x 7 pixels: decoded whole, then the
  // second block row alone, bottom up, into a buffer of its three rows.
  const uint16_t alpha[4] = {0x0123, 0x4567, 0x89AB, 0xCDEF};
  Bytes source = Dxt3Block(alpha, ColorBlock(0xF800, 0x001F, 0xE4, 0x1B, 0x00, 0x55));
  Append(&source, Dxt3Block(alpha, ColorBlock(0x07E0, 0x001F, 0x1B, 0x00, 0x55, 0xE4)));
  Append(&source, Dxt3Block(alpha, ColorBlock(0x001F, 0xF800, 0x55, 0xE4, 0x1B, 0x00)));
  Append(&source, Dxt3Block(alpha, ColorBlock(0xFFFF, 0x0000, 0x00, 0x55, 0xE4, 0x1B)));
  Bool32 ok;
  const Bytes whole = Decode(6, 7, DXTC_DXT3, source, 6 * 7 * 4, &ok);
  ASSERT_EQ(BOOL32_TRUE, ok);
  Bytes band(3 * 6 * 4 + 32, 0xCD);
  DecompressDxtcBand(6, 7, DXTC_DXT3, 1, 1, source.data() + 32, band.data() + 16 + 2 * 24, -24);
  EXPECT_EQ(Bytes(16, 0xCD), Bytes(band.begin(), band.begin() + 16));
  EXPECT_EQ(Bytes(16, 0xCD), Bytes(band.end() - 16, band.end()));
  for (uint32_t y = 4; y < 7; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(PixelAt(whole, 6, 4, x, y), PixelAt(Bytes(band.begin() + 16, band.end() - 16), 6, 4, x, 6 - y))
          << x << "," << y;
}

TEST(DxtBlockGrid, ThePlainAndTheVectorDecodersAgreeOnEveryPixel) {
  // Blocks of arbitrary bytes (both colour modes, every index pattern, every
  // alpha nibble) and blocks whose colours are equal or differ by one, in
  // images with whole and clipped blocks; and the 16-bit formats on the same
  // bytes, in rows with and without a tail of fewer than 16 pixels; decoded
  // with and without the processor's vector instructions.
  Bytes source;
  uint32_t x = 2463534242u;
  for (int i = 0; i < 64 * 64 * 16; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    source.push_back((uint8_t)(x >> 11));
  }
  for (size_t at = 0; at + 16 <= source.size(); at += 48) {  // equal and neighbouring colours
    source[at + 2] = source[at];
    source[at + 3] = (uint8_t)(source[at + 1] + (at % 96 == 0 ? 0 : 1));
  }
  const uint32_t sizes[][2] = {{256, 64}, {255, 63}, {4, 4}, {7, 5}, {47, 9}, {16, 2}};
  for (uint32_t format : {ZTEX_DXT1, ZTEX_DXT1A, ZTEX_DXT3, ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_R5G6B5})
    for (const auto& size : sizes) {
      ZtexHeader header = {{'Z', 'T', 'E', 'X'}, 0, format, size[0], size[1], 1, 0, 0, 0};
      const uint32_t bytes = GetZtexDecodedSize(header, 0);
      const bool previous = EnableVectorDecoders(false);
      Bytes plain(bytes + 16, 0xCD), vector(bytes + 16, 0xCD);
      const Bool32 plainOk = DecodeZtexPixels(header, source.data(), plain.data(), bytes);
      EnableVectorDecoders(true);
      const Bool32 vectorOk = DecodeZtexPixels(header, source.data(), vector.data(), bytes);
      EnableVectorDecoders(previous);
      ASSERT_TRUE(plainOk && vectorOk) << format;
      for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(plain[i], vector[i]) << "format " << format << ", " << size[0] << "x" << size[1]
                                       << ", byte " << i;
      EXPECT_EQ(Bytes(16, 0xCD), Bytes(vector.end() - 16, vector.end())) << "written past the end";
    }
}

TEST(DxtPalette, ThePlainDecoderGivesTheWorkedPalettesToo) {
  // The worked palettes of the tests above, without the byte shuffles.
  const bool previous = EnableVectorDecoders(false);
  Bool32 ok;
  const Bytes four = Decode(4, 4, DXTC_DXT1, ColorBlock(WHITE, BLACK, 0xE4), 48, &ok);
  const Bytes three = Decode(4, 4, DXTC_DXT1A, ColorBlock(BLACK, WHITE, 0xE4), 64, &ok);
  const uint16_t alpha[4] = {0xF0A5, 0xF0A5, 0xF0A5, 0xF0A5};
  const Bytes dxt3 = Decode(4, 4, DXTC_DXT3, Dxt3Block(alpha, ColorBlock(BLACK, WHITE, 0xE4)), 64, &ok);
  EnableVectorDecoders(previous);
  EXPECT_EQ(Bgr(165, 168, 165), PixelAt(four, 4, 3, 2, 1));
  EXPECT_EQ(Bgr(82, 84, 82), PixelAt(four, 4, 3, 3, 2));
  EXPECT_EQ(Bgra(124, 126, 124, 255), PixelAt(three, 4, 4, 2, 0));
  EXPECT_EQ(Bgra(0, 0, 0, 0), PixelAt(three, 4, 4, 3, 3));
  EXPECT_EQ(Bgra(82, 84, 82, 0), PixelAt(dxt3, 4, 4, 2, 0));
  EXPECT_EQ(Bgra(165, 168, 165, 255), PixelAt(dxt3, 4, 4, 3, 0));
}

// --- Argument checks --------------------------------------------------------------

TEST(DxtDecodeFailures, ReportTheirCodesAndLeaveTheTargetAlone) {
  const Bytes block = ColorBlock(WHITE, BLACK, 0xE4);
  Bytes target(64, 0xCD);
  const Bytes untouched = target;
  struct Case {
    uint32_t width, height, type, size;
    bool nullSource;
    uint32_t code;
  } cases[] = {
      {0, 4, DXTC_DXT1, 64, false, ERROR_INVALID_PARAMETER},
      {4, 0, DXTC_DXT3, 64, false, ERROR_INVALID_PARAMETER},
      {0, 4, 0, 64, false, ERROR_INVALID_PARAMETER},  // dimensions before the type
      {4, 4, DXTC_DXT1, 64, true, ERROR_INVALID_PARAMETER},
      {4, 4, DXTC_DXT4, 1, false, ERROR_CALL_NOT_IMPLEMENTED},  // not 122
      {4, 4, DXTC_DXT5, 64, false, ERROR_CALL_NOT_IMPLEMENTED},
      {4, 4, 0, 64, false, ERROR_INVALID_PIXEL_FORMAT},
      {4, 4, 7, 64, false, ERROR_INVALID_PIXEL_FORMAT},
      {4, 4, DXTC_DXT1, 47, false, ERROR_INSUFFICIENT_BUFFER},
      {4, 4, DXTC_DXT1A, 63, false, ERROR_INSUFFICIENT_BUFFER},
      {4, 4, DXTC_DXT3, 63, false, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    const Bytes source(16, 0);
    PlatSetLastError(0);
    EXPECT_EQ(BOOL32_FALSE, DecompressDxtc(c.width, c.height, c.type, c.nullSource ? nullptr : source.data(),
                                           target.data(), c.size));
    EXPECT_EQ(c.code, PlatGetLastError()) << c.width << "x" << c.height << " type " << c.type;
    EXPECT_EQ(untouched, target);
  }
  PlatSetLastError(0);
  EXPECT_EQ(BOOL32_FALSE, DecompressDxtc(4, 4, DXTC_DXT1, block.data(), nullptr, 64));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
}

TEST(DxtDecodeFailures, ExactTargetIsEnoughAndSuccessKeepsTheLastError) {
  Bytes source(GetDxtcCompressedSize(5, 3, DXTC_DXT1, 0), 0x5A);
  Bytes target(45);
  PlatSetLastError(1234);
  EXPECT_EQ(BOOL32_TRUE, DecompressDxtc(5, 3, DXTC_DXT1, source.data(), target.data(), 45));
  EXPECT_EQ(1234u, PlatGetLastError());
}

TEST(DxtDecodeFailures, HugeImagesDoNotWrapTheTargetCheck) {
  // 65536 x 65536 x 4 is 2^34: as a 32-bit product it would be 0 and pass.
  const Bytes source(16, 0);
  Bytes target(16, 0xCD);
  PlatSetLastError(0);
  EXPECT_EQ(BOOL32_FALSE, DecompressDxtc(65536, 65536, DXTC_DXT1A, source.data(), target.data(), 16));
  EXPECT_EQ((uint32_t)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError());
  EXPECT_EQ(Bytes(16, 0xCD), target);
  // 0x55555556 x 3 x 1 wraps to 2 in 32 bits.
  EXPECT_EQ(BOOL32_FALSE, DecompressDxtc(0x55555556, 1, DXTC_DXT1, source.data(), target.data(), 16));
  EXPECT_EQ((uint32_t)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError());
  EXPECT_EQ(Bytes(16, 0xCD), target);
}

// --- Sizes ------------------------------------------------------------------------

TEST(DxtSizes, BlocksRoundUpAndLevelsShift) {
  EXPECT_EQ(32768u, GetDxtcCompressedSize(256, 256, DXTC_DXT1, 0));
  EXPECT_EQ(4096u, GetDxtcCompressedSize(256, 256, DXTC_DXT3, 2));
  EXPECT_EQ(8u, GetDxtcCompressedSize(2, 2, DXTC_DXT1, 1));
  EXPECT_EQ(8u, GetDxtcCompressedSize(6, 4, DXTC_DXT1, 1));
  EXPECT_EQ(16u, GetDxtcCompressedSize(6, 4, DXTC_DXT1A, 0));
  EXPECT_EQ(128u, GetDxtcCompressedSize(13, 7, DXTC_DXT2, 0));  // 4 x 2 blocks
  EXPECT_EQ(16u, GetDxtcCompressedSize(1, 1, DXTC_DXT5, 0));
  EXPECT_EQ(GetDxtcCompressedSize(256, 128, DXTC_DXT1, 0), GetDxtcCompressedSize(256, 128, DXTC_DXT1, 32));
  EXPECT_EQ(GetDxtcDecodedSize(256, 128, DXTC_DXT3, 3), GetDxtcDecodedSize(256, 128, DXTC_DXT3, 35));
}

TEST(DxtSizes, DecodedSizeIsTheExactPixelCount) {
  EXPECT_EQ(108u, GetDxtcDecodedSize(6, 6, DXTC_DXT1, 0));
  EXPECT_EQ(144u, GetDxtcDecodedSize(6, 6, DXTC_DXT1A, 0));
  EXPECT_EQ(4u, GetDxtcDecodedSize(1, 1, DXTC_DXT4, 0));
  EXPECT_EQ(3u * 64 * 32, GetDxtcDecodedSize(256, 128, DXTC_DXT1, 2));
}

TEST(DxtSizes, FailuresAndTheirOrder) {
  struct Case {
    uint32_t width, height, type, level, code;
  } cases[] = {
      {6, 4, DXTC_DXT1, 2, ERROR_INVALID_PARAMETER},  // 6 is no multiple of 4
      {0, 4, DXTC_DXT1, 0, ERROR_INVALID_PARAMETER},
      {4, 0, 7, 0, ERROR_INVALID_PARAMETER},           // dimensions before the type
      {6, 4, 7, 2, ERROR_INVALID_PARAMETER},
      {4, 4, 7, 0, ERROR_INVALID_PIXEL_FORMAT},
      {4, 4, 0, 0, ERROR_INVALID_PIXEL_FORMAT},
  };
  for (const Case& c : cases) {
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetDxtcCompressedSize(c.width, c.height, c.type, c.level));
    EXPECT_EQ(c.code, PlatGetLastError());
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetDxtcDecodedSize(c.width, c.height, c.type, c.level));
    EXPECT_EQ(c.code, PlatGetLastError());
  }
  PlatSetLastError(4321);
  EXPECT_EQ(8u, GetDxtcCompressedSize(4, 4, DXTC_DXT1, 0));
  EXPECT_EQ(48u, GetDxtcDecodedSize(4, 4, DXTC_DXT1, 0));
  EXPECT_EQ(4321u, PlatGetLastError());
}

TEST(DxtSizes, SizesBeyond32BitsFailInsteadOfWrapping) {
  // 65535 x 21845 x 3 = 4,294,836,225 fits; one row more does not.
  EXPECT_EQ(4294836225u, GetDxtcDecodedSize(65535, 21845, DXTC_DXT1, 0));
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetDxtcDecodedSize(65535, 21846, DXTC_DXT1, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  // 2^16 x 2^16 pixels: 2^31 bytes of DXT1 blocks fit, 2^32 of DXT3 blocks do not.
  EXPECT_EQ(0x80000000u, GetDxtcCompressedSize(65536, 65536, DXTC_DXT1, 0));
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetDxtcCompressedSize(65536, 65536, DXTC_DXT3, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetDxtcDecodedSize(65536, 65536, DXTC_DXT1A, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  // Smaller levels of the same image fit again.
  EXPECT_EQ(0xC0000000u, GetDxtcDecodedSize(65536, 65536, DXTC_DXT1, 1));
  EXPECT_EQ(0x40000000u, GetDxtcDecodedSize(65536, 65536, DXTC_DXT1A, 2));
}
