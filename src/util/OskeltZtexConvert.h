// One ZTEX texture to one uncompressed true-colour TGA image (24 or 32 bits,
// bottom-up rows, with the file footer). Only level 0 is converted; the
// smaller mip levels are stepped over.
//
// The work is written once over a byte source that reads at a position and a
// byte sink that appends; ConvertZtexToTga is its adapter for open files,
// ConvertZtexMemoryToTga for bytes in memory. Every check that can fail on
// the input comes before the first byte goes to the sink; then the image goes
// out in strips of whole rows from the bottom up, each read, decoded and
// written through one small buffer that is kept between conversions, so no
// memory grows with the image. Textures wider or higher than 65535 pixels
// are refused (ERROR_INVALID_DATATYPE): the TGA header cannot describe them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Platform.h"

#pragma pack(push, 1)
struct TgaHeader {
  uint8_t IdLength;
  uint8_t ColorMapType;
  uint8_t ImageType;
  uint16_t ColorMapFirstEntry;
  uint16_t ColorMapLength;
  uint8_t ColorMapEntrySize;
  uint16_t XOrigin;
  uint16_t YOrigin;
  uint16_t Width;
  uint16_t Height;
  uint8_t PixelDepth;
  uint8_t ImageDescriptor;
};
struct TgaFooter {
  uint32_t ExtensionOffset;
  uint32_t DeveloperOffset;
  char Signature[18];  // "TRUEVISION-XFILE." and a zero byte
};
#pragma pack(pop)
static_assert(sizeof(TgaHeader) == 18, "TgaHeader is the 18-byte file record");
static_assert(sizeof(TgaFooter) == 26, "TgaFooter is the 26-byte file record");

// Where the ZTEX bytes come from: ReadAt reads up to size bytes from offset
// (counted from the first byte of the ZTEX data) and sets *done, short only
// at the end of the data; false with the last-error code on failure. Size is
// the number of bytes the source holds, UINT64_MAX when it cannot be told
// (the reads then decide).
struct ZtexSource {
  bool (*ReadAt)(void* context, uint64_t offset, void* buffer, uint32_t size, uint32_t* done);
  void* Context;
  uint64_t Size;
};

// Where the TGA bytes go: Write appends size bytes, or returns false with the
// last-error code of the failure.
struct TgaSink {
  bool (*Write)(void* context, const void* bytes, uint32_t size);
  void* Context;
};

// The conversion over a source and a sink. True when the whole TGA image has
// gone to the sink. On a failure of the input nothing has gone to the sink;
// a failed write or read part-way leaves part of the image there.
bool ConvertZtexSourceToTga(const ZtexSource& source, const TgaSink& sink);
// The ZTEX file in memory (size bytes at ztex).
bool ConvertZtexMemoryToTga(const void* ztex, uint64_t size, const TgaSink& sink);
// Reads the ZTEX texture from input (an open file, read from its current
// position) and writes the complete TGA image to output (an empty file,
// written sequentially). Closes neither file.
bool ConvertZtexToTga(PlatFile input, PlatFile output);

// Reverses the order of `rows` equal rows in buffer (size bytes), in place.
bool FlipRows(uint32_t rows, uint32_t size, void* buffer);
