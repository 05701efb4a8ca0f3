// Size rules of ZTEX mip levels and the decoders of the ZTEX pixel formats.
//
// 4-bit channels expand by 17 (15 -> 255), 5- and 6-bit channels by 8 and 4
// without replicating their high bits (31 -> 248, 63 -> 252). ZTEX_DXT5 has
// size rules but no decoder.
#include "DecompZTEX.h"

#include <cstring>

#include "DecodeRules.h"
#include "DecompDXTC.h"
#include "LittleEndian.h"

// TGA pixel depth per format code, ZTEX_A4R4G4B4 (6) to ZTEX_DXT5 (13).
static const uint32_t ZtexOutputBits[8] = {32, 32, 24, 32, 24, 32, 32, 32};
static_assert(sizeof(ZtexOutputBits) / sizeof(ZtexOutputBits[0]) == ZTEX_DXT5 - ZTEX_A4R4G4B4 + 1,
              "one depth per supported format code");

uint32_t ZtexToDxtcType(uint32_t format) {
  switch (format) {
    case ZTEX_DXT1:
      return DXTC_DXT1;
    case ZTEX_DXT1A:
      return DXTC_DXT1A;
    case ZTEX_DXT3:
      return DXTC_DXT3;
    case ZTEX_DXT5:
      return DXTC_DXT5;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------
// Decoders of the uncompressed formats: source pixel i becomes target pixel i,
// each row going where the band's pitch puts it.

// Decodes one row of `width` pixels.
typedef void (*RowDecoder)(const uint8_t* source, uint8_t* target, uint32_t width);

// Two words side by side in the 32-bit lanes of a 64-bit value.
static inline uint64_t LoadWordPair(const uint8_t* p) {
  return static_cast<uint64_t>(Load16(p)) | static_cast<uint64_t>(Load16(p + 2)) << 32;
}

// Nibble k of the two words to byte k, then each byte times 17 (n | n << 4:
// no carries): two BGRA pixels.
static inline uint64_t ExpandA4R4G4B4Pair(uint64_t words) {
  uint64_t n = (words | words << 8) & 0x00FF00FF00FF00FFull;
  n = (n | n << 4) & 0x0F0F0F0F0F0F0F0Full;
  return n | n << 4;
}

// Fields times 8; alpha 255 when bit 15 is set: two BGRA pixels.
static inline uint64_t ExpandA1R5G5B5Pair(uint64_t words) {
  const uint64_t alpha = ((words >> 15) & 0x0000000100000001ull) * 0xFF000000ull;
  return (words & 0x0000001F0000001Full) << 3 | (words & 0x000003E0000003E0ull) << 6 |
         (words & 0x00007C0000007C00ull) << 9 | alpha;
}

// A row of 16-bit pixels into BGRA, two at a time by a pair expansion.
template <uint64_t (*ExpandPair)(uint64_t)>
static void DecodeWordPairRow(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 2 <= width; x += 2) Store64(target + 4 * x, ExpandPair(LoadWordPair(source + 2 * x)));
  if (x < width) Store32(target + 4 * x, static_cast<uint32_t>(ExpandPair(Load16(source + 2 * x))));
}

static void DecodeA4R4G4B4Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  DecodeWordPairRow<ExpandA4R4G4B4Pair>(source, target, width);
}

static void DecodeA1R5G5B5Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  DecodeWordPairRow<ExpandA1R5G5B5Pair>(source, target, width);
}

static inline uint32_t ExpandR5G6B5(uint32_t w) {
  return (w & 0x1F) << 3 | (w & 0x7E0) << 5 | (w & 0xF800) << 8;
}

// Four pixels (12 bytes) at a time, the rest one by one.
static void DecodeR5G6B5Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  uint32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const uint64_t p0 = ExpandR5G6B5(Load16(source + 2 * x));
    const uint64_t p1 = ExpandR5G6B5(Load16(source + 2 * x + 2));
    const uint64_t p2 = ExpandR5G6B5(Load16(source + 2 * x + 4));
    const uint32_t p3 = ExpandR5G6B5(Load16(source + 2 * x + 6));
    Store64(target + 3 * x, p0 | p1 << 24 | p2 << 48);
    Store32(target + 3 * x + 8, static_cast<uint32_t>(p2 >> 16) | p3 << 8);
  }
  for (; x < width; ++x) {
    const uint32_t p = ExpandR5G6B5(Load16(source + 2 * x));
    target[3 * x] = static_cast<uint8_t>(p);
    target[3 * x + 1] = static_cast<uint8_t>(p >> 8);
    target[3 * x + 2] = static_cast<uint8_t>(p >> 16);
  }
}

