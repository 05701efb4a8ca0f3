// The pixel buffers of the conversion. Large blocks that a conversion
// releases are kept for the next one: a batch converts many textures of
// similar sizes, and memory that was touched before is many times faster to
// fill than fresh pages. Exhaustion is reported by a null result.
#include <cstddef>
#include <cstdlib>

#include "OskeltZtexUtil.h"

enum : uint64_t {
  KEEP_MIN_BYTES = 1u << 20,    // smaller blocks come and go through malloc
  KEEP_MAX_BYTES = 256u << 20,  // larger ones are not worth holding on to
  CAPACITY_GRANULE = 64u << 10  // capacities round up so that near sizes share blocks
};
enum { KEPT_BLOCKS = 2, BLOCK_PREFIX = 16 };

// Each block starts with BLOCK_PREFIX bytes that hold its capacity; callers
// get the address behind them.
struct KeptBlock {
  uint8_t* Memory;
  uint64_t Capacity;
};
static KeptBlock Kept[KEPT_BLOCKS];

static inline uint64_t CapacityOf(const uint8_t* memory) {
  uint64_t capacity = 0;
  for (int i = 7; i >= 0; --i) capacity = capacity << 8 | memory[i];
  return capacity;
}

static uint8_t* AllocateBlock(uint64_t capacity) {
  if (capacity > SIZE_MAX - BLOCK_PREFIX) return nullptr;
  uint8_t* memory = static_cast<uint8_t*>(std::malloc((size_t)capacity + BLOCK_PREFIX));
  if (memory == nullptr) return nullptr;
  for (int i = 0; i < 8; ++i) memory[i] = (uint8_t)(capacity >> (8 * i));
  return memory;
}

void* ObtainConversionBuffer(uint32_t size) {
  const uint64_t wanted = size == 0 ? 1 : size;
  // The smallest kept block that fits without wasting more than half of it.
  int best = -1;
  for (int i = 0; i < KEPT_BLOCKS; ++i) {
    const uint64_t capacity = Kept[i].Capacity;
    if (Kept[i].Memory != nullptr && capacity >= wanted && capacity / 2 <= wanted &&
        (best < 0 || capacity < Kept[best].Capacity))
      best = i;
  }
  if (best >= 0) {
    uint8_t* memory = Kept[best].Memory;
    Kept[best].Memory = nullptr;
    Kept[best].Capacity = 0;
    return memory + BLOCK_PREFIX;
  }
  uint64_t capacity = wanted;
  if (capacity >= KEEP_MIN_BYTES)
    capacity = (capacity + CAPACITY_GRANULE - 1) / CAPACITY_GRANULE * CAPACITY_GRANULE;
  uint8_t* memory = AllocateBlock(capacity);
  if (memory == nullptr) {
    // What is kept may be what stands in the way.
    FreeConversionBuffers();
    memory = AllocateBlock(capacity);
    if (memory == nullptr) return nullptr;
  }
  return memory + BLOCK_PREFIX;
}

void ReleaseConversionBuffer(void* buffer) {
  if (buffer == nullptr) return;
  uint8_t* memory = static_cast<uint8_t*>(buffer) - BLOCK_PREFIX;
  const uint64_t capacity = CapacityOf(memory);
  if (capacity < KEEP_MIN_BYTES || capacity > KEEP_MAX_BYTES) {
    std::free(memory);
    return;
  }
  // An empty place, else the place of the smallest kept block if that one is
  // smaller than this.
  int slot = -1;
  for (int i = 0; i < KEPT_BLOCKS; ++i) {
    if (Kept[i].Memory == nullptr) {
      slot = i;
      break;
    }
    if (Kept[i].Capacity < capacity && (slot < 0 || Kept[i].Capacity < Kept[slot].Capacity))
      slot = i;
  }
  if (slot < 0) {
    std::free(memory);
    return;
  }
  std::free(Kept[slot].Memory);
  Kept[slot].Memory = memory;
  Kept[slot].Capacity = capacity;
}

void FreeConversionBuffers() {
  for (int i = 0; i < KEPT_BLOCKS; ++i) {
    std::free(Kept[i].Memory);
    Kept[i].Memory = nullptr;
    Kept[i].Capacity = 0;
  }
}
