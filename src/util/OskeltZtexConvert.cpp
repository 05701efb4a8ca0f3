// One ZTEX texture to one TGA image, streamed in strips from the bottom row up.
#include "OskeltZtexConvert.h"

#include <cstdlib>
#include <cstring>

#include "DecompZTEX.h"
#include "LittleEndian.h"
#include "ZTEX.h"

const uint32_t TGA_HEADER_SIZE = 18, TGA_FOOTER_SIZE = 26, TGA_MAX_DIMENSION = 65535;
const uint8_t TGA_TRUE_COLOR = 2;
static const char TgaSignature[18] = "TRUEVISION-XFILE.";

// The strip buffer. A strip is as many row groups (block rows or pixel rows)
// as fill about STRIP_TARGET decoded bytes, so that a strip goes from the
// decoder to the write while it is still in the processor's cache; at least
// one group, and the widest group of a 65535-pixel texture (4 rows of 4-byte
// pixels) fits. The TGA header goes in front of the first strip and the
// footer behind the last, so a small image is one write.
const uint32_t STRIP_TARGET = 256u << 10;
const uint32_t STRIP_PIXELS = 4u * TGA_MAX_DIMENSION * 4;       // decoded bytes of the widest group
const uint32_t STRIP_STORED = (TGA_MAX_DIMENSION + 3) / 4 * 16;  // stored bytes of the widest group
static_assert(STRIP_STORED >= TGA_MAX_DIMENSION * 4, "a row of 32-bit pixels fits");
static uint8_t* StripBuffer = nullptr;  // header, pixels, footer, then stored bytes

