// Memory of the FXT core functions. It reports running out by a null
// result, never by an exception: the C++ runtime keeps blocks for good from
// its first exception on, which a host that counts heap calls sees as a leak.
#pragma once

#include <cstddef>

// A block of size bytes (not zero-filled), or null.
void* CoreAllocate(std::size_t size) noexcept;
void CoreRelease(void* block) noexcept;
