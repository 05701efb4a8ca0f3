// DXT block decompression into BGR / BGRA pixel buffers, and the byte sizes
// of DXT images and their mip levels. Addressed by its own DXTC type codes.
//
// Not supported: decoding DXT4 and DXT5 (sizes only; decoding fails with
// ERROR_CALL_NOT_IMPLEMENTED).
#pragma once

#include <cstddef>
#include <cstdint>

#include "LastError.h"

enum : uint32_t {
  DXTC_DXT1 = 1,   // 8-byte blocks, decoded to 3-byte BGR
  DXTC_DXT1A = 2,  // 8-byte blocks, decoded to 4-byte BGRA
  DXTC_DXT2 = 3,   // decoded as DXT3
  DXTC_DXT3 = 4,   // 16-byte blocks: explicit alpha, then a four-colour block
  DXTC_DXT4 = 5,   // sizes only
  DXTC_DXT5 = 6    // sizes only
};

// Decodes a width x height image of the given type from source (which holds
// GetDxtcCompressedSize(width, height, dxtcType, 0) bytes) into target, a
// tightly packed pixel buffer of targetSize bytes, rows from the top.
Bool32 DecompressDxtc(uint32_t width, uint32_t height, uint32_t dxtcType, const void* source,
                      void* target, uint32_t targetSize);
// Stored and decoded byte sizes of mip level `level` of a width x height
// image (level mod 32 counts); 0 on failure with the last-error code set.
uint32_t GetDxtcCompressedSize(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t level);
uint32_t GetDxtcDecodedSize(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t level);

// Bytes of one stored block and of one decoded pixel of a type that has a
// decoder (DXTC_DXT1 to DXTC_DXT3); 0 for the others.
uint32_t GetDxtcBlockBytes(uint32_t dxtcType);
uint32_t GetDxtcPixelBytes(uint32_t dxtcType);

// A band of block rows of a width x height image: blockRows rows of blocks
// from block row firstBlockRow on, read from `blocks` (their stored bytes,
// one after another) and written from pixel row 4 * firstBlockRow on, into
// `firstRow` (where that pixel row's first pixel goes) with `pitch` bytes
// from one pixel row to the next; a negative pitch fills a buffer bottom up.
// The last block row of the image writes only the rows the image has. No
// checks: the type has a decoder and the band lies inside the image.
void DecompressDxtcBand(uint32_t width, uint32_t height, uint32_t dxtcType, uint32_t firstBlockRow,
                        uint32_t blockRows, const uint8_t* blocks, uint8_t* firstRow,
                        ptrdiff_t pitch);
