// One ZTEX file to one TGA file, through real files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include "DecompZTEX.h"
#include "OskeltZtexConvert.h"
#include "Platform.h"
#include "TextureTestSupport.h"
#include "ZTEX.h"
#include "ZtexWriter.h"

namespace {

const char TGA_SIGNATURE[] = "TRUEVISION-XFILE.";


// A ZTEX file of the given header fields followed by `payload`.
Bytes Ztex(uint32_t format, uint32_t width, uint32_t height, uint32_t mipMapCount,
           const Bytes& payload) {
  Bytes file = MakeZtexHeader(format, width, height, mipMapCount);
  Append(&file, payload);
  return file;
}

// Distinct BGRA bytes for every pixel of a width x height image.
Bytes CountingPixels(uint32_t width, uint32_t height) {
  Bytes pixels;
  for (uint32_t i = 0; i < width * height; ++i) {
    pixels.push_back((uint8_t)(i * 3 + 1));
    pixels.push_back((uint8_t)(i * 5 + 2));
    pixels.push_back((uint8_t)(i * 7 + 3));
    pixels.push_back((uint8_t)(255 - i));
  }
  return pixels;
}

// A solid 8-byte DXT1 block of a 5:6:5 colour (four-colour mode, index 0).
Bytes SolidBlock(uint16_t color) {
  return {(uint8_t)color, (uint8_t)(color >> 8), 0, 0, 0, 0, 0, 0};
}

// The pixel expansion of 5:6:5 by shifts: blue, green, red.
Bytes Expand565(uint16_t c) {
  return {(uint8_t)((c & 0x1F) << 3), (uint8_t)(((c >> 5) & 0x3F) << 2), (uint8_t)((c >> 11) << 3)};
}

uint32_t TgaWidth(const Bytes& tga) { return tga[12] | tga[13] << 8; }
uint32_t TgaHeight(const Bytes& tga) { return tga[14] | tga[15] << 8; }

// Pixel (x, y) of the image, y counted from the top; the file stores the
// bottom row first.
Bytes TgaPixel(const Bytes& tga, uint32_t x, uint32_t y) {
  const uint32_t bytes = tga[16] / 8, width = TgaWidth(tga), height = TgaHeight(tga);
  const size_t at = 18 + ((size_t)(height - 1 - y) * width + x) * bytes;
  return Bytes(tga.begin() + at, tga.begin() + at + bytes);
}

void ExpectTgaFrame(const Bytes& tga, uint32_t width, uint32_t height, uint32_t depth) {
  const size_t size = 18 + (size_t)width * height * depth / 8 + 26;
  ASSERT_EQ(size, tga.size());
  const Bytes header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, (uint8_t)width, (uint8_t)(width >> 8),
                        (uint8_t)height, (uint8_t)(height >> 8), (uint8_t)depth,
                        (uint8_t)(depth - 24)};
  EXPECT_EQ(header, Bytes(tga.begin(), tga.begin() + 18));
  Bytes footer(8, 0);
  footer.insert(footer.end(), TGA_SIGNATURE, TGA_SIGNATURE + 18);
  EXPECT_EQ(footer, Bytes(tga.end() - 26, tga.end()));
}

// Every conversion of these tests runs three ways, which must agree byte for
// byte and code for code: without a context, and through kept contexts of
// one and of two threads.
class Convert : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OneThread = CreateConvertContext(1);
    TwoThreads = CreateConvertContext(2);
  }
  static void TearDownTestSuite() {
    ReleaseConvertContext(OneThread);
    ReleaseConvertContext(TwoThreads);
  }
  static ConvertContext* OneThread;
  static ConvertContext* TwoThreads;

  Conversion Run(const Bytes& ztex) {
    const Conversion own = ConvertBytes(ztex);
    for (ConvertContext* context : {OneThread, TwoThreads}) {
      const Conversion kept = ConvertBytes(ztex, context);
      const char* how = context == OneThread ? "one thread" : "two threads";
      EXPECT_EQ(own.Converted, kept.Converted) << how;
      EXPECT_EQ(own.Code, kept.Code) << how;
      EXPECT_TRUE(own.Output == kept.Output) << how << ": " << kept.Output.size() << " bytes";
    }
    return own;
  }
  void ExpectFailure(const Bytes& ztex, uint32_t code) {
    const Conversion result = Run(ztex);
    EXPECT_FALSE(result.Converted);
    EXPECT_EQ(code, result.Code);
    EXPECT_TRUE(result.Output.empty()) << result.Output.size() << " bytes written";
  }
};

// Arbitrary but reproducible bytes: every index pattern and colour mode of
// the DXT blocks turns up.
Bytes NoiseBytes(size_t count, uint32_t seed) {
  Bytes bytes(count);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = (uint8_t)(x >> 24);
  }
  return bytes;
}

