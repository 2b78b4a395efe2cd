// The C runtime's heap. Kept in a file of its own so that a test program can
// link its own definitions instead and make allocations fail.
#include "core_memory.h"

#include <cstdlib>

void* CoreAllocate(std::size_t size) noexcept {
  return std::malloc(size);
}

void CoreRelease(void* block) noexcept {
  std::free(block);
}