// The stored byte order of a 32-bit pixel already is blue, green, red, alpha.
static void DecodeA8R8G8B8Row(const uint8_t* source, uint8_t* target, uint32_t width) {
  std::memcpy(target, source, static_cast<size_t>(width) * 4);
}

// --- Rows by vector instructions --------------------------------------------
//
// Where the processor has them (the same run-time choice as the DXT
// decoders' shuffles), the 16-bit formats go 16 pixels at a time through
// 16-bit lanes: each channel is shifted into its byte and masked, and the
// bytes are interleaved into pixels. The same bytes as the rows above, which
// decode the last pixels of a row that are fewer than 16.
#if defined(__x86_64__) || defined(__i386__)
#define ZTEX_HAVE_VECTORS 1
#include <tmmintrin.h>
#define ZTEX_VECTOR_TARGET __attribute__((target("ssse3")))

ZTEX_VECTOR_TARGET static inline __m128i LoadWords(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

ZTEX_VECTOR_TARGET static inline void StoreBytes(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Nibbles of each byte, low first: blue, green, red, alpha; each times 17.
ZTEX_VECTOR_TARGET static inline void ExpandA4R4G4B4Vector(__m128i words, uint8_t* target) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_and_si128(words, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(words, 4), nibble);
  const __m128i first = _mm_unpacklo_epi8(low, high), second = _mm_unpackhi_epi8(low, high);
  StoreBytes(target, _mm_or_si128(first, _mm_slli_epi16(first, 4)));
  StoreBytes(target + 16, _mm_or_si128(second, _mm_slli_epi16(second, 4)));
}

// A row of 16-bit pixels into BGRA, sixteen at a time by a vector
// expansion of eight; the plain row decodes the last ones.
template <void (*Expand)(__m128i, uint8_t*), void (*PlainRow)(const uint8_t*, uint8_t*, uint32_t)>
ZTEX_VECTOR_TARGET static void DecodeWordsRowVector(const uint8_t* source, uint8_t* target,
                                                   uint32_t width) {
  uint32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    Expand(LoadWords(source + 2 * x), target + 4 * x);
    Expand(LoadWords(source + 2 * x + 16), target + 4 * x + 32);
  }
  PlainRow(source + 2 * x, target + 4 * x, width - x);
}

ZTEX_VECTOR_TARGET static void DecodeA4R4G4B4RowVector(const uint8_t* source, uint8_t* target,
                                                       uint32_t width) {
  DecodeWordsRowVector<ExpandA4R4G4B4Vector, DecodeA4R4G4B4Row>(source, target, width);
}

// The bits of a 16-bit lane kept by mask.
ZTEX_VECTOR_TARGET static inline __m128i KeepBits(__m128i lanes, uint16_t mask) {
  return _mm_and_si128(lanes, _mm_set1_epi16(static_cast<short>(mask)));
}

// Blue and green as the low half of each pixel, red and alpha as the high
// half: blue w << 3, green w << 6 into the high byte, red w >> 7; the
// arithmetic shift of bit 15 fills the alpha byte.
ZTEX_VECTOR_TARGET static inline void ExpandA1R5G5B5Vector(__m128i w, uint8_t* target) {
  const __m128i blueGreen =
      _mm_or_si128(KeepBits(_mm_slli_epi16(w, 3), 0x00F8), KeepBits(_mm_slli_epi16(w, 6), 0xF800));
  const __m128i redAlpha =
      _mm_or_si128(KeepBits(_mm_srli_epi16(w, 7), 0x00F8), KeepBits(_mm_srai_epi16(w, 15), 0xFF00));
  StoreBytes(target, _mm_unpacklo_epi16(blueGreen, redAlpha));
  StoreBytes(target + 16, _mm_unpackhi_epi16(blueGreen, redAlpha));
}

ZTEX_VECTOR_TARGET static void DecodeA1R5G5B5RowVector(const uint8_t* source, uint8_t* target,
                                                       uint32_t width) {
  DecodeWordsRowVector<ExpandA1R5G5B5Vector, DecodeA1R5G5B5Row>(source, target, width);
}

