// ztexwriter: builds the bytes of ZTEX texture files from RGBA pictures, for
// the tests, benchmarks, fuzz seeds and demo textures. A tool, not part of
// the converter: it knows the format codes by number and encodes DXT blocks
// with a simple bounding-box encoder (nearest palette entry per pixel).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> ByteVector;

// Format codes as stored in the header's Format field.
enum : uint32_t {
  ZTEXGEN_A4R4G4B4 = 6,
  ZTEXGEN_A1R5G5B5 = 7,
  ZTEXGEN_R5G6B5 = 8,
  ZTEXGEN_A8R8G8B8 = 9,
  ZTEXGEN_DXT1 = 10,
  ZTEXGEN_DXT1A = 11,
  ZTEXGEN_DXT3 = 12,
  ZTEXGEN_DXT5 = 13
};

// A picture: Width x Height pixels of 4 bytes red, green, blue, alpha, rows
// from the top.
struct RgbaImage {
  uint32_t Width = 0;
  uint32_t Height = 0;
  std::vector<uint8_t> Pixels;
};

// Format code of a name ("dxt1", "a8r8g8b8", ...) or of a decimal number;
// false for anything else.
bool ParseZtexFormat(const std::string& text, uint32_t* format);
// Lower-case name of a known format code, "" otherwise.
std::string ZtexFormatName(uint32_t format);

// Pattern pictures, all asymmetric so that flips and channel swaps show:
// "quadrants", "gradient", "letter", "rings", "noise" (seeded). Alpha runs
// across the picture in each (a gradient, or random for "noise").
std::vector<std::string> PatternNames();
bool MakePattern(const std::string& name, uint32_t width, uint32_t height, uint32_t seed,
                 RgbaImage* image);

// The next smaller mip level: each dimension halved (at least 1), each pixel
// the mean of the up to 2 x 2 pixels it covers.
RgbaImage HalveImage(const RgbaImage& image);

// Stored bytes of one level of a known format code (false for others).
bool EncodeZtexLevel(uint32_t format, const RgbaImage& image, ByteVector* out);

// Encoders of one 4x4 block from 16 RGBA pixels (64 bytes, rows from the
// top). DXT1 blocks are always opaque (four colours, or three when both
// endpoints coincide); DXT1A blocks with any pixel of alpha below 128 use the
// three-colour mode with index 3 for those pixels.
void EncodeDxt1Block(const uint8_t* rgba, bool allowTransparent, uint8_t* block8);
void EncodeDxt3Block(const uint8_t* rgba, uint8_t* block16);
void EncodeDxt5Block(const uint8_t* rgba, uint8_t* block16);

// The 36 header bytes: "ZTEX", Reserved1 0, format, width, height,
// mipMapCount, three zero words.
ByteVector MakeZtexHeader(uint32_t format, uint32_t width, uint32_t height, uint32_t mipMapCount);

// A whole file: header, then levels mipCount - 1 down to 1 (box-filtered
// from level 0), then level 0. mipCount 0 writes no level at all.
bool BuildZtexFile(uint32_t format, const RgbaImage& level0, uint32_t mipCount, ByteVector* out);
