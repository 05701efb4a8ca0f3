// The ZTEX writer of the tests and tools: its files are valid textures and
// its DXT blocks are varied, three-colour DXT1A blocks with transparent
// pixels among them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DecompDXTC.h"
#include "DecompZTEX.h"
#include "TextureTestSupport.h"
#include "ZTEX.h"
#include "ZtexWriter.h"

TEST(ZtexWriter, FilesHoldTheLevelsTheSizeRulesExpect) {
  RgbaImage image;
  ASSERT_TRUE(MakePattern("rings", 64, 32, 0, &image));
  for (uint32_t format = ZTEX_A4R4G4B4; format <= ZTEX_DXT5; ++format) {
    Bytes file;
    ASSERT_TRUE(BuildZtexFile(format, image, 5, &file));
    ZtexHeader header;
    ReadZtexHeader(file.data(), &header);
    ASSERT_TRUE(HasZtexSignature(header));
    size_t expected = 36;
    for (uint32_t level = 0; level < 5; ++level) expected += GetZtexLevelSize(header, level);
    EXPECT_EQ(expected, file.size()) << format;
  }
}

TEST(ZtexWriter, Dxt1aBlocksUseTheThreeColourModeForTransparentPixels) {
  // Rings of colour whose alpha falls below 128 far from their centre.
  RgbaImage image;
  ASSERT_TRUE(MakePattern("rings", 64, 64, 0, &image));
  Bytes blocks;
  ASSERT_TRUE(EncodeZtexLevel(ZTEX_DXT1A, image, &blocks));
  int transparentBlocks = 0, fourColourBlocks = 0;
  for (size_t at = 0; at < blocks.size(); at += 8) {
    const uint32_t c0 = blocks[at] | blocks[at + 1] << 8, c1 = blocks[at + 2] | blocks[at + 3] << 8;
    bool indexThree = false;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) indexThree = indexThree || ((blocks[at + 4 + r] >> (2 * c)) & 3) == 3;
    if (c0 <= c1 && indexThree) ++transparentBlocks;
    if (c0 > c1) ++fourColourBlocks;
  }
  EXPECT_GT(transparentBlocks, 0);
  EXPECT_GT(fourColourBlocks, 0);
  // Decoded, exactly the pixels of alpha below 128 are transparent.
  Bytes pixels(64 * 64 * 4);
  ASSERT_EQ(BOOL32_TRUE, DecompressDxtc(64, 64, DXTC_DXT1A, blocks.data(), pixels.data(), 64 * 64 * 4));
  for (size_t i = 0; i < 64 * 64; ++i)
    ASSERT_EQ(image.Pixels[i * 4 + 3] < 128 ? 0 : 255, pixels[i * 4 + 3]) << i;
}

TEST(ZtexWriter, EncodedPicturesDecodeCloseToTheirColours) {
  // Blue, green and red come back near the RGBA picture's values (a channel
  // swap or a misplaced block would be far off). The quadrants meet on block
  // edges, so every block holds one colour.
  RgbaImage image;
  ASSERT_TRUE(MakePattern("quadrants", 24, 16, 0, &image));
  for (uint32_t format : {(uint32_t)ZTEX_R5G6B5, (uint32_t)ZTEX_A4R4G4B4, (uint32_t)ZTEX_DXT1,
                          (uint32_t)ZTEX_DXT3}) {
    Bytes stored;
    ASSERT_TRUE(EncodeZtexLevel(format, image, &stored));
    ZtexHeader header = {};
    header.Format = format;
    header.Width = 24;
    header.Height = 16;
    const uint32_t size = GetZtexDecodedSize(header, 0), bytes = size / (24 * 16);
    Bytes pixels(size);
    ASSERT_EQ(BOOL32_TRUE, DecodeZtexPixels(header, stored.data(), pixels.data(), size));
    for (size_t i = 0; i < 24 * 16; ++i)
      for (int k = 0; k < 3; ++k)
        ASSERT_LE(std::abs(pixels[i * bytes + k] - image.Pixels[i * 4 + 2 - k]), 16)
            << "format " << format << " pixel " << i << " channel " << k;
  }
}