// Eight words to the blue-green halves (blue w << 3, green w << 5 into the
// high byte) and the red bytes (w >> 8) of eight pixels.
ZTEX_VECTOR_TARGET static inline void ExpandR5G6B5Vector(__m128i w, __m128i* low4, __m128i* high4) {
  const __m128i blueGreen =
      _mm_or_si128(KeepBits(_mm_slli_epi16(w, 3), 0x00F8), KeepBits(_mm_slli_epi16(w, 5), 0xFC00));
  const __m128i red = KeepBits(_mm_srli_epi16(w, 8), 0x00F8);
  *low4 = _mm_unpacklo_epi16(blueGreen, red);  // four pixels of blue, green, red, zero
  *high4 = _mm_unpackhi_epi16(blueGreen, red);
}

// Sixteen pixels of four bytes to 48 bytes of three: each register gives its
// 12 bytes by one shuffle, and the four dozens are laid into three registers.
ZTEX_VECTOR_TARGET static void DecodeR5G6B5RowVector(const uint8_t* source, uint8_t* target,
                                                     uint32_t width) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -128, -128, -128, -128);
  uint32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i p0, p1, p2, p3;
    ExpandR5G6B5Vector(LoadWords(source + 2 * x), &p0, &p1);
    ExpandR5G6B5Vector(LoadWords(source + 2 * x + 16), &p2, &p3);
    p0 = _mm_shuffle_epi8(p0, pack);
    p1 = _mm_shuffle_epi8(p1, pack);
    p2 = _mm_shuffle_epi8(p2, pack);
    p3 = _mm_shuffle_epi8(p3, pack);
    uint8_t* out = target + 3 * x;
    StoreBytes(out, _mm_or_si128(p0, _mm_slli_si128(p1, 12)));
    StoreBytes(out + 16, _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8)));
    StoreBytes(out + 32, _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4)));
  }
  DecodeR5G6B5Row(source + 2 * x, target + 3 * x, width - x);
}
#define ZTEX_VECTOR_ROW(decoder) decoder
#else
#define ZTEX_VECTOR_ROW(decoder) nullptr
#endif

// The row walk shared by the uncompressed formats.
static void DecodePixelRows(uint32_t width, uint32_t rows, const uint8_t* source,
                            uint32_t sourceBytes, uint8_t* firstRow, ptrdiff_t pitch,
                            RowDecoder decodeRow) {
  const size_t sourceRow = static_cast<size_t>(width) * sourceBytes;
  for (uint32_t y = 0; y < rows; ++y, source += sourceRow, firstRow += pitch)
    decodeRow(source, firstRow, width);
}

// The uncompressed formats: their row decoders (the plain one, and the
// vector one where there is one), stored and decoded pixel bytes.
struct PixelFormat {
  uint32_t Format;
  RowDecoder PlainRow, VectorRow;
  uint32_t SourceBytes, PixelBytes;
};
static const PixelFormat PixelFormats[] = {
    {ZTEX_A4R4G4B4, DecodeA4R4G4B4Row, ZTEX_VECTOR_ROW(DecodeA4R4G4B4RowVector), 2, 4},
    {ZTEX_A1R5G5B5, DecodeA1R5G5B5Row, ZTEX_VECTOR_ROW(DecodeA1R5G5B5RowVector), 2, 4},
    {ZTEX_R5G6B5, DecodeR5G6B5Row, ZTEX_VECTOR_ROW(DecodeR5G6B5RowVector), 2, 3},
    {ZTEX_A8R8G8B8, DecodeA8R8G8B8Row, nullptr, 4, 4},
};

static RowDecoder ChooseRowDecoder(const PixelFormat& pixels) {
  return pixels.VectorRow != nullptr && UseVectorDecoders() ? pixels.VectorRow : pixels.PlainRow;
}

// The image decoder: its checks, then every row from the top. Where stored
// and decoded pixels are alike (A8R8G8B8) the rows lie back to back and the
// whole image is one block move.
static bool DecodePixelImage(const PixelFormat& pixels, uint32_t width, uint32_t height,
                             const void* source, void* target, uint32_t targetSize) {
  if (!CheckDecodeArguments(width, height, source, target, targetSize, pixels.PixelBytes))
    return false;
  if (pixels.SourceBytes == pixels.PixelBytes) {
    std::memcpy(target, source, static_cast<size_t>(width) * height * pixels.PixelBytes);
    return true;
  }
  DecodePixelRows(width, height, static_cast<const uint8_t*>(source), pixels.SourceBytes,
                  static_cast<uint8_t*>(target), static_cast<ptrdiff_t>(width) * pixels.PixelBytes,
                  ChooseRowDecoder(pixels));
  return true;
}