static uint8_t* ObtainStripBuffer() {
  if (StripBuffer == nullptr)
    StripBuffer = static_cast<uint8_t*>(
        std::malloc(TGA_HEADER_SIZE + STRIP_PIXELS + TGA_FOOTER_SIZE + STRIP_STORED));
  return StripBuffer;
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

static void MakeTgaRecords(const ZtexHeader& header, uint32_t outputBits, uint8_t* headerBytes,
                           uint8_t* footerBytes) {
  TgaHeader tga;
  std::memset(&tga, 0, sizeof(tga));
  tga.ImageType = TGA_TRUE_COLOR;
  tga.Width = static_cast<uint16_t>(header.Width);
  tga.Height = static_cast<uint16_t>(header.Height);
  tga.PixelDepth = static_cast<uint8_t>(outputBits);
  tga.ImageDescriptor = static_cast<uint8_t>(outputBits - 24);  // alpha bits; origin bottom left
  TgaFooter footer;
  footer.ExtensionOffset = 0;
  footer.DeveloperOffset = 0;
  std::memcpy(footer.Signature, TgaSignature, sizeof(footer.Signature));
  StoreTgaHeader(tga, headerBytes);
  StoreTgaFooter(footer, footerBytes);
}

// size bytes at offset, or false: a failed or short read leaves `code`.
static bool ReadExactly(const ZtexSource& source, uint64_t offset, void* buffer, uint32_t size,
                        uint32_t code) {
  uint32_t done = 0;
  if (!source.ReadAt(source.Context, offset, buffer, size, &done) || done != size)
    return PlatFail(code);
  return true;
}

// Level 0 of a checked texture, strip by strip from the bottom up: each
// strip's stored bytes are read from their place, decoded into the strip
// buffer with its rows reversed, and written.
static bool StreamLevel0(const ZtexSource& source, const TgaSink& sink, const ZtexHeader& header,
                         const ZtexBandLayout& layout, uint64_t level0, uint8_t* buffer,
                         const uint8_t* headerBytes, const uint8_t* footerBytes) {
  const uint32_t groupPixels = layout.GroupRows * layout.RowBytes;
  uint32_t stripGroups = STRIP_TARGET / groupPixels;
  if (stripGroups > STRIP_STORED / layout.GroupBytes) stripGroups = STRIP_STORED / layout.GroupBytes;
  if (stripGroups == 0) stripGroups = 1;
  uint8_t* pixels = buffer + TGA_HEADER_SIZE;
  uint8_t* stored = pixels + STRIP_PIXELS + TGA_FOOTER_SIZE;
  std::memcpy(buffer, headerBytes, TGA_HEADER_SIZE);
  uint8_t* out = buffer;  // the header goes with the first strip
  for (uint32_t end = layout.Groups; end > 0;) {
    const uint32_t count = end < stripGroups ? end : stripGroups;
    const uint32_t first = end - count;
    end = first;
    const uint32_t firstRow = first * layout.GroupRows;
    const uint32_t lastRow = first + count == layout.Groups ? header.Height : firstRow + count * layout.GroupRows;
    const uint32_t stripBytes = (lastRow - firstRow) * layout.RowBytes;
    if (!ReadExactly(source, level0 + static_cast<uint64_t>(first) * layout.GroupBytes, stored,
                     count * layout.GroupBytes, ERROR_HANDLE_EOF))
      return false;
    DecodeZtexBand(header, first, count, stored, pixels + stripBytes - layout.RowBytes,
                   -static_cast<ptrdiff_t>(layout.RowBytes));
    uint8_t* outEnd = pixels + stripBytes;
    if (end == 0) {  // the footer goes with the last strip
      std::memcpy(outEnd, footerBytes, TGA_FOOTER_SIZE);
      outEnd += TGA_FOOTER_SIZE;
    }
    if (!sink.Write(sink.Context, out, static_cast<uint32_t>(outEnd - out))) return false;
    out = pixels;
  }
  return true;
}

bool ConvertZtexSourceToTga(const ZtexSource& source, const TgaSink& sink) {
  uint8_t headerBytes[ZTEX_HEADER_SIZE];
  if (!ReadExactly(source, 0, headerBytes, ZTEX_HEADER_SIZE, ERROR_FILE_CORRUPT)) return false;
  ZtexHeader header;
  ReadZtexHeader(headerBytes, &header);
  if (!HasZtexSignature(header)) return PlatFail(ERROR_INVALID_DATATYPE);

  // Levels are stored from the smallest up; MipMapCount 0 starts at 65535.
  uint64_t level0 = ZTEX_HEADER_SIZE;
  const uint32_t firstLevel = ((header.MipMapCount & 0xFFFF) - 1) & 0xFFFF;
  for (uint32_t level = firstLevel; level >= 1; --level) {
    const uint32_t size = GetZtexLevelSize(header, level);
    if (size == 0) return PlatFail(ERROR_INVALID_DATATYPE);
    level0 += size;
  }

  const uint32_t storedSize = GetZtexLevelSize(header, 0);
  const uint32_t decodedSize = GetZtexDecodedSize(header, 0);
  const uint32_t outputBits = GetZtexOutputBits(header);
  if (storedSize == 0 || decodedSize == 0 || outputBits == 0) return PlatFail(ERROR_INVALID_DATATYPE);
  if (header.Width > TGA_MAX_DIMENSION || header.Height > TGA_MAX_DIMENSION)
    return PlatFail(ERROR_INVALID_DATATYPE);
  // A file cut short anywhere up to the end of level 0 is refused before any
  // output, as the whole-image read of level 0 would refuse it.
  if (source.Size < level0 || source.Size - level0 < storedSize) return PlatFail(ERROR_HANDLE_EOF);
  ZtexBandLayout layout;
  if (!GetZtexBandLayout(header, &layout)) return false;  // ZTEX_DXT5: no decoder

  uint8_t* buffer = ObtainStripBuffer();
  if (buffer == nullptr) return PlatFail(ERROR_NOT_ENOUGH_MEMORY);
  uint8_t tgaHeader[TGA_HEADER_SIZE], tgaFooter[TGA_FOOTER_SIZE];
  MakeTgaRecords(header, outputBits, tgaHeader, tgaFooter);
  return StreamLevel0(source, sink, header, layout, level0, buffer, tgaHeader, tgaFooter);
}

// --- Memory -----------------------------------------------------------------

struct MemoryBytes {
  const uint8_t* Data;
  uint64_t Size;
};

static bool ReadMemoryAt(void* context, uint64_t offset, void* buffer, uint32_t size,
                         uint32_t* done) {
  const MemoryBytes* bytes = static_cast<const MemoryBytes*>(context);
  const uint64_t left = offset < bytes->Size ? bytes->Size - offset : 0;
  *done = left < size ? static_cast<uint32_t>(left) : size;
  if (*done > 0) std::memcpy(buffer, bytes->Data + offset, *done);
  return true;
}

bool ConvertZtexMemoryToTga(const void* ztex, uint64_t size, const TgaSink& sink) {
  if (ztex == nullptr && size != 0) return PlatFail(ERROR_INVALID_PARAMETER);
  MemoryBytes bytes = {static_cast<const uint8_t*>(ztex), size};
  const ZtexSource source = {ReadMemoryAt, &bytes, size};
  return ConvertZtexSourceToTga(source, sink);
}

// --- Files ------------------------------------------------------------------

struct FileAt {
  PlatFile File;
  uint64_t Start;  // where the ZTEX data begins
};

static bool ReadFileAt(void* context, uint64_t offset, void* buffer, uint32_t size,
                       uint32_t* done) {
  const FileAt* input = static_cast<const FileAt*>(context);
  return PlatReadAt(input->File, input->Start + offset, buffer, size, done);
}

// One write of size bytes; a failed or short write leaves the platform's code.
static bool WriteToFile(void* context, const void* bytes, uint32_t size) {
  uint32_t done = 0;
  return PlatWrite(*static_cast<const PlatFile*>(context), bytes, size, &done) && done == size;
}

bool ConvertZtexToTga(PlatFile input, PlatFile output) {
  // Where the platform cannot tell the position or the size, the reads decide
  // and the code the query left is undone.
  const uint32_t previous = PlatGetLastError();
  FileAt at = {input, 0};
  uint64_t size = UINT64_MAX;
  if (!PlatGetFilePosition(input, &at.Start) || !PlatGetFileSize(input, &size)) {
    at.Start = 0;
    size = UINT64_MAX;
    PlatSetLastError(previous);
  }
  const ZtexSource source = {ReadFileAt, &at, size < at.Start ? 0 : size - at.Start};
  const TgaSink sink = {WriteToFile, &output};
  return ConvertZtexSourceToTga(source, sink);
}

bool FlipRows(uint32_t rows, uint32_t size, void* buffer) {
  if (rows == 0 || size == 0 || buffer == nullptr) return PlatFail(ERROR_INVALID_PARAMETER);
  const uint32_t row = size / rows;
  if (static_cast<uint64_t>(row) * rows != size) return PlatFail(ERROR_INVALID_PARAMETER);
  uint8_t* spare = static_cast<uint8_t*>(std::malloc(row));
  if (spare == nullptr) return PlatFail(ERROR_NOT_ENOUGH_MEMORY);
  uint8_t* top = static_cast<uint8_t*>(buffer);
  uint8_t* bottom = top + (size - row);
  for (uint32_t i = 0; i < rows / 2; ++i, top += row, bottom -= row) {
    std::memcpy(spare, top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, spare, row);
  }
  std::free(spare);
  return true;
}