// A ZTEX file with noise for every stored level.
Bytes NoiseZtex(uint32_t format, uint32_t width, uint32_t height, uint32_t mipMapCount) {
  Bytes file = MakeZtexHeader(format, width, height, mipMapCount);
  const ZtexHeader header = {{'Z', 'T', 'E', 'X'}, 0, format, width, height, mipMapCount, 0, 0, 0};
  for (uint32_t level = mipMapCount - 1; level >= 1; --level)
    Append(&file, Bytes(GetZtexLevelSize(header, level), (uint8_t)level));
  Append(&file, NoiseBytes(GetZtexLevelSize(header, 0), width ^ height << 8 ^ format << 16));
  return file;
}

// The TGA file as a decoding that does not stream gives it: the whole of
// level 0 decoded top down into one buffer, its rows reversed by FlipRows,
// between the TGA header and footer.
Bytes WholeImageTga(const Bytes& ztex) {
  ZtexHeader header;
  ReadZtexHeader(ztex.data(), &header);
  size_t at = 36;
  for (uint32_t level = header.MipMapCount - 1; level >= 1; --level) at += GetZtexLevelSize(header, level);
  const uint32_t decoded = GetZtexDecodedSize(header, 0), depth = GetZtexOutputBits(header);
  Bytes pixels(decoded);
  EXPECT_TRUE(DecodeZtexPixels(header, ztex.data() + at, pixels.data(), decoded));
  EXPECT_TRUE(FlipRows(header.Height, decoded, pixels.data()));
  Bytes tga(18 + (size_t)decoded + 26, 0);
  tga[2] = 2;
  tga[12] = (uint8_t)header.Width;
  tga[13] = (uint8_t)(header.Width >> 8);
  tga[14] = (uint8_t)header.Height;
  tga[15] = (uint8_t)(header.Height >> 8);
  tga[16] = (uint8_t)depth;
  tga[17] = (uint8_t)(depth - 24);
  std::copy(pixels.begin(), pixels.end(), tga.begin() + 18);
  std::copy(TGA_SIGNATURE, TGA_SIGNATURE + 18, tga.end() - 18);
  return tga;
}

// A memory source whose reads, counted from 1, fail from read `failAt` on.
struct FailingSource {
  const Bytes* Ztex;
  int Reads = 0;
  int FailAt = 0;
  uint32_t Code = 0;
  bool ShortInstead = false;  // deliver a byte less instead of failing
};

bool ReadFailing(void* context, uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
  FailingSource* source = static_cast<FailingSource*>(context);
  *done = 0;
  if (++source->Reads >= source->FailAt && source->FailAt > 0) {
    if (!source->ShortInstead) {
      PlatSetLastError(source->Code);
      return false;
    }
    size = size > 0 ? size - 1 : 0;
  }
  const uint64_t left = offset < source->Ztex->size() ? source->Ztex->size() - offset : 0;
  *done = left < size ? (uint32_t)left : size;
  std::memcpy(buffer, source->Ztex->data() + offset, *done);
  return true;
}

// A memory sink whose writes, counted from 1, fail from write `failAt` on.
struct FailingSink {
  Bytes Output;
  int Writes = 0;
  int FailAt = 0;
  uint32_t Code = 0;
};

bool WriteFailing(void* context, const void* bytes, uint32_t size) {
  FailingSink* sink = static_cast<FailingSink*>(context);
  if (++sink->Writes >= sink->FailAt && sink->FailAt > 0) {
    PlatSetLastError(sink->Code);
    return false;
  }
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  sink->Output.insert(sink->Output.end(), from, from + size);
  return true;
}

ConvertContext* Convert::OneThread = nullptr;
ConvertContext* Convert::TwoThreads = nullptr;

}  // namespace

// --- The header -------------------------------------------------------------------

TEST_F(Convert, InputShorterThanTheHeaderIsCorrupt) {
  ExpectFailure(Bytes(), ERROR_FILE_CORRUPT);
  Bytes header = Ztex(ZTEX_A8R8G8B8, 1, 1, 1, Bytes());
  header.pop_back();
  ExpectFailure(header, ERROR_FILE_CORRUPT);
}

TEST_F(Convert, WrongSignatureIsNoZtexFile) {
  for (const char* signature : {"ZETX", "ztex", "XETZ"}) {
    Bytes file = Ztex(ZTEX_A8R8G8B8, 2, 2, 1, CountingPixels(2, 2));
    for (int i = 0; i < 4; ++i) file[i] = (uint8_t)signature[i];
    ExpectFailure(file, ERROR_INVALID_DATATYPE);
  }
  ExpectFailure(Bytes(36, 0), ERROR_INVALID_DATATYPE);
}

// --- Mip levels ---------------------------------------------------------------------

