// One ZTEX texture file to one uncompressed true-colour TGA file (24 or 32
// bits, bottom-up rows, with the file footer). Only level 0 is converted;
// the smaller mip levels are stepped over. Textures wider or higher than
// 65535 pixels are refused: the TGA header cannot describe them.
#include <cstring>

#include "DecompZTEX.h"
#include "OskeltZtexUtil.h"
#include "ZTEX.h"

enum : uint32_t { TGA_HEADER_SIZE = 18, TGA_FOOTER_SIZE = 26, TGA_MAX_DIMENSION = 65535 };
enum : uint8_t { TGA_TRUE_COLOR = 2 };
static const char TgaSignature[18] = "TRUEVISION-XFILE.";

static bool Fail(uint32_t code) {
  PlatSetLastError(code);
  return false;
}

static inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

static inline void Store32(uint8_t* p, uint32_t v) {
  Store16(p, (uint16_t)v);
  Store16(p + 2, (uint16_t)(v >> 16));
}

static void StoreTgaHeader(const TgaHeader& header, uint8_t* out) {
  out[0] = header.IdLength;
  out[1] = header.ColorMapType;
  out[2] = header.ImageType;
  Store16(out + 3, header.ColorMapFirstEntry);
  Store16(out + 5, header.ColorMapLength);
  out[7] = header.ColorMapEntrySize;
  Store16(out + 8, header.XOrigin);
  Store16(out + 10, header.YOrigin);
  Store16(out + 12, header.Width);
  Store16(out + 14, header.Height);
  out[16] = header.PixelDepth;
  out[17] = header.ImageDescriptor;
}

static void StoreTgaFooter(const TgaFooter& footer, uint8_t* out) {
  Store32(out, footer.ExtensionOffset);
  Store32(out + 4, footer.DeveloperOffset);
  std::memcpy(out + 8, footer.Signature, sizeof(footer.Signature));
}

// One write of size bytes; a failed or short write leaves the platform's code.
static bool WriteAll(PlatFile output, const void* bytes, uint32_t size) {
  uint32_t done = 0;
  return PlatWrite(output, bytes, size, &done) && done == size;
}

// False (38) when the input holds fewer than `needed` bytes behind its
// position. When the platform cannot tell, the read decides and the code the
// query left is undone.
static bool InputHolds(PlatFile input, uint32_t needed) {
  const uint32_t previous = PlatGetLastError();
  uint64_t size = 0, position = 0;
  if (!PlatGetFileSize(input, &size) || !PlatGetFilePosition(input, &position)) {
    PlatSetLastError(previous);
    return true;
  }
  if (position > size || size - position < needed) return Fail(ERROR_HANDLE_EOF);
  return true;
}

// Reading, decoding and writing, with both buffers obtained.
static bool ConvertLevel0(PlatFile input, PlatFile output, const ZtexHeader& header,
                          uint32_t outputBits, uint8_t* source, uint32_t storedSize,
                          uint8_t* pixels, uint32_t decodedSize) {
  uint32_t done = 0;
  if (!PlatRead(input, source, storedSize, &done) || done != storedSize)
    return Fail(ERROR_HANDLE_EOF);

  TgaHeader tga;
  std::memset(&tga, 0, sizeof(tga));
  tga.ImageType = TGA_TRUE_COLOR;
  tga.Width = (uint16_t)header.Width;
  tga.Height = (uint16_t)header.Height;
  tga.PixelDepth = (uint8_t)outputBits;
  tga.ImageDescriptor = (uint8_t)(outputBits - 24);  // alpha bits; origin bottom left
  TgaFooter footer;
  footer.ExtensionOffset = 0;
  footer.DeveloperOffset = 0;
  std::memcpy(footer.Signature, TgaSignature, sizeof(footer.Signature));

  // The decoder writes the rows bottom up, as the file stores them: the same
  // bytes as decoding top down and then FlipRows, without a second pass over
  // the whole image.
  if (!DecodeZtexPixelsBottomUp(header, source, pixels, decodedSize)) return false;

  uint8_t headerBytes[TGA_HEADER_SIZE], footerBytes[TGA_FOOTER_SIZE];
  StoreTgaHeader(tga, headerBytes);
  StoreTgaFooter(footer, footerBytes);
  return WriteAll(output, headerBytes, TGA_HEADER_SIZE) &&
         WriteAll(output, pixels, decodedSize) && WriteAll(output, footerBytes, TGA_FOOTER_SIZE);
}

bool ConvertZtexToTga(PlatFile input, PlatFile output) {
  uint8_t headerBytes[ZTEX_HEADER_SIZE];
  uint32_t done = 0;
  if (!PlatRead(input, headerBytes, ZTEX_HEADER_SIZE, &done) || done != ZTEX_HEADER_SIZE)
    return Fail(ERROR_FILE_CORRUPT);
  ZtexHeader header;
  ReadZtexHeader(headerBytes, &header);
  if (!HasZtexSignature(header)) return Fail(ERROR_INVALID_DATATYPE);

  // Levels are stored from the smallest up; MipMapCount 0 starts at 65535.
  const uint32_t firstLevel = ((header.MipMapCount & 0xFFFF) - 1) & 0xFFFF;
  for (uint32_t level = firstLevel; level >= 1; --level) {
    const uint32_t size = GetZtexLevelSize(header, level);
    if (size == 0) return Fail(ERROR_INVALID_DATATYPE);
    if (!PlatSkip(input, size)) return Fail(ERROR_HANDLE_EOF);
  }

  const uint32_t storedSize = GetZtexLevelSize(header, 0);
  const uint32_t decodedSize = GetZtexDecodedSize(header, 0);
  const uint32_t outputBits = GetZtexOutputBits(header);
  if (storedSize == 0 || decodedSize == 0 || outputBits == 0) return Fail(ERROR_INVALID_DATATYPE);
  if (header.Width > TGA_MAX_DIMENSION || header.Height > TGA_MAX_DIMENSION)
    return Fail(ERROR_INVALID_DATATYPE);
  // A short file must not make us allocate what it cannot hold.
  if (!InputHolds(input, storedSize)) return false;

  uint8_t* source = static_cast<uint8_t*>(ObtainConversionBuffer(storedSize));
  uint8_t* pixels = source ? static_cast<uint8_t*>(ObtainConversionBuffer(decodedSize)) : nullptr;
  bool converted = false;
  if (source == nullptr || pixels == nullptr)
    PlatSetLastError(ERROR_NOT_ENOUGH_MEMORY);
  else
    converted = ConvertLevel0(input, output, header, outputBits, source, storedSize, pixels,
                              decodedSize);
  ReleaseConversionBuffer(pixels);
  ReleaseConversionBuffer(source);
  return converted;
}

bool FlipRows(uint32_t rows, uint32_t size, void* buffer) {
  if (rows == 0 || size == 0 || buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const uint32_t row = size / rows;
  if ((uint64_t)row * rows != size) return Fail(ERROR_INVALID_PARAMETER);
  uint8_t* spare = static_cast<uint8_t*>(ObtainConversionBuffer(row));
  if (spare == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  uint8_t* top = static_cast<uint8_t*>(buffer);
  uint8_t* bottom = top + (size - row);
  for (uint32_t i = 0; i < rows / 2; ++i, top += row, bottom -= row) {
    std::memcpy(spare, top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, spare, row);
  }
  ReleaseConversionBuffer(spare);
  return true;
}
