// The ZTEX header record and the size rules of its mip levels.
#include <gtest/gtest.h>

#include "DecompZTEX.h"
#include "TextureTestSupport.h"
#include "ZTEX.h"
#include "ZtexWriter.h"

namespace {

ZtexHeader Header(uint32_t format, uint32_t width, uint32_t height) {
  ZtexHeader header = {};
  header.Signature[0] = 'Z';
  header.Signature[1] = 'T';
  header.Signature[2] = 'E';
  header.Signature[3] = 'X';
  header.Format = format;
  header.Width = width;
  header.Height = height;
  header.MipMapCount = 1;
  return header;
}

const uint32_t ALL_FORMATS[] = {ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_R5G6B5, ZTEX_A8R8G8B8,
                                ZTEX_DXT1,     ZTEX_DXT1A,    ZTEX_DXT3,   ZTEX_DXT5};

}  // namespace

TEST(ZtexHeaderRecord, ReadsNineLittleEndianFields) {
  Bytes bytes = {'Z', 'T', 'E', 'X'};
  for (uint32_t field = 1; field < 9; ++field)
    for (int i = 0; i < 4; ++i) bytes.push_back((uint8_t)(field * 0x11 + i * 0x40));
  ZtexHeader header;
  ReadZtexHeader(bytes.data(), &header);
  EXPECT_TRUE(HasZtexSignature(header));
  EXPECT_EQ(0xD1915111u, header.Reserved1);
  EXPECT_EQ(0xE2A26222u, header.Format);
  EXPECT_EQ(0xF3B37333u, header.Width);
  EXPECT_EQ(0x04C48444u, header.Height);
  EXPECT_EQ(0x15D59555u, header.MipMapCount);
  EXPECT_EQ(0x26E6A666u, header.Reserved2);
  EXPECT_EQ(0x37F7B777u, header.Reserved3);
  EXPECT_EQ(0x4808C888u, header.Reserved4);
}

TEST(ZtexHeaderRecord, SignatureIsExactlyZTEX) {
  for (const char* signature : {"ZTEX", "ZETX", "ztex", "XETZ", "ZTE "}) {
    Bytes bytes = MakeZtexHeader(ZTEX_DXT1, 4, 4, 1);
    for (int i = 0; i < 4; ++i) bytes[i] = (uint8_t)signature[i];
    ZtexHeader header;
    ReadZtexHeader(bytes.data(), &header);
    EXPECT_EQ(std::string(signature) == "ZTEX", HasZtexSignature(header)) << signature;
  }
}

TEST(ZtexSizeRules, WorkedDxt1TextureWithEightLevels) {
  const ZtexHeader header = Header(ZTEX_DXT1, 256, 128);
  const uint32_t expected[8] = {16384, 4096, 1024, 256, 64, 16, 8, 8};
  uint32_t smaller = 0;
  for (uint32_t level = 0; level < 8; ++level) {
    EXPECT_EQ(expected[level], GetZtexLevelSize(header, level)) << "level " << level;
    if (level > 0) smaller += GetZtexLevelSize(header, level);
  }
  EXPECT_EQ(5472u, smaller);
  EXPECT_EQ(98304u, GetZtexDecodedSize(header, 0));
  EXPECT_EQ(24u, GetZtexOutputBits(header));
}

TEST(ZtexSizeRules, WorkedR5G6B5Texture) {
  const ZtexHeader header = Header(ZTEX_R5G6B5, 64, 32);
  EXPECT_EQ(4096u, GetZtexLevelSize(header, 0));
  EXPECT_EQ(6144u, GetZtexDecodedSize(header, 0));
  EXPECT_EQ(24u, GetZtexOutputBits(header));
}

TEST(ZtexSizeRules, OddDimensionsPassAtLevelZero) {
  const ZtexHeader header = Header(ZTEX_A8R8G8B8, 3, 5);
  EXPECT_EQ(60u, GetZtexLevelSize(header, 0));
  EXPECT_EQ(60u, GetZtexDecodedSize(header, 0));
  EXPECT_EQ(30u, GetZtexLevelSize(Header(ZTEX_A1R5G5B5, 3, 5), 0));
  EXPECT_EQ(45u, GetZtexDecodedSize(Header(ZTEX_R5G6B5, 3, 5), 0));
}

TEST(ZtexSizeRules, LevelsEndWhereADimensionStopsDividing) {
  const ZtexHeader header = Header(ZTEX_A8R8G8B8, 256, 64);
  EXPECT_EQ(16u, GetZtexLevelSize(header, 6));  // 4 x 1
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexLevelSize(header, 7));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexDecodedSize(header, 7));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
}

TEST(ZtexSizeRules, DxtLevelSmallerThanABlockTakesAWholeBlock) {
  const ZtexHeader header = Header(ZTEX_DXT3, 2, 1);
  EXPECT_EQ(16u, GetZtexLevelSize(header, 0));
  EXPECT_EQ(8u, GetZtexDecodedSize(header, 0));
  EXPECT_EQ(8u, GetZtexLevelSize(Header(ZTEX_DXT1A, 8, 2), 1));  // 4 x 1
}