TEST_F(Convert, OneLevelIsReadRightBehindTheHeader) {
  const Bytes pixels = CountingPixels(2, 2);
  for (uint32_t count : {1u, 65537u}) {
    const Conversion result = Run(Ztex(ZTEX_A8R8G8B8, 2, 2, count, pixels));
    ASSERT_TRUE(result.Converted) << count;
    ExpectTgaFrame(result.Output, 2, 2, 32);
    EXPECT_EQ(PixelAt(pixels, 2, 4, 0, 0), TgaPixel(result.Output, 0, 0));
    EXPECT_EQ(PixelAt(pixels, 2, 4, 1, 1), TgaPixel(result.Output, 1, 1));
  }
}

TEST_F(Convert, WorkedDxt1TextureIsReadFromOffset5508) {
  // Levels 7 to 1 are 5472 bytes of grey blocks; level 0 has one colour per
  // block, from its column and row, so any misplaced byte shows.
  Bytes file = MakeZtexHeader(ZTEX_DXT1, 256, 128, 8);
  for (int i = 0; i < 5472 / 8; ++i) Append(&file, SolidBlock(0x8410));
  ASSERT_EQ(5508u, file.size());
  auto color = [](uint32_t bx, uint32_t by) { return (uint16_t)(0x8000 | by << 6 | bx); };
  for (uint32_t by = 0; by < 32; ++by)
    for (uint32_t bx = 0; bx < 64; ++bx) Append(&file, SolidBlock(color(bx, by)));
  Append(&file, Bytes(100, 0xEE));  // never read

  const Conversion result = Run(file);
  ASSERT_TRUE(result.Converted) << result.Code;
  EXPECT_EQ(98348u, result.Output.size());
  ExpectTgaFrame(result.Output, 256, 128, 24);
  for (uint32_t y : {0u, 3u, 4u, 77u, 127u})
    for (uint32_t x : {0u, 5u, 128u, 255u})
      EXPECT_EQ(Expand565(color(x / 4, y / 4)), TgaPixel(result.Output, x, y)) << x << "," << y;
}

TEST_F(Convert, MipMapCountZeroStartsAtLevel65535AndFails) {
  ExpectFailure(Ztex(ZTEX_DXT1, 256, 128, 0, Bytes(16384, 0)), ERROR_INVALID_DATATYPE);
  ExpectFailure(Ztex(ZTEX_A8R8G8B8, 2, 2, 0x10000, CountingPixels(2, 2)), ERROR_INVALID_DATATYPE);
}

TEST_F(Convert, UnsupportedFormatFailsWithOrWithoutSmallerLevels) {
  for (uint32_t format : {5u, 14u, 0u})
    for (uint32_t count : {1u, 3u}) ExpectFailure(Ztex(format, 8, 8, count, Bytes(512, 1)), ERROR_INVALID_DATATYPE);
}

TEST_F(Convert, DimensionsMustDivideDownToTheSmallestLevel) {
  // 6 x 4 has levels 0 and 1 only: a third level cannot exist.
  ExpectFailure(Ztex(ZTEX_A8R8G8B8, 6, 4, 3, Bytes(200, 1)), ERROR_INVALID_DATATYPE);
  ExpectFailure(Ztex(ZTEX_A8R8G8B8, 0, 4, 1, Bytes(200, 1)), ERROR_INVALID_DATATYPE);
  const Conversion two = Run(Ztex(ZTEX_A8R8G8B8, 6, 4, 2, Bytes(24 + 96, 1)));
  EXPECT_TRUE(two.Converted);
}

TEST_F(Convert, SmallerLevelsAreSkippedNotRead) {
  // R5G6B5 8 x 4 with 3 levels: 2 x 1 (4 bytes), 4 x 2 (16 bytes), then level 0.
  Bytes level0;
  for (int i = 0; i < 32; ++i) Append(&level0, {(uint8_t)(i * 9), (uint8_t)(0xF8 - i)});
  Bytes file = Ztex(ZTEX_R5G6B5, 8, 4, 3, Bytes(20, 0xFF));
  Append(&file, level0);
  const Conversion result = Run(file);
  ASSERT_TRUE(result.Converted);
  ExpectTgaFrame(result.Output, 8, 4, 24);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      const size_t i = y * 8 + x;
      EXPECT_EQ(Expand565((uint16_t)(level0[2 * i] | level0[2 * i + 1] << 8)),
                TgaPixel(result.Output, x, y));
    }
}

// --- Truncated and longer files -----------------------------------------------------

TEST_F(Convert, FileCutShortAnywhereFailsAtTheReadOfLevelZero) {
  RgbaImage image;
  ASSERT_TRUE(MakePattern("gradient", 16, 8, 0, &image));
  Bytes file;
  ASSERT_TRUE(BuildZtexFile(ZTEX_DXT3, image, 3, &file));
  ASSERT_EQ(36u + 16 + 32 + 128, file.size());
  for (size_t keep : {(size_t)36, (size_t)40, (size_t)52, (size_t)83, (size_t)84, file.size() - 1}) {
    ExpectFailure(Bytes(file.begin(), file.begin() + keep), ERROR_HANDLE_EOF);
  }
  const Conversion whole = Run(file);
  ASSERT_TRUE(whole.Converted);
  Bytes longer = file;
  Append(&longer, Bytes(1000, 0x42));
  const Conversion extra = Run(longer);
  ASSERT_TRUE(extra.Converted);
  EXPECT_EQ(whole.Output, extra.Output);
}

