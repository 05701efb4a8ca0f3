// Little-endian loads and stores of the decoders and of the file records the
// conversion writes. Loads go byte by byte; stores are one native store on a
// little-endian host (compilers keep the memcpy as one instruction) and byte
// by byte otherwise.
#pragma once

#include <cstdint>
#include <cstring>

static inline uint32_t Load16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

static inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Folded to a constant by the compiler.
static inline bool HostIsLittleEndian() {
  const uint32_t one = 1;
  uint8_t first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

static inline void Store16(uint8_t* p, uint16_t v) {
  if (HostIsLittleEndian()) {
    std::memcpy(p, &v, 2);
    return;
  }
  for (int i = 0; i < 2; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

static inline void Store32(uint8_t* p, uint32_t v) {
  if (HostIsLittleEndian()) {
    std::memcpy(p, &v, 4);
    return;
  }
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

static inline void Store64(uint8_t* p, uint64_t v) {
  if (HostIsLittleEndian()) {
    std::memcpy(p, &v, 8);
    return;
  }
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
