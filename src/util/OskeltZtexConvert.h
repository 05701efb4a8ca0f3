// One ZTEX texture to one uncompressed true-colour TGA image (24 or 32 bits,
// bottom-up rows, with the file footer). Only level 0 is converted; the
// smaller mip levels are stepped over.
//
// The work is written once over a byte source that reads at a position and a
// byte sink that appends; ConvertZtexToTga is its adapter for open files,
// ConvertZtexMemoryToTga for bytes in memory. Every check that can fail on
// the input comes before the first byte goes to the sink; then the image goes
// out in strips of whole rows from the bottom up, each read, decoded and
// written through small strip buffers, so no memory grows with the image.
// Textures wider or higher than 65535 pixels are refused
// (ERROR_INVALID_DATATYPE): the TGA header cannot describe them.
//
// The strip buffers belong to a conversion context that the caller owns and
// passes to each conversion (or none: the conversion then has buffers of its
// own for the call and decodes on the calling thread). With a context of two
// threads, the next strip is decoded on the context's own thread while the
// calling thread writes the strip before; every read, write and last-error
// code stays on the calling thread, and the bytes that go out are the same.
// A context serves one conversion at a time; conversions with different
// contexts may run at once.
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

// The strip buffers of conversions that run one after another, and the
// thread that decodes beside the writing.
struct ConvertContext;
// A context for conversions on `threads` threads: 1 decodes on the calling
// thread, 2 on a thread of the context's own (started with the first texture
// of more than one strip, and kept), 0 leaves the choice to the machine: 2
// where the process may run on a second processor core, 1 otherwise. Null
// with ERROR_NOT_ENOUGH_MEMORY when there is no memory for it. The buffers
// are obtained at its first conversion and kept.
ConvertContext* CreateConvertContext(uint32_t threads);
// Ends the context's thread and frees its buffers; null is ignored. Leaves
// the last-error code alone.
void ReleaseConvertContext(ConvertContext* context);

// The conversion over a source and a sink. True when the whole TGA image has
// gone to the sink. On a failure of the input nothing has gone to the sink;
// a failed write or read part-way leaves part of the image there.
bool ConvertZtexSourceToTga(const ZtexSource& source, const TgaSink& sink,
                            ConvertContext* context = nullptr);
// The ZTEX file in memory (size bytes at ztex).
bool ConvertZtexMemoryToTga(const void* ztex, uint64_t size, const TgaSink& sink,
                            ConvertContext* context = nullptr);
// Reads the ZTEX texture from input (an open file, read from its current
// position) and writes the complete TGA image to output (an empty file,
// written sequentially, its room reserved before the first byte where the
// file system can). Closes neither file.
bool ConvertZtexToTga(PlatFile input, PlatFile output, ConvertContext* context = nullptr);

// Reverses the order of `rows` equal rows in buffer (size bytes), in place.
bool FlipRows(uint32_t rows, uint32_t size, void* buffer);