TEST_F(Convert, ShortFileClaimingAHugeLevelFailsAsTheReadWould) {
  // 16384 x 16384 x 4 bytes = 1 GiB of level 0 claimed by a 136-byte file.
  ExpectFailure(Ztex(ZTEX_A8R8G8B8, 16384, 16384, 1, Bytes(100, 7)), ERROR_HANDLE_EOF);
  // The same behind skipped levels: they lie past the end of the file.
  ExpectFailure(Ztex(ZTEX_DXT1, 16384, 16384, 4, Bytes(100, 7)), ERROR_HANDLE_EOF);
}

// --- The TGA image --------------------------------------------------------------------

TEST_F(Convert, OnePixelA8R8G8B8GivesA48ByteImage) {
  const Bytes pixel = {10, 20, 30, 40};
  const Conversion result = Run(Ztex(ZTEX_A8R8G8B8, 1, 1, 1, pixel));
  ASSERT_TRUE(result.Converted);
  Bytes expected = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8};
  Append(&expected, pixel);
  Append(&expected, Bytes(8, 0));
  expected.insert(expected.end(), TGA_SIGNATURE, TGA_SIGNATURE + 18);
  EXPECT_EQ(expected, result.Output);
}

TEST_F(Convert, RowsAreStoredBottomUp) {
  const Bytes pixels = CountingPixels(3, 3);
  const Conversion result = Run(Ztex(ZTEX_A8R8G8B8, 3, 3, 1, pixels));
  ASSERT_TRUE(result.Converted);
  // File row 0 is image row 2, the middle row stays, file row 2 is image row 0.
  EXPECT_EQ(Bytes(pixels.begin() + 24, pixels.end()), Bytes(result.Output.begin() + 18, result.Output.begin() + 30));
  EXPECT_EQ(Bytes(pixels.begin() + 12, pixels.begin() + 24), Bytes(result.Output.begin() + 30, result.Output.begin() + 42));
  EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 12), Bytes(result.Output.begin() + 42, result.Output.begin() + 54));
  // One row stays as decoded.
  const Bytes row = CountingPixels(5, 1);
  const Conversion flat = Run(Ztex(ZTEX_A8R8G8B8, 5, 1, 1, row));
  ASSERT_TRUE(flat.Converted);
  EXPECT_EQ(row, Bytes(flat.Output.begin() + 18, flat.Output.end() - 26));
}

TEST_F(Convert, EveryDecodableFormatHasItsDepthAndDescriptor) {
  RgbaImage image;
  ASSERT_TRUE(MakePattern("quadrants", 10, 6, 0, &image));
  const struct {
    uint32_t format, depth;
  } cases[] = {{ZTEX_A4R4G4B4, 32}, {ZTEX_A1R5G5B5, 32}, {ZTEX_R5G6B5, 24}, {ZTEX_A8R8G8B8, 32},
               {ZTEX_DXT1, 24},     {ZTEX_DXT1A, 32},    {ZTEX_DXT3, 32}};
  for (const auto& c : cases) {
    Bytes file;
    ASSERT_TRUE(BuildZtexFile(c.format, image, 2, &file));
    const Conversion result = Run(file);
    ASSERT_TRUE(result.Converted) << c.format << " code " << result.Code;
    ExpectTgaFrame(result.Output, 10, 6, c.depth);
  }
}

TEST_F(Convert, Dxt5IsReadThenRefusedByItsDecoder) {
  RgbaImage image;
  ASSERT_TRUE(MakePattern("rings", 8, 8, 0, &image));
  Bytes file;
  ASSERT_TRUE(BuildZtexFile(ZTEX_DXT5, image, 2, &file));
  ExpectFailure(file, ERROR_CALL_NOT_IMPLEMENTED);
  // Cut short it fails at the read before the decoder is reached.
  file.pop_back();
  ExpectFailure(file, ERROR_HANDLE_EOF);
}

TEST_F(Convert, TexturesBeyond65535PixelsAreRefusedBeforeAnyRead) {
  // The TGA header holds 16 bits per dimension. No pixel data follows: the
  // refusal comes before the read.
  ExpectFailure(Ztex(ZTEX_A8R8G8B8, 65536, 1, 1, Bytes()), ERROR_INVALID_DATATYPE);
  ExpectFailure(Ztex(ZTEX_DXT1, 4, 70000, 1, Bytes()), ERROR_INVALID_DATATYPE);
  ExpectFailure(Ztex(ZTEX_R5G6B5, 131072, 2, 2, Bytes()), ERROR_INVALID_DATATYPE);
  // 65535 still fits.
  const Conversion widest = Run(Ztex(ZTEX_A8R8G8B8, 65535, 1, 1, Bytes(65535 * 4, 0x5A)));
  ASSERT_TRUE(widest.Converted);
  EXPECT_EQ(65535u, TgaWidth(widest.Output));
  EXPECT_EQ(1u, TgaHeight(widest.Output));
}

