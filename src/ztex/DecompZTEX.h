// Size rules of ZTEX mip levels and the pixel decoders of the ZTEX formats.
#pragma once

#include <cstdint>

#include "Platform.h"
#include "ZTEX.h"

// DXTC type of a block-compressed format code, 0 for every other code.
uint32_t ZtexToDxtcType(uint32_t format);
// Stored and decoded byte size of one mip level; 0 on failure.
uint32_t GetZtexLevelSize(ZtexHeader header, uint32_t level);
uint32_t GetZtexDecodedSize(ZtexHeader header, uint32_t level);
// TGA pixel depth of the header's format, 24 or 32; 0 on failure.
uint32_t GetZtexOutputBits(ZtexHeader header);
// Decodes the Width x Height pixels of level 0 from source into target
// (targetSize bytes). A null pointer gives 0 and leaves the last error alone.
Bool32 DecodeZtexPixels(ZtexHeader header, const void* source, void* target, uint32_t targetSize);
// The same pixels with the rows in the other order: the top row of the image
// is the last row of the target, as a TGA file stores it.
Bool32 DecodeZtexPixelsBottomUp(ZtexHeader header, const void* source, void* target,
                                uint32_t targetSize);
