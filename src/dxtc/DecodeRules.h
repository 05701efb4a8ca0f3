// The rules every decoder of the texture core shares: the mip level rule,
// sizes that must fit in 32 bits, the checks a decoder makes before it
// writes anything, and the one run-time choice of the vector paths. Internal
// to the texture core (DecompDXTC, DecompZTEX).
#pragma once

#include <cstdint>

#include "LastError.h"

// Dimensions of mip level (level mod 32) of a width x height image, or false
// with ERROR_INVALID_PARAMETER when a dimension is zero or not a multiple of
// 2 to that power. Every accepted level is at least one pixel wide and high.
inline bool GetMipLevelDimensions(uint32_t width, uint32_t height, uint32_t level,
                                  uint32_t* levelWidth, uint32_t* levelHeight) {
  if (width == 0 || height == 0) return PlatFail(ERROR_INVALID_PARAMETER);
  const uint32_t shift = level % 32;
  *levelWidth = width >> shift;
  *levelHeight = height >> shift;
  if (*levelWidth << shift != width || *levelHeight << shift != height)
    return PlatFail(ERROR_INVALID_PARAMETER);
  return true;
}

// A byte count that does not fit in 32 bits is refused rather than wrapped.
inline uint32_t FitSize(uint64_t bytes) {
  if (bytes > UINT32_MAX) return PlatFail<uint32_t>(ERROR_INVALID_PARAMETER);
  return static_cast<uint32_t>(bytes);
}

// Width and height non-zero, pointers set and the target large enough for
// width x height pixels of pixelBytes (a 64-bit product), or false with the
// last-error code set.
inline bool CheckDecodeArguments(uint32_t width, uint32_t height, const void* source,
                                 const void* target, uint32_t targetSize, uint32_t pixelBytes) {
  if (width == 0 || height == 0 || source == nullptr || target == nullptr)
    return PlatFail(ERROR_INVALID_PARAMETER);
  if (static_cast<uint64_t>(width) * height * pixelBytes > targetSize)
    return PlatFail(ERROR_INSUFFICIENT_BUFFER);
  return true;
}

// True where the decoders' vector paths run: the processor has SSSE3 (asked
// once) and the tests have not turned them off. The plain paths give the
// same bytes everywhere else.
bool UseVectorDecoders();