TEST(ZtexSizeRules, LevelCountsModulo32) {
  const ZtexHeader header = Header(ZTEX_DXT1A, 256, 128);
  EXPECT_EQ(GetZtexLevelSize(header, 0), GetZtexLevelSize(header, 32));
  EXPECT_EQ(GetZtexDecodedSize(header, 3), GetZtexDecodedSize(header, 35));
  // Level 65535 shifts by 31: only a dimension of exactly 2^31 survives.
  EXPECT_EQ(4u, GetZtexLevelSize(Header(ZTEX_A8R8G8B8, 0x80000000u, 0x80000000u), 65535));
  EXPECT_EQ(16u, GetZtexLevelSize(Header(ZTEX_DXT5, 0x80000000u, 0x80000000u), 65535));
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexLevelSize(Header(ZTEX_A8R8G8B8, 0x40000000u, 0x80000000u), 65535));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
}

TEST(ZtexSizeRules, UnsupportedFormatsFailDifferentlyPerRule) {
  for (uint32_t format : {0u, 5u, 14u, 0xFFFFFFFFu}) {
    const ZtexHeader header = Header(format, 16, 16);
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetZtexLevelSize(header, 0));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError()) << format;
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetZtexDecodedSize(header, 0));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PIXEL_FORMAT, PlatGetLastError()) << format;
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetZtexOutputBits(header));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PIXEL_FORMAT, PlatGetLastError()) << format;
    PlatSetLastError(77);
    EXPECT_EQ(0u, ZtexToDxtcType(format));
    EXPECT_EQ(77u, PlatGetLastError());
  }
}

TEST(ZtexSizeRules, ZeroDimensionIsReportedBeforeTheFormat) {
  for (const ZtexHeader& header : {Header(5, 0, 16), Header(14, 16, 0)}) {
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetZtexLevelSize(header, 0));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
    PlatSetLastError(0);
    EXPECT_EQ(0u, GetZtexDecodedSize(header, 0));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  }
}

TEST(ZtexSizeRules, Dxt5HasTheSizesOfDxt3) {
  const ZtexHeader dxt5 = Header(ZTEX_DXT5, 12, 20), dxt3 = Header(ZTEX_DXT3, 12, 20);
  EXPECT_EQ(15u * 16, GetZtexLevelSize(dxt5, 0));
  EXPECT_EQ(GetZtexLevelSize(dxt3, 2), GetZtexLevelSize(dxt5, 2));
  EXPECT_EQ(12u * 20 * 4, GetZtexDecodedSize(dxt5, 0));
  EXPECT_EQ(32u, GetZtexOutputBits(dxt5));
}

TEST(ZtexSizeRules, DepthIsEightTimesTheDecodedPixelSize) {
  for (uint32_t format : ALL_FORMATS) {
    const ZtexHeader header = Header(format, 1, 1);
    EXPECT_EQ(8 * GetZtexDecodedSize(header, 0), GetZtexOutputBits(header)) << format;
  }
  EXPECT_EQ(32u, GetZtexOutputBits(Header(ZTEX_A4R4G4B4, 0, 0)));  // needs no dimensions
}

TEST(ZtexSizeRules, DxtFormatsMapToTheirDxtcTypes) {
  EXPECT_EQ(1u, ZtexToDxtcType(ZTEX_DXT1));
  EXPECT_EQ(2u, ZtexToDxtcType(ZTEX_DXT1A));
  EXPECT_EQ(4u, ZtexToDxtcType(ZTEX_DXT3));
  EXPECT_EQ(6u, ZtexToDxtcType(ZTEX_DXT5));
  for (uint32_t format : {ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_R5G6B5, ZTEX_A8R8G8B8})
    EXPECT_EQ(0u, ZtexToDxtcType(format));
}

TEST(ZtexSizeRules, SuccessLeavesTheLastErrorAlone) {
  PlatSetLastError(31337);
  for (uint32_t format : ALL_FORMATS) {
    const ZtexHeader header = Header(format, 64, 32);
    EXPECT_NE(0u, GetZtexLevelSize(header, 3));
    EXPECT_NE(0u, GetZtexDecodedSize(header, 3));
    EXPECT_NE(0u, GetZtexOutputBits(header));
  }
  EXPECT_EQ(31337u, PlatGetLastError());
}

TEST(ZtexSizeRules, SizesBeyond32BitsFailInsteadOfWrapping) {
  // 40000 x 40000 x 4 = 6.4e9 bytes; wrapped it would be 2,105,032,704.
  const ZtexHeader big = Header(ZTEX_A8R8G8B8, 40000, 40000);
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexLevelSize(big, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexDecodedSize(big, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  EXPECT_EQ(1600000000u, GetZtexLevelSize(big, 1));  // 20000 x 20000 fits
  // 65536 x 65536 x 2 = 2^33 would wrap to 0; x 3 decoded would wrap too.
  const ZtexHeader wide = Header(ZTEX_R5G6B5, 65536, 65536);
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexLevelSize(wide, 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  PlatSetLastError(0);
  EXPECT_EQ(0u, GetZtexDecodedSize(Header(ZTEX_DXT3, 65536, 65536), 0));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  EXPECT_EQ(0xFFFFFFFCu, GetZtexLevelSize(Header(ZTEX_A8R8G8B8, 0x3FFFFFFF, 1), 0));
}
