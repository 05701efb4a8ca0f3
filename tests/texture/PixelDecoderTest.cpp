// The decoders of the ZTEX pixel formats behind DecodeZtexPixels.
#include <gtest/gtest.h>

#include <algorithm>

#include "DecompZTEX.h"
#include "TextureTestSupport.h"
#include "ZTEX.h"

namespace {

ZtexHeader Header(uint32_t format, uint32_t width, uint32_t height) {
  ZtexHeader header = {};
  header.Format = format;
  header.Width = width;
  header.Height = height;
  return header;
}

Bytes Words(std::initializer_list<uint16_t> words) {
  Bytes bytes;
  for (uint16_t w : words) {
    bytes.push_back((uint8_t)w);
    bytes.push_back((uint8_t)(w >> 8));
  }
  return bytes;
}

// Decodes a width x height image into exactly `size` bytes followed by guard
// bytes, which must survive.
Bytes Decode(uint32_t format, uint32_t width, uint32_t height, const Bytes& source, uint32_t size,
             Bool32* result) {
  Bytes target(size + 8, 0xCD);
  *result = DecodeZtexPixels(Header(format, width, height), source.data(), target.data(), size);
  for (uint32_t i = size; i < size + 8; ++i) EXPECT_EQ(0xCD, target[i]) << "written past the end";
  target.resize(size);
  return target;
}

Bytes DecodeOk(uint32_t format, uint32_t width, uint32_t height, const Bytes& source,
               uint32_t size) {
  Bool32 result;
  Bytes pixels = Decode(format, width, height, source, size, &result);
  EXPECT_EQ(BOOL32_TRUE, result);
  return pixels;
}

}  // namespace

TEST(PixelDecoders, A4R4G4B4NibblesTimes17) {
  const Bytes pixels = DecodeOk(ZTEX_A4R4G4B4, 3, 1, Words({0xF000, 0x0FFF, 0x1234}), 12);
  EXPECT_EQ(Bgra(0, 0, 0, 255), PixelAt(pixels, 3, 4, 0, 0));
  EXPECT_EQ(Bgra(255, 255, 255, 0), PixelAt(pixels, 3, 4, 1, 0));
  EXPECT_EQ(Bgra(68, 51, 34, 17), PixelAt(pixels, 3, 4, 2, 0));
}

TEST(PixelDecoders, A1R5G5B5FieldsTimes8AndOneAlphaBit) {
  const Bytes pixels =
      DecodeOk(ZTEX_A1R5G5B5, 2, 2, Words({0x8000, 0x7FFF, 0x7C00, 0x83E1}), 16);
  EXPECT_EQ(Bgra(0, 0, 0, 255), PixelAt(pixels, 2, 4, 0, 0));
  EXPECT_EQ(Bgra(248, 248, 248, 0), PixelAt(pixels, 2, 4, 1, 0));
  EXPECT_EQ(Bgra(0, 0, 248, 0), PixelAt(pixels, 2, 4, 0, 1));   // red only
  EXPECT_EQ(Bgra(8, 248, 0, 255), PixelAt(pixels, 2, 4, 1, 1));  // green 31, blue 1
}

TEST(PixelDecoders, R5G6B5ToThreeBytes) {
  const Bytes pixels =
      DecodeOk(ZTEX_R5G6B5, 5, 1, Words({0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0821}), 15);
  EXPECT_EQ(Bgr(248, 252, 248), PixelAt(pixels, 5, 3, 0, 0));
  EXPECT_EQ(Bgr(0, 0, 248), PixelAt(pixels, 5, 3, 1, 0));
  EXPECT_EQ(Bgr(0, 252, 0), PixelAt(pixels, 5, 3, 2, 0));
  EXPECT_EQ(Bgr(248, 0, 0), PixelAt(pixels, 5, 3, 3, 0));
  EXPECT_EQ(Bgr(8, 4, 8), PixelAt(pixels, 5, 3, 4, 0));  // the lowest bit of each field
}