TEST_F(Convert, SuccessLeavesTheLastErrorAlone) {
  TempDir dir;
  const std::string input = dir.Path("keep-C.TEX"), output = dir.Path("keep.tga");
  ASSERT_TRUE(WriteBytes(input, Ztex(ZTEX_A4R4G4B4, 2, 1, 1, {0x34, 0x12, 0x00, 0xF0})));
  const PlatFile in = PlatOpenRead(input.c_str());
  const PlatFile out = PlatCreateNew(output.c_str());
  ASSERT_NE(PLAT_NO_FILE, in);
  ASSERT_NE(PLAT_NO_FILE, out);
  PlatSetLastError(5150);
  EXPECT_TRUE(ConvertZtexToTga(in, out));
  EXPECT_EQ(5150u, PlatGetLastError());
  PlatClose(in);
  PlatClose(out);
  const Bytes tga = ReadBytes(output);
  ASSERT_EQ(18u + 8 + 26, tga.size());
  EXPECT_EQ(Bgra(68, 51, 34, 17), TgaPixel(tga, 0, 0));
  EXPECT_EQ(Bgra(0, 0, 0, 255), TgaPixel(tga, 1, 0));
  // Through two threads too: the hand-offs between them leave it as well.
  const Bytes strips = NoiseZtex(ZTEX_DXT1, 1000, 1330, 1);
  Bytes image;
  PlatSetLastError(5150);
  EXPECT_TRUE(ConvertZtexMemoryToTga(strips.data(), strips.size(), SinkInto(&image), TwoThreads));
  EXPECT_EQ(5150u, PlatGetLastError());
}

TEST_F(Convert, FailedWriteLeavesThePlatformsCode) {
  TempDir dir;
  const std::string input = dir.Path("write-C.TEX"), output = dir.Path("write.tga");
  ASSERT_TRUE(WriteBytes(input, Ztex(ZTEX_A8R8G8B8, 2, 2, 1, CountingPixels(2, 2))));
  ASSERT_TRUE(WriteBytes(output, Bytes()));
  const PlatFile in = PlatOpenRead(input.c_str());
  const PlatFile out = PlatOpenRead(output.c_str());  // cannot be written
  ASSERT_NE(PLAT_NO_FILE, in);
  ASSERT_NE(PLAT_NO_FILE, out);
  PlatSetLastError(0);
  EXPECT_FALSE(ConvertZtexToTga(in, out));
  const uint32_t code = PlatGetLastError();
  PlatClose(in);
  PlatClose(out);
  EXPECT_NE(0u, code);
  for (uint32_t own : {ERROR_FILE_CORRUPT, ERROR_INVALID_DATATYPE, ERROR_HANDLE_EOF,
                       ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER})
    EXPECT_NE(own, code);
  EXPECT_TRUE(ReadBytes(output).empty());
}

TEST_F(Convert, TheKeptStripBufferCarriesNothingIntoTheNextTexture) {
  // The second texture is decoded into the strip buffer the first one left
  // and must show only its own pixels.
  const Bytes first = Ztex(ZTEX_A8R8G8B8, 1024, 512, 1, Bytes(1024 * 512 * 4, 0x11));
  Bytes blocks;
  for (int i = 0; i < 256 * 128; ++i) Append(&blocks, SolidBlock(0xF800));
  const Bytes second = Ztex(ZTEX_DXT1, 1024, 512, 1, blocks);
  ASSERT_TRUE(Run(first).Converted);
  const Conversion result = Run(second);
  ASSERT_TRUE(result.Converted);
  ExpectTgaFrame(result.Output, 1024, 512, 24);
  for (size_t i = 18; i + 26 < result.Output.size(); i += 3)
    ASSERT_EQ(Bgr(0, 0, 248), Bytes(result.Output.begin() + i, result.Output.begin() + i + 3)) << i;
}

// --- Streaming ------------------------------------------------------------------------

