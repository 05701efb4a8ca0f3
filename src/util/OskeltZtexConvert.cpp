// One ZTEX texture to one TGA image, streamed in strips from the bottom row up.
#include "OskeltZtexConvert.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "DecompZTEX.h"
#include "LittleEndian.h"
#include "ZTEX.h"

const uint32_t TGA_HEADER_SIZE = 18, TGA_FOOTER_SIZE = 26, TGA_MAX_DIMENSION = 65535;
const uint8_t TGA_TRUE_COLOR = 2;
static const char TgaSignature[18] = "TRUEVISION-XFILE.";

// The strip buffers. A strip is as many row groups (block rows or pixel
// rows) as fill about STRIP_TARGET decoded bytes, so that a strip goes from
// the decoder to the write while it is still in the processor's cache; at
// least one group, and the widest group of a 65535-pixel texture (4 rows of
// 4-byte pixels) fits. With two threads each strip crosses from one
// processor core to the other and each hand-off may have to wake the
// decoding thread: fewer, larger strips (STRIP_TARGET_TWO_THREADS) cost less
// there. The TGA header goes in front of the first strip and the footer
// behind the last, so a small image is one write. A slot holds the header,
// the pixels and the footer, then the stored bytes of a strip.
const uint32_t STRIP_TARGET = 256u << 10;
const uint32_t STRIP_TARGET_TWO_THREADS = 1u << 20;
const uint32_t STRIP_PIXELS = 4u * TGA_MAX_DIMENSION * 4;       // decoded bytes of the widest group
const uint32_t STRIP_STORED = (TGA_MAX_DIMENSION + 3) / 4 * 16;  // stored bytes of the widest group
static_assert(STRIP_STORED >= TGA_MAX_DIMENSION * 4, "a row of 32-bit pixels fits");
const size_t STRIP_SLOT = TGA_HEADER_SIZE + STRIP_PIXELS + TGA_FOOTER_SIZE + STRIP_STORED;

// One strip for the decoding thread: as DecodeZtexBand takes it.
struct StripJob {
  const ZtexHeader* Header;
  uint32_t First, Count;
  const uint8_t* Stored;
  uint8_t* FirstRow;
  ptrdiff_t Pitch;
};

// With two threads, the decoding thread (started at the context's first
// texture of more than one strip, kept until the release) waits for a posted
// strip, decodes it and reports it done. The calling thread waits only for a
// strip that is being decoded: one still waiting to be taken (the decoding
// thread has not had a processor core yet, on a busy machine) it takes back
// and decodes itself. Both waits block: nothing spins.
enum JobState { JOB_NONE, JOB_POSTED, JOB_DECODING };

struct ConvertContext {
  uint32_t Threads;   // 1 or 2
  uint8_t* Slots;     // Threads slots of STRIP_SLOT bytes, obtained at the first conversion
  std::thread Decoder;
  std::mutex Lock;
  std::condition_variable Posted, Done;
  StripJob Job;
  JobState State = JOB_NONE;
  bool Quit = false;
};

static void DecodeStrip(const StripJob& job) {
  DecodeZtexBand(*job.Header, job.First, job.Count, job.Stored, job.FirstRow, job.Pitch);
}

static void RunDecoder(ConvertContext* context) {
  std::unique_lock<std::mutex> lock(context->Lock);
  for (;;) {
    context->Posted.wait(lock, [context] { return context->State == JOB_POSTED || context->Quit; });
    if (context->State != JOB_POSTED) return;
    context->State = JOB_DECODING;
    const StripJob job = context->Job;
    lock.unlock();
    DecodeStrip(job);
    lock.lock();
    context->State = JOB_NONE;
    context->Done.notify_one();
  }
}

// The hand-off on the calling thread. The system's waits may touch its
// last-error code (Windows keeps the thread's in the same place): a hand-off
// leaves it as it found it.
static void PostStrip(ConvertContext* context, const StripJob& job) {
  const uint32_t code = PlatGetLastError();
  {
    std::lock_guard<std::mutex> lock(context->Lock);
    context->Job = job;
    context->State = JOB_POSTED;
  }
  context->Posted.notify_one();
  PlatSetLastError(code);
}

// Returns once the posted strip is decoded, by either thread; or, when it is
// no longer wanted (a failure ends the conversion), once the decoding thread
// no longer touches it.
static void AwaitStrip(ConvertContext* context, bool wanted = true) {
  const uint32_t code = PlatGetLastError();
  bool takeBack = false;
  StripJob job;
  {
    std::unique_lock<std::mutex> lock(context->Lock);
    if (context->State == JOB_POSTED) {
      takeBack = true;
      job = context->Job;
      context->State = JOB_NONE;
    } else {
      context->Done.wait(lock, [context] { return context->State == JOB_NONE; });
    }
  }
  if (takeBack && wanted) DecodeStrip(job);
  PlatSetLastError(code);
}