TEST(PixelDecoders, A8R8G8B8IsCopiedByteForByte) {
  Bytes source;
  for (int i = 0; i < 3 * 5 * 4; ++i) source.push_back((uint8_t)(i * 7 + 3));
  EXPECT_EQ(source, DecodeOk(ZTEX_A8R8G8B8, 3, 5, source, 60));
}

TEST(PixelDecoders, SourcePixelIBecomesTargetPixelI) {
  // 3 x 2 of distinct words: the order of rows and columns is kept.
  const Bytes pixels = DecodeOk(ZTEX_A4R4G4B4, 3, 2,
                                Words({0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000}), 24);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(17 * (i + 1), pixels[i * 4 + 3]) << i;
}

TEST(PixelDecoders, DxtFormatsGoToTheirDxtcTypes) {
  // colour0 0x0000, colour1 0xFFFF: three colours for DXT1A, four for DXT3.
  const Bytes color = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const Bytes dxt1 = DecodeOk(ZTEX_DXT1, 1, 1, color, 3);
  EXPECT_EQ(Bgr(0, 0, 0), dxt1);
  EXPECT_EQ(Bgra(0, 0, 0, 0), DecodeOk(ZTEX_DXT1A, 1, 1, color, 4));
  Bytes dxt3 = {0x07, 0, 0, 0, 0, 0, 0, 0};
  Append(&dxt3, color);
  EXPECT_EQ(Bgra(165, 168, 165, 119), DecodeOk(ZTEX_DXT3, 1, 1, dxt3, 4));
}

TEST(PixelDecoders, ExactTargetSucceedsAndOneByteLessFails) {
  const struct {
    uint32_t format, size;
  } cases[] = {{ZTEX_A4R4G4B4, 24}, {ZTEX_A1R5G5B5, 24}, {ZTEX_R5G6B5, 18}, {ZTEX_A8R8G8B8, 24},
               {ZTEX_DXT1, 18},     {ZTEX_DXT1A, 24},    {ZTEX_DXT3, 24}};
  const Bytes source(32, 0x3C);
  for (const auto& c : cases) {
    Bool32 result;
    Decode(c.format, 3, 2, source, c.size, &result);
    EXPECT_EQ(BOOL32_TRUE, result) << c.format;
    PlatSetLastError(0);
    const Bytes untouched = Decode(c.format, 3, 2, source, c.size - 1, &result);
    EXPECT_EQ(BOOL32_FALSE, result) << c.format;
    EXPECT_EQ((uint32_t)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError()) << c.format;
    EXPECT_EQ(Bytes(c.size - 1, 0xCD), untouched) << c.format;
  }
}

TEST(PixelDecoders, NullPointersFailWithoutACode) {
  Bytes buffer(64);
  for (uint32_t format : {(uint32_t)ZTEX_A4R4G4B4, (uint32_t)ZTEX_DXT1, 5u}) {
    PlatSetLastError(4242);
    EXPECT_EQ(BOOL32_FALSE, DecodeZtexPixels(Header(format, 2, 2), nullptr, buffer.data(), 64));
    EXPECT_EQ(BOOL32_FALSE, DecodeZtexPixels(Header(format, 2, 2), buffer.data(), nullptr, 64));
    EXPECT_EQ(4242u, PlatGetLastError());
  }
}

TEST(PixelDecoders, FailureCodes) {
  const struct {
    uint32_t format, width, height, code;
  } cases[] = {
      {5, 2, 2, ERROR_INVALID_PARAMETER},
      {14, 2, 2, ERROR_INVALID_PARAMETER},
      {ZTEX_A4R4G4B4, 0, 2, ERROR_INVALID_PARAMETER},
      {ZTEX_R5G6B5, 2, 0, ERROR_INVALID_PARAMETER},
      {ZTEX_A8R8G8B8, 0, 0, ERROR_INVALID_PARAMETER},
      {ZTEX_DXT1, 0, 2, ERROR_INVALID_PARAMETER},
      {ZTEX_DXT5, 2, 2, ERROR_CALL_NOT_IMPLEMENTED},
  };
  const Bytes source(64, 0x11);
  for (const auto& c : cases) {
    Bool32 result;
    PlatSetLastError(0);
    const Bytes target = Decode(c.format, c.width, c.height, source, 64, &result);
    EXPECT_EQ(BOOL32_FALSE, result) << c.format;
    EXPECT_EQ(c.code, PlatGetLastError()) << c.format;
    EXPECT_EQ(Bytes(64, 0xCD), target) << c.format;
  }
}

