// The ZTEX texture file: its 36-byte header and the pixel format codes.
//
// A ZTEX file is little-endian: the header, then the mip levels from the
// smallest (level MipMapCount - 1) down to level 1, then level 0, the
// full-size image. There is no palette and no per-level header.
#pragma once

#include <cstdint>

enum : uint32_t {
  ZTEX_A4R4G4B4 = 6,  // 16-bit pixels, decoded to BGRA
  ZTEX_A1R5G5B5 = 7,  // 16-bit pixels, decoded to BGRA
  ZTEX_R5G6B5 = 8,    // 16-bit pixels, decoded to BGR
  ZTEX_A8R8G8B8 = 9,  // 32-bit pixels, stored as BGRA already
  ZTEX_DXT1 = 10,     // 8-byte blocks, decoded to BGR
  ZTEX_DXT1A = 11,    // 8-byte blocks with 1-bit alpha, decoded to BGRA
  ZTEX_DXT3 = 12,     // 16-byte blocks with explicit alpha, decoded to BGRA
  ZTEX_DXT5 = 13      // 16-byte blocks; sizes known, no decoder
};

enum : uint32_t { ZTEX_HEADER_SIZE = 36 };

struct ZtexHeader {
  uint8_t Signature[4];  // "ZTEX"
  uint32_t Reserved1;
  uint32_t Format;       // one of the ZTEX_ codes
  uint32_t Width;        // of level 0
  uint32_t Height;       // of level 0
  uint32_t MipMapCount;  // levels stored, level 0 included; low 16 bits used
  uint32_t Reserved2;
  uint32_t Reserved3;
  uint32_t Reserved4;
};
static_assert(sizeof(ZtexHeader) == ZTEX_HEADER_SIZE, "ZtexHeader is the 36-byte file record");

// Decodes the 36 little-endian header bytes of a file into a ZtexHeader.
void ReadZtexHeader(const uint8_t* bytes, ZtexHeader* header);
// True when the header's signature is "ZTEX".
bool HasZtexSignature(const ZtexHeader& header);