TEST_F(Convert, StreamedImageEqualsTheWholeImageDecoding) {
  // Sizes around the strip and group edges: a strip holds about 256 KiB of
  // decoded pixels on one thread, so 1000 x 330 DXT1 is 21 block rows a strip
  // and a short last strip, and a 65535-pixel row is one group per strip;
  // about 1 MiB on two threads, so 1000 x 1330 DXT1 is 87 block rows a strip
  // and a short last strip, and 1000 x 330 one strip.
  const uint32_t formats[] = {ZTEX_A4R4G4B4, ZTEX_A1R5G5B5, ZTEX_R5G6B5, ZTEX_A8R8G8B8,
                              ZTEX_DXT1,     ZTEX_DXT1A,    ZTEX_DXT3};
  const struct {
    uint32_t width, height, mips;
  } sizes[] = {{1, 1, 1},     {5, 3, 1},      {7, 13, 1},   {64, 64, 1},   {64, 64, 3},
               {64, 64, 7},   {6, 4, 2},      {1000, 330, 1}, {1000, 330, 2}, {1000, 1330, 1}, {2050, 131, 1},
               {4096, 9, 1},  {65535, 5, 1},  {3, 700, 1}};
  for (uint32_t format : formats)
    for (const auto& size : sizes) {
      const Bytes ztex = NoiseZtex(format, size.width, size.height, size.mips);
      const Conversion result = Run(ztex);
      ASSERT_TRUE(result.Converted) << format << " " << size.width << "x" << size.height;
      ASSERT_EQ(WholeImageTga(ztex), result.Output)
          << "format " << format << ", " << size.width << "x" << size.height << ", " << size.mips
          << " levels";
    }
}

TEST_F(Convert, AFailedWritePartWayLeavesItsCodeAndStopsAtOnce) {
  const Bytes ztex = NoiseZtex(ZTEX_DXT1, 1000, 1330, 1);  // four strips on two threads
  const Bytes whole = WholeImageTga(ztex);
  for (ConvertContext* context : {OneThread, TwoThreads})
    for (int failAt : {1, 2, 4}) {
      FailingSink sink;
      sink.FailAt = failAt;
      sink.Code = ERROR_DISK_FULL;
      PlatSetLastError(0);
      EXPECT_FALSE(ConvertZtexMemoryToTga(ztex.data(), ztex.size(), TgaSink{WriteFailing, &sink}, context));
      EXPECT_EQ((uint32_t)ERROR_DISK_FULL, PlatGetLastError());
      EXPECT_EQ(failAt, sink.Writes) << "no write after the failed one";
      ASSERT_LE(sink.Output.size(), whole.size());
      EXPECT_EQ(Bytes(whole.begin(), whole.begin() + sink.Output.size()), sink.Output);
    }
}

// A source over an open file, read through the platform.
static bool ReadOpenFileAt(void* context, uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
  return PlatReadAt(*static_cast<const PlatFile*>(context), offset, buffer, size, done);
}

TEST_F(Convert, LevelZeroIsReadPastFourGiBOfASparseFile) {
  // 65534 x 16384 32-bit pixels with one smaller level: level 0 (4 GiB less
  // 256 KiB) lies from 1 GiB to almost 5 GiB of the file. Only the header
  // and the two bottom rows hold bytes; the bottom row, read first, lies
  // past 4 GiB, where an offset cut to 32 bits would find the hole's zeros.
  // The sink refuses its second write, so no 4 GiB image is written.
  const uint32_t width = 65534, height = 16384, row = width * 4;
  const uint64_t level0 = 36 + (uint64_t)(width / 2) * (height / 2) * 4;
  const uint64_t bottomRows = level0 + (uint64_t)(height - 2) * row;
  const Bytes rows = NoiseBytes(2 * row, 65534);  // top down: row 16382, row 16383
  TempDir dir;
  const std::string path = dir.Path("Huge-C.TEX");
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    const Bytes header = MakeZtexHeader(ZTEX_A8R8G8B8, width, height, 2);
    file.write((const char*)header.data(), (std::streamsize)header.size());
    file.seekp((std::streamoff)bottomRows);
    file.write((const char*)rows.data(), (std::streamsize)rows.size());
    ASSERT_TRUE(file.good()) << "no sparse file of " << bottomRows + rows.size() << " bytes here";
  }
  const PlatFile in = PlatOpenRead(path.c_str());
  ASSERT_NE(PLAT_NO_FILE, in);
  uint64_t size = 0;
  ASSERT_TRUE(PlatGetFileSize(in, &size));
  ASSERT_EQ(bottomRows + 2 * row, size);
  FailingSink sink;
  sink.FailAt = 2;
  sink.Code = ERROR_DISK_FULL;
  PlatSetLastError(0);
  EXPECT_FALSE(ConvertZtexSourceToTga(ZtexSource{ReadOpenFileAt, (void*)&in, size},
                                      TgaSink{WriteFailing, &sink}));
  EXPECT_EQ((uint32_t)ERROR_DISK_FULL, PlatGetLastError());
  PlatClose(in);
  // The TGA header, then the rows from the bottom up: 16383, 16382, and
  // the hole's zeros above them.
  Bytes expected = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0x00, 0x40, 32, 8};
  expected.insert(expected.end(), rows.begin() + row, rows.end());
  expected.insert(expected.end(), rows.begin(), rows.begin() + row);
  ASSERT_GE(sink.Output.size(), 18u + row) << "the first write holds at least the bottom row";
  expected.resize(sink.Output.size(), 0);
  EXPECT_TRUE(expected == sink.Output) << "the bottom rows differ from the bytes past 4 GiB";
}