TEST(PixelDecoders, SuccessLeavesTheLastErrorAlone) {
  const Bytes source(64, 0x77);
  for (uint32_t format : {ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_R5G6B5, ZTEX_A8R8G8B8, ZTEX_DXT1,
                          ZTEX_DXT1A, ZTEX_DXT3}) {
    PlatSetLastError(999);
    Bool32 result;
    Decode(format, 2, 2, source, 16, &result);
    EXPECT_EQ(BOOL32_TRUE, result);
    EXPECT_EQ(999u, PlatGetLastError()) << format;
  }
}

TEST(PixelDecoders, HugeImagesDoNotWrapTheTargetCheck) {
  // 65536 x 65536 x 4 wraps to 0 in 32 bits, 0x55555556 x 3 to 2.
  const Bytes source(16, 0);
  for (uint32_t format : {ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_A8R8G8B8}) {
    Bool32 result;
    PlatSetLastError(0);
    EXPECT_EQ(Bytes(16, 0xCD), Decode(format, 65536, 65536, source, 16, &result));
    EXPECT_EQ(BOOL32_FALSE, result);
    EXPECT_EQ((uint32_t)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError());
  }
  Bool32 result;
  PlatSetLastError(0);
  EXPECT_EQ(Bytes(16, 0xCD), Decode(ZTEX_R5G6B5, 0x55555556, 1, source, 16, &result));
  EXPECT_EQ((uint32_t)ERROR_INSUFFICIENT_BUFFER, PlatGetLastError());
}

// --- Bands -------------------------------------------------------------------------

namespace {

// Rows of a top-down image in reverse order.
Bytes ReverseRows(const Bytes& pixels, size_t rowBytes) {
  Bytes reversed;
  for (size_t at = pixels.size(); at >= rowBytes; at -= rowBytes)
    reversed.insert(reversed.end(), pixels.begin() + (at - rowBytes), pixels.begin() + at);
  return reversed;
}

const struct {
  uint32_t format, pixelBytes, groupRows;
} BandFormats[] = {{ZTEX_A4R4G4B4, 4, 1}, {ZTEX_A1R5G5B5, 4, 1}, {ZTEX_R5G6B5, 3, 1},
                   {ZTEX_A8R8G8B8, 4, 1}, {ZTEX_DXT1, 3, 4},     {ZTEX_DXT1A, 4, 4},
                   {ZTEX_DXT3, 4, 4}};

}  // namespace

TEST(ZtexBands, LayoutGivesTheGroupsOfLevelZero) {
  ZtexBandLayout layout;
  ASSERT_TRUE(GetZtexBandLayout(Header(ZTEX_DXT1, 13, 7), &layout));
  EXPECT_EQ(4u, layout.GroupRows);
  EXPECT_EQ(2u, layout.Groups);
  EXPECT_EQ(4u * 8, layout.GroupBytes);  // four blocks a block row
  EXPECT_EQ(13u * 3, layout.RowBytes);
  ASSERT_TRUE(GetZtexBandLayout(Header(ZTEX_DXT3, 4, 4), &layout));
  EXPECT_EQ(16u, layout.GroupBytes);
  ASSERT_TRUE(GetZtexBandLayout(Header(ZTEX_R5G6B5, 5, 3), &layout));
  EXPECT_EQ(1u, layout.GroupRows);
  EXPECT_EQ(3u, layout.Groups);
  EXPECT_EQ(10u, layout.GroupBytes);
  EXPECT_EQ(15u, layout.RowBytes);
  PlatSetLastError(0);
  EXPECT_FALSE(GetZtexBandLayout(Header(ZTEX_DXT5, 8, 8), &layout));
  EXPECT_EQ((uint32_t)ERROR_CALL_NOT_IMPLEMENTED, PlatGetLastError());
  EXPECT_FALSE(GetZtexBandLayout(Header(14, 8, 8), &layout));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  EXPECT_FALSE(GetZtexBandLayout(Header(ZTEX_DXT1, 8, 0), &layout));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
}

