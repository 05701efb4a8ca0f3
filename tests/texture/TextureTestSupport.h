// Helpers of the texture tests: pixels as byte strings, ZTEX files on disk
// and conversions through real files.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

inline Bytes Bgr(uint8_t b, uint8_t g, uint8_t r) { return {b, g, r}; }
inline Bytes Bgra(uint8_t b, uint8_t g, uint8_t r, uint8_t a) { return {b, g, r, a}; }

// The bytes of pixel (x, y) of a tightly packed image, rows from the top.
inline Bytes PixelAt(const Bytes& pixels, uint32_t width, uint32_t pixelBytes, uint32_t x,
                     uint32_t y) {
  const size_t at = ((size_t)y * width + x) * pixelBytes;
  if (at + pixelBytes > pixels.size()) return Bytes();
  return Bytes(pixels.begin() + at, pixels.begin() + at + pixelBytes);
}

inline void Append(Bytes* to, const Bytes& more) { to->insert(to->end(), more.begin(), more.end()); }

// The outcome of converting one ZTEX file.
struct Conversion {
  bool Converted = false;
  uint32_t Code = 0;   // last-error code after the call (0 before it)
  Bytes Output;        // every byte that went to the sink
};

// A sink that appends to bytes and never fails.
struct TgaSink;
TgaSink SinkInto(Bytes* bytes);

// Converts `ztex` from memory into memory, through the context if one is
// given.
struct ConvertContext;
Conversion ConvertBytes(const Bytes& ztex, ConvertContext* context = nullptr);