TEST_F(Convert, AFailedOrShortReadOfLevelZeroIsTheEndOfTheFile) {
  // Read 1 is the header; reads 2 and on are strips of level 0. One thread
  // writes strip 1 before it reads strip 2; two threads read strip 2 first,
  // to decode it while strip 1 is written.
  const Bytes ztex = NoiseZtex(ZTEX_DXT3, 600, 1000, 1);  // three strips on two threads
  const Bytes whole = WholeImageTga(ztex);
  for (ConvertContext* context : {OneThread, TwoThreads})
    for (bool shortRead : {false, true}) {
      FailingSource input;
      input.Ztex = &ztex;
      input.FailAt = 3;
      input.Code = ERROR_IO_DEVICE;
      input.ShortInstead = shortRead;
      FailingSink sink;
      const ZtexSource source = {ReadFailing, &input, ztex.size()};
      PlatSetLastError(0);
      EXPECT_FALSE(ConvertZtexSourceToTga(source, TgaSink{WriteFailing, &sink}, context));
      EXPECT_EQ((uint32_t)ERROR_HANDLE_EOF, PlatGetLastError());
      EXPECT_EQ(3, input.Reads);
      EXPECT_EQ(context == OneThread ? 1 : 0, sink.Writes);
      EXPECT_EQ(Bytes(whole.begin(), whole.begin() + sink.Output.size()), sink.Output);
    }
  // A failed header read is a corrupt file, before any output.
  FailingSource input;
  input.Ztex = &ztex;
  input.FailAt = 1;
  input.Code = ERROR_IO_DEVICE;
  FailingSink sink;
  PlatSetLastError(0);
  EXPECT_FALSE(ConvertZtexSourceToTga(ZtexSource{ReadFailing, &input, ztex.size()},
                                      TgaSink{WriteFailing, &sink}));
  EXPECT_EQ((uint32_t)ERROR_FILE_CORRUPT, PlatGetLastError());
  EXPECT_EQ(0, sink.Writes);
}

TEST_F(Convert, EveryRefusalOfTheInputComesBeforeTheFirstOutputByte) {
  // One case per code, in the order the checks run.
  Bytes dxt5 = NoiseZtex(ZTEX_DXT5, 8, 8, 1);
  Bytes cutDxt5 = dxt5;
  cutDxt5.pop_back();
  Bytes badSignature = NoiseZtex(ZTEX_DXT1, 8, 8, 1);
  badSignature[3] = 'Y';
  const struct {
    Bytes ztex;
    uint32_t code;
  } cases[] = {
      {Bytes(35, 'Z'), ERROR_FILE_CORRUPT},
      {badSignature, ERROR_INVALID_DATATYPE},
      {NoiseZtex(ZTEX_DXT1, 12, 8, 1), 0},  // converts: the reference below
      {Ztex(ZTEX_DXT1, 12, 8, 4, Bytes(200, 1)), ERROR_INVALID_DATATYPE},  // level 3 of 12 x 8
      {Ztex(ZTEX_DXT1, 0, 8, 1, Bytes(200, 1)), ERROR_INVALID_DATATYPE},
      {Ztex(15, 8, 8, 1, Bytes(200, 1)), ERROR_INVALID_DATATYPE},
      {Ztex(ZTEX_DXT1, 65536, 4, 1, Bytes(200, 1)), ERROR_INVALID_DATATYPE},
      {Ztex(ZTEX_DXT1, 16, 16, 2, Bytes(8 * 4 + 8 * 16 - 1, 1)), ERROR_HANDLE_EOF},
      {cutDxt5, ERROR_HANDLE_EOF},
      {dxt5, ERROR_CALL_NOT_IMPLEMENTED},
  };
  for (const auto& c : cases) {
    if (c.code == 0) {
      EXPECT_TRUE(Run(c.ztex).Converted);
      continue;
    }
    FailingSink sink;
    PlatSetLastError(0);
    EXPECT_FALSE(ConvertZtexMemoryToTga(c.ztex.data(), c.ztex.size(), TgaSink{WriteFailing, &sink}));
    EXPECT_EQ(c.code, PlatGetLastError()) << c.ztex.size() << " bytes";
    EXPECT_EQ(0, sink.Writes) << "code " << c.code;
  }
}