// The decoding thread, started once; where it cannot be, the context goes
// on with one thread.
static bool StartDecoder(ConvertContext* context) {
  if (context->Decoder.joinable()) return true;
  const uint32_t code = PlatGetLastError();
  try {
    context->Decoder = std::thread(RunDecoder, context);
  } catch (...) {
    context->Threads = 1;
  }
  PlatSetLastError(code);
  return context->Decoder.joinable();
}

ConvertContext* CreateConvertContext(uint32_t threads) {
  if (threads == 0) threads = PlatGetProcessorCount() >= 2 ? 2 : 1;
  ConvertContext* context = new (std::nothrow) ConvertContext;
  if (context == nullptr) return PlatFail<ConvertContext*>(ERROR_NOT_ENOUGH_MEMORY);
  context->Threads = threads >= 2 ? 2 : 1;
  context->Slots = nullptr;
  return context;
}

void ReleaseConvertContext(ConvertContext* context) {
  if (context == nullptr) return;
  const uint32_t code = PlatGetLastError();
  if (context->Decoder.joinable()) {
    {
      std::lock_guard<std::mutex> lock(context->Lock);
      context->Quit = true;
    }
    context->Posted.notify_one();
    context->Decoder.join();
  }
  std::free(context->Slots);
  delete context;
  PlatSetLastError(code);
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

// Strip k of level 0, counted from the bottom of the image: its groups
// [First, First + Count) and the decoded bytes of its rows.
struct Strip {
  uint32_t First, Count, Bytes;
};

// What streaming level 0 of a checked texture needs.
struct Level0Stream {
  const ZtexSource* Source;
  const TgaSink* Sink;
  const ZtexHeader* Header;
  ZtexBandLayout Layout;
  uint64_t Offset;  // of level 0 in the source
  uint32_t StripGroups, Strips;
  uint8_t* Slots;
  const uint8_t* TgaFooter;
};

static Strip StripAt(const Level0Stream& stream, uint32_t k) {
  const ZtexBandLayout& layout = stream.Layout;
  const uint32_t end = layout.Groups - k * stream.StripGroups;
  Strip strip;
  strip.Count = end < stream.StripGroups ? end : stream.StripGroups;
  strip.First = end - strip.Count;
  const uint32_t lastRow = end == layout.Groups ? stream.Header->Height : end * layout.GroupRows;
  strip.Bytes = (lastRow - strip.First * layout.GroupRows) * layout.RowBytes;
  return strip;
}

static uint8_t* SlotStart(const Level0Stream& stream, uint32_t slot) {
  return stream.Slots + slot * STRIP_SLOT;
}
static uint8_t* SlotPixels(const Level0Stream& stream, uint32_t slot) {
  return SlotStart(stream, slot) + TGA_HEADER_SIZE;
}
static uint8_t* SlotStored(const Level0Stream& stream, uint32_t slot) {
  return SlotPixels(stream, slot) + STRIP_PIXELS + TGA_FOOTER_SIZE;
}

// The stored bytes of strip k from their place into the slot.
static bool ReadStrip(const Level0Stream& stream, uint32_t k, uint32_t slot) {
  const Strip strip = StripAt(stream, k);
  const uint64_t at = stream.Offset + static_cast<uint64_t>(strip.First) * stream.Layout.GroupBytes;
  return ReadExactly(*stream.Source, at, SlotStored(stream, slot),
                     strip.Count * stream.Layout.GroupBytes, ERROR_HANDLE_EOF);
}

// Strip k decoded from the slot's stored bytes into its pixels, the rows
// reversed.
static StripJob DecodeJob(const Level0Stream& stream, uint32_t k, uint32_t slot) {
  const Strip strip = StripAt(stream, k);
  const uint32_t row = stream.Layout.RowBytes;
  return StripJob{stream.Header, strip.First, strip.Count, SlotStored(stream, slot),
                  SlotPixels(stream, slot) + strip.Bytes - row, -static_cast<ptrdiff_t>(row)};
}

// The decoded strip k to the sink: the TGA header goes with the first, the
// footer with the last.
static bool WriteStrip(const Level0Stream& stream, uint32_t k, uint32_t slot) {
  uint8_t* out = k == 0 ? SlotStart(stream, slot) : SlotPixels(stream, slot);
  uint8_t* end = SlotPixels(stream, slot) + StripAt(stream, k).Bytes;
  if (k + 1 == stream.Strips) {
    std::memcpy(end, stream.TgaFooter, TGA_FOOTER_SIZE);
    end += TGA_FOOTER_SIZE;
  }
  return stream.Sink->Write(stream.Sink->Context, out, static_cast<uint32_t>(end - out));
}

// One thread: each strip read, decoded and written in turn.
static bool StreamOnOneThread(const Level0Stream& stream) {
  for (uint32_t k = 0; k < stream.Strips; ++k) {
    if (!ReadStrip(stream, k, 0)) return false;
    DecodeStrip(DecodeJob(stream, k, 0));
    if (!WriteStrip(stream, k, 0)) return false;
  }
  return true;
}

// Two threads, a slot each way: while the decoding thread decodes strip
// k + 1 the calling thread writes strip k, having read strip k + 1 before.
// Every read and write stays on the calling thread; no path returns while a
// strip is being decoded.
static bool StreamOnTwoThreads(const Level0Stream& stream, ConvertContext* context) {
  if (!ReadStrip(stream, 0, 0)) return false;
  PostStrip(context, DecodeJob(stream, 0, 0));
  for (uint32_t k = 0; k < stream.Strips; ++k) {
    const uint32_t slot = k % 2, next = 1 - slot;
    const bool more = k + 1 < stream.Strips;
    const bool read = !more || ReadStrip(stream, k + 1, next);
    AwaitStrip(context, read);
    if (!read) return false;
    if (more) PostStrip(context, DecodeJob(stream, k + 1, next));
    if (!WriteStrip(stream, k, slot)) {
      if (more) AwaitStrip(context, false);
      return false;
    }
  }
  return true;
}

// Groups of a strip of about `target` decoded bytes: at least one, and no
// more than a slot holds.
static uint32_t StripGroups(const ZtexBandLayout& layout, uint32_t target) {
  const uint32_t groupPixels = layout.GroupRows * layout.RowBytes;
  uint32_t groups = target / groupPixels;
  if (groups > STRIP_PIXELS / groupPixels) groups = STRIP_PIXELS / groupPixels;
  if (groups > STRIP_STORED / layout.GroupBytes) groups = STRIP_STORED / layout.GroupBytes;
  return groups > 0 ? groups : 1;
}

// The context's slots, obtained at its first conversion and kept.
static uint8_t* ObtainSlots(ConvertContext* context) {
  if (context->Slots == nullptr)
    context->Slots = static_cast<uint8_t*>(std::malloc(context->Threads * STRIP_SLOT));
  return context->Slots;
}

// The output's whole size, told before its first byte to a sink that can
// reserve room for it.
typedef void (*ReserveOutput)(void* sinkContext, uint64_t size);

static bool ConvertWithContext(const ZtexSource& source, const TgaSink& sink, ReserveOutput reserve,
                               ConvertContext* context) {
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

  Level0Stream stream;
  stream.Slots = ObtainSlots(context);
  if (stream.Slots == nullptr) return PlatFail(ERROR_NOT_ENOUGH_MEMORY);
  uint8_t tgaFooter[TGA_FOOTER_SIZE];
  MakeTgaRecords(header, outputBits, stream.Slots, tgaFooter);  // the header in front of strip 0
  stream.Source = &source;
  stream.Sink = &sink;
  stream.Header = &header;
  stream.Layout = layout;
  stream.Offset = level0;
  const bool twoThreads = context->Threads == 2;
  stream.StripGroups = StripGroups(layout, twoThreads ? STRIP_TARGET_TWO_THREADS : STRIP_TARGET);
  stream.Strips = (layout.Groups - 1) / stream.StripGroups + 1;
  stream.TgaFooter = tgaFooter;
  if (reserve != nullptr)
    reserve(sink.Context, TGA_HEADER_SIZE + static_cast<uint64_t>(decodedSize) + TGA_FOOTER_SIZE);
  if (twoThreads && stream.Strips > 1 && StartDecoder(context)) return StreamOnTwoThreads(stream, context);
  return StreamOnOneThread(stream);
}

// Without a context of the caller's, the conversion has one of its own for
// the call, on one thread.
static bool Convert(const ZtexSource& source, const TgaSink& sink, ReserveOutput reserve,
                    ConvertContext* context) {
  if (context != nullptr) return ConvertWithContext(source, sink, reserve, context);
  ConvertContext* own = CreateConvertContext(1);
  if (own == nullptr) return false;
  const bool converted = ConvertWithContext(source, sink, reserve, own);
  ReleaseConvertContext(own);
  return converted;
}

bool ConvertZtexSourceToTga(const ZtexSource& source, const TgaSink& sink, ConvertContext* context) {
  return Convert(source, sink, nullptr, context);
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

bool ConvertZtexMemoryToTga(const void* ztex, uint64_t size, const TgaSink& sink,
                            ConvertContext* context) {
  if (ztex == nullptr && size != 0) return PlatFail(ERROR_INVALID_PARAMETER);
  MemoryBytes bytes = {static_cast<const uint8_t*>(ztex), size};
  const ZtexSource source = {ReadMemoryAt, &bytes, size};
  return Convert(source, sink, nullptr, context);
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

// Room for the whole image before its first byte; where it cannot be set
// aside, the writes decide as they would without it.
static void ReserveInFile(void* context, uint64_t size) {
  const uint32_t previous = PlatGetLastError();
  if (!PlatReserveFileSpace(*static_cast<const PlatFile*>(context), size)) PlatSetLastError(previous);
}

bool ConvertZtexToTga(PlatFile input, PlatFile output, ConvertContext* context) {
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
  return Convert(source, sink, ReserveInFile, context);
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