static const PixelFormat* FindPixelFormat(uint32_t format) {
  for (const PixelFormat& f : PixelFormats)
    if (f.Format == format) return &f;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Size rules.

// The stored (decoded false) or decoded size of a level; a format that is
// neither an uncompressed one nor a DXT one fails with unknownCode.
static uint32_t GetLevelSize(const ZtexHeader& header, uint32_t level, bool decoded,
                             uint32_t unknownCode) {
  uint32_t w, h;
  if (!GetMipLevelDimensions(header.Width, header.Height, level, &w, &h)) return 0;
  if (const PixelFormat* pixels = FindPixelFormat(header.Format))
    return FitSize(static_cast<uint64_t>(w) * h * (decoded ? pixels->PixelBytes : pixels->SourceBytes));
  const uint32_t type = ZtexToDxtcType(header.Format);
  if (type == 0) return PlatFail<uint32_t>(unknownCode);
  return decoded ? GetDxtcDecodedSize(header.Width, header.Height, type, level)
                 : GetDxtcCompressedSize(header.Width, header.Height, type, level);
}

uint32_t GetZtexLevelSize(ZtexHeader header, uint32_t level) {
  return GetLevelSize(header, level, false, ERROR_INVALID_PARAMETER);
}

uint32_t GetZtexDecodedSize(ZtexHeader header, uint32_t level) {
  return GetLevelSize(header, level, true, ERROR_INVALID_PIXEL_FORMAT);
}

uint32_t GetZtexOutputBits(ZtexHeader header) {
  if (header.Format - ZTEX_A4R4G4B4 > 7) return PlatFail<uint32_t>(ERROR_INVALID_PIXEL_FORMAT);
  return ZtexOutputBits[header.Format - ZTEX_A4R4G4B4];
}

Bool32 DecodeZtexPixels(ZtexHeader header, const void* source, void* target,
                        uint32_t targetSize) {
  if (source == nullptr || target == nullptr) return BOOL32_FALSE;
  const uint32_t w = header.Width, h = header.Height;
  if (const PixelFormat* pixels = FindPixelFormat(header.Format))
    return DecodePixelImage(*pixels, w, h, source, target, targetSize) ? BOOL32_TRUE : BOOL32_FALSE;
  const uint32_t type = ZtexToDxtcType(header.Format);
  if (type == 0) return PlatFail<Bool32>(ERROR_INVALID_PARAMETER);
  return DecompressDxtc(w, h, type, source, target, targetSize);
}

// ---------------------------------------------------------------------------
// Bands of level 0.

bool GetZtexBandLayout(ZtexHeader header, ZtexBandLayout* layout) {
  const uint32_t w = header.Width, h = header.Height;
  if (w == 0 || h == 0) return PlatFail(ERROR_INVALID_PARAMETER);
  uint64_t groupBytes, rowBytes;
  if (const PixelFormat* pixels = FindPixelFormat(header.Format)) {
    layout->GroupRows = 1;
    layout->Groups = h;
    groupBytes = static_cast<uint64_t>(w) * pixels->SourceBytes;
    rowBytes = static_cast<uint64_t>(w) * pixels->PixelBytes;
  } else {
    const uint32_t type = ZtexToDxtcType(header.Format);
    if (type == 0) return PlatFail(ERROR_INVALID_PARAMETER);
    if (GetDxtcBlockBytes(type) == 0) return PlatFail(ERROR_CALL_NOT_IMPLEMENTED);
    layout->GroupRows = 4;
    layout->Groups = (h - 1) / 4 + 1;
    groupBytes = static_cast<uint64_t>((w - 1) / 4 + 1) * GetDxtcBlockBytes(type);
    rowBytes = static_cast<uint64_t>(w) * GetDxtcPixelBytes(type);
  }
  layout->GroupBytes = FitSize(groupBytes);
  layout->RowBytes = FitSize(rowBytes);
  return layout->GroupBytes != 0 && layout->RowBytes != 0;
}

void DecodeZtexBand(ZtexHeader header, uint32_t firstGroup, uint32_t groups, const uint8_t* stored,
                    uint8_t* firstRow, ptrdiff_t pitch) {
  if (const PixelFormat* pixels = FindPixelFormat(header.Format)) {
    DecodePixelRows(header.Width, groups, stored, pixels->SourceBytes, firstRow, pitch,
                    ChooseRowDecoder(*pixels));
    return;
  }
  DecompressDxtcBand(header.Width, header.Height, ZtexToDxtcType(header.Format), firstGroup, groups,
                     stored, firstRow, pitch);
}