TEST(ZtexBands, BottomUpBandsInAnyPiecesGiveTheTopDownRowsReversed) {
  // Odd sizes, clipped DXT blocks included; arbitrary source bytes; the image
  // decoded in bands of 1, 2 and 3 groups into a buffer filled from its end.
  const uint32_t sizes[][2] = {{1, 1}, {13, 7}, {4, 8}, {9, 1}, {1, 6}, {17, 10}, {5, 3}};
  Bytes source(4096);
  for (size_t i = 0; i < source.size(); ++i) source[i] = (uint8_t)(i * 131 + (i >> 7));
  for (const auto& f : BandFormats)
    for (const auto& size : sizes)
      for (uint32_t band : {1u, 2u, 3u}) {
        const ZtexHeader header = Header(f.format, size[0], size[1]);
        const uint32_t bytes = size[0] * size[1] * f.pixelBytes;
        Bytes topDown(bytes), bottomUp(bytes + 16, 0xCD);
        ASSERT_EQ(BOOL32_TRUE, DecodeZtexPixels(header, source.data(), topDown.data(), bytes));
        ZtexBandLayout layout;
        ASSERT_TRUE(GetZtexBandLayout(header, &layout));
        ASSERT_EQ(f.groupRows, layout.GroupRows);
        const ptrdiff_t pitch = -(ptrdiff_t)layout.RowBytes;
        for (uint32_t first = 0; first < layout.Groups; first += band) {
          const uint32_t count = std::min(band, layout.Groups - first);
          uint8_t* firstRow = bottomUp.data() + 8 + (size_t)(size[1] - 1 - first * f.groupRows) * layout.RowBytes;
          DecodeZtexBand(header, first, count, source.data() + (size_t)first * layout.GroupBytes,
                         firstRow, pitch);
        }
        EXPECT_EQ(Bytes(8, 0xCD), Bytes(bottomUp.begin(), bottomUp.begin() + 8)) << "written before";
        EXPECT_EQ(Bytes(8, 0xCD), Bytes(bottomUp.end() - 8, bottomUp.end())) << "written past";
        EXPECT_EQ(ReverseRows(topDown, (size_t)size[0] * f.pixelBytes),
                  Bytes(bottomUp.begin() + 8, bottomUp.end() - 8))
            << f.format << " " << size[0] << "x" << size[1] << " in bands of " << band;
      }
}

TEST(ZtexBands, APitchWiderThanTheRowLeavesTheGapsAlone) {
  Bytes source(512);
  for (size_t i = 0; i < source.size(); ++i) source[i] = (uint8_t)(i * 7 + 3);
  for (const auto& f : BandFormats) {
    const ZtexHeader header = Header(f.format, 6, 5);
    const uint32_t row = 6 * f.pixelBytes, pitch = row + 5;
    Bytes topDown(6 * 5 * f.pixelBytes), padded(pitch * 5, 0xCD);
    ASSERT_EQ(BOOL32_TRUE, DecodeZtexPixels(header, source.data(), topDown.data(), (uint32_t)topDown.size()));
    ZtexBandLayout layout;
    ASSERT_TRUE(GetZtexBandLayout(header, &layout));
    DecodeZtexBand(header, 0, layout.Groups, source.data(), padded.data(), pitch);
    for (uint32_t y = 0; y < 5; ++y) {
      EXPECT_EQ(Bytes(topDown.begin() + y * row, topDown.begin() + (y + 1) * row),
                Bytes(padded.begin() + y * pitch, padded.begin() + y * pitch + row))
          << f.format << " row " << y;
      EXPECT_EQ(Bytes(5, 0xCD), Bytes(padded.begin() + y * pitch + row, padded.begin() + (y + 1) * pitch));
    }
  }
}
