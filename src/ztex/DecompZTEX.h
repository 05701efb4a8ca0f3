// Size rules of ZTEX mip levels and the pixel decoders of the ZTEX formats.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LastError.h"
#include "ZTEX.h"

// DXTC type of a block-compressed format code, 0 for every other code.
uint32_t ZtexToDxtcType(uint32_t format);
// Stored and decoded byte size of one mip level; 0 on failure.
uint32_t GetZtexLevelSize(ZtexHeader header, uint32_t level);
uint32_t GetZtexDecodedSize(ZtexHeader header, uint32_t level);
// TGA pixel depth of the header's format, 24 or 32; 0 on failure.
uint32_t GetZtexOutputBits(ZtexHeader header);
// Decodes the Width x Height pixels of level 0 from source into target
// (targetSize bytes), rows from the top. A null pointer gives 0 and leaves
// the last error alone.
Bool32 DecodeZtexPixels(ZtexHeader header, const void* source, void* target, uint32_t targetSize);

// Level 0 as it is stored and decoded in bands: its rows come in groups (a
// block row of 4 pixel rows in the DXT formats, one pixel row in the others),
// stored one after another.
struct ZtexBandLayout {
  uint32_t GroupRows;   // pixel rows of a group; the last group may have fewer
  uint32_t GroupBytes;  // stored bytes of a group
  uint32_t Groups;      // groups of level 0
  uint32_t RowBytes;    // decoded bytes of one pixel row
};
// The layout of level 0 of a texture whose format has a decoder. False with
// ERROR_CALL_NOT_IMPLEMENTED for ZTEX_DXT5, ERROR_INVALID_PARAMETER for a zero
// dimension or an unknown format, or the size rules' code for a level too
// large to describe in 32 bits.
bool GetZtexBandLayout(ZtexHeader header, ZtexBandLayout* layout);
// Decodes `groups` groups of level 0 from group firstGroup on: their stored
// bytes are `stored`; pixel row GroupRows * firstGroup goes to `firstRow`,
// each further row `pitch` bytes after the one before (a negative pitch fills
// a buffer bottom up). No checks: the layout exists and the band lies inside
// level 0.
void DecodeZtexBand(ZtexHeader header, uint32_t firstGroup, uint32_t groups, const uint8_t* stored,
                    uint8_t* firstRow, ptrdiff_t pitch);