TEST_F(Convert, TheFileAdapterReadsFromTheInputsPositionAndWritesTheWholeImage) {
  TempDir dir;
  const Bytes ztex = NoiseZtex(ZTEX_DXT1A, 600, 700, 3);  // two strips on two threads
  Bytes file = Bytes(100, 0xEE);  // not part of the texture
  Append(&file, ztex);
  const std::string input = dir.Path("at-C.TEX");
  ASSERT_TRUE(WriteBytes(input, file));
  for (ConvertContext* context : {(ConvertContext*)nullptr, TwoThreads}) {
    const std::string output = dir.Path(context == nullptr ? "own.tga" : "two.tga");
    const PlatFile in = PlatOpenRead(input.c_str());
    const PlatFile out = PlatCreateNew(output.c_str());
    ASSERT_NE(PLAT_NO_FILE, in);
    ASSERT_NE(PLAT_NO_FILE, out);
    uint8_t skipped[100];
    uint32_t done = 0;
    ASSERT_TRUE(PlatRead(in, skipped, sizeof skipped, &done));
    EXPECT_TRUE(ConvertZtexToTga(in, out, context));
    PlatClose(in);
    PlatClose(out);
    EXPECT_TRUE(WholeImageTga(ztex) == ReadBytes(output)) << output;
  }
}

TEST_F(Convert, ConversionsWithContextsOfTheirOwnRunAtOnce) {
  // Two threads convert textures of several strips at once, each through a
  // context of two threads of its own. Under ThreadSanitizer this is the
  // test of what conversions share.
  const Bytes textures[] = {NoiseZtex(ZTEX_DXT1, 1000, 1330, 1), NoiseZtex(ZTEX_A4R4G4B4, 600, 1000, 2),
                            NoiseZtex(ZTEX_DXT3, 512, 1024, 3)};
  const Bytes expected[] = {WholeImageTga(textures[0]), WholeImageTga(textures[1]),
                            WholeImageTga(textures[2])};
  int wrong[2] = {0, 0};
  auto convertAll = [&](int who) {
    ConvertContext* context = CreateConvertContext(2);
    for (int round = 0; round < 3; ++round)
      for (int i = 0; i < 3; ++i) {
        const int t = (i + who) % 3;
        Bytes output;
        if (!ConvertZtexMemoryToTga(textures[t].data(), textures[t].size(), SinkInto(&output), context) ||
            output != expected[t])
          ++wrong[who];
      }
    ReleaseConvertContext(context);
  };
  std::thread other(convertAll, 1);
  convertAll(0);
  other.join();
  EXPECT_EQ(0, wrong[0]);
  EXPECT_EQ(0, wrong[1]);
}

// The batch run ends the process from inside a run (a confirmed close) with
// its context's decoding thread alive, waiting for the next strip.
TEST(ConvertDeathTest, TheProcessEndsAtOnceWhileTheDecodingThreadWaits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Bytes ztex = NoiseZtex(ZTEX_DXT1, 1000, 1330, 1);
  EXPECT_EXIT(
      {
        ConvertContext* context = CreateConvertContext(2);
        Bytes output;
        if (ConvertZtexMemoryToTga(ztex.data(), ztex.size(), SinkInto(&output), context)) PlatExitProcess(3);
        PlatExitProcess(4);
      },
      ::testing::ExitedWithCode(3), "");
}

// --- FlipRows ---------------------------------------------------------------------------

TEST(FlipRows, OddRowCountKeepsTheMiddleRow) {
  Bytes buffer = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_TRUE(FlipRows(5, 10, buffer.data()));
  EXPECT_EQ(Bytes({9, 10, 7, 8, 5, 6, 3, 4, 1, 2}), buffer);
  EXPECT_TRUE(FlipRows(2, 10, buffer.data()));
  EXPECT_EQ(Bytes({6, 3, 4, 1, 2, 9, 10, 7, 8, 5}), buffer);
  EXPECT_TRUE(FlipRows(1, 10, buffer.data()));
  EXPECT_EQ(Bytes({6, 3, 4, 1, 2, 9, 10, 7, 8, 5}), buffer);
}

TEST(FlipRows, RefusesSizesThatAreNoWholeNumberOfRows) {
  const Bytes original = {1, 2, 3, 4, 5, 6, 7};
  Bytes buffer = original;
  const struct {
    uint32_t rows, size;
  } cases[] = {{0, 7}, {3, 0}, {2, 7}, {8, 7}};
  for (const auto& c : cases) {
    PlatSetLastError(0);
    EXPECT_FALSE(FlipRows(c.rows, c.size, buffer.data()));
    EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError()) << c.rows << " " << c.size;
    EXPECT_EQ(original, buffer);
  }
  PlatSetLastError(0);
  EXPECT_FALSE(FlipRows(1, 7, nullptr));
  EXPECT_EQ((uint32_t)ERROR_INVALID_PARAMETER, PlatGetLastError());
  PlatSetLastError(616);
  EXPECT_TRUE(FlipRows(7, 7, buffer.data()));
  EXPECT_EQ(Bytes({7, 6, 5, 4, 3, 2, 1}), buffer);
  EXPECT_EQ(616u, PlatGetLastError());
}

