// Counting a plug-in's heap use by redirecting its import address table.
//
// Every allocator a plug-in can reach is imported: the C runtime's (which
// operator new uses) from msvcrt.dll and the Win32 heap, local and global
// allocators from KERNEL32.dll. Redirecting those entries in one module counts
// exactly that module's calls, whatever thread makes them. Besides the calls,
// the bytes the module holds are summed, with the size each allocator reports
// for its block (the size asked for), so that the peak of one call shows.
#include <windows.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_map>

#include "tesk_control.h"

namespace {

std::atomic<int32_t> gAllocations{0};
std::atomic<int32_t> gReleases{0};
std::atomic<int64_t> gLiveBytes{0};
std::atomic<int64_t> gPeakBytes{0};
std::atomic<int32_t> gAllocationsUntilFailure{-1};  // -1: none fails

// True when this allocation is the one chosen to fail.
bool FailThisAllocation() {
  int32_t left = gAllocationsUntilFailure.load();
  while (left >= 0 && !gAllocationsUntilFailure.compare_exchange_weak(left, left - 1)) {
  }
  return left == 0;
}

void CountBlock(const void* block, size_t size) {
  if (block == nullptr) return;
  ++gAllocations;
  const int64_t live = gLiveBytes += static_cast<int64_t>(size);
  int64_t peak = gPeakBytes.load(std::memory_order_relaxed);
  while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
  }
}

void CountRelease(const void* block, size_t size) {
  if (block == nullptr) return;
  ++gReleases;
  gLiveBytes -= static_cast<int64_t>(size);
}

// The C runtime's block size; 0 for no block.
size_t RuntimeSize(void* block) {
  return block == nullptr ? 0 : _msize(block);
}

// The C runtime cannot tell the size of an aligned block, so it is kept here.
struct AlignedSizes {
  std::mutex mutex;
  std::unordered_map<const void*, size_t> sizes;
};

AlignedSizes& Aligned() {
  static AlignedSizes aligned;
  return aligned;
}

using MallocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
using FreeFn = void(__cdecl*)(void*);
using StrdupFn = char*(__cdecl*)(const char*);
using WcsdupFn = wchar_t*(__cdecl*)(const wchar_t*);
using AlignedMallocFn = void*(__cdecl*)(size_t, size_t);
using HeapAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
using HeapReAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T);
using HeapFreeFn = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID);
using LocalAllocFn = HLOCAL(WINAPI*)(UINT, SIZE_T);
using LocalReAllocFn = HLOCAL(WINAPI*)(HLOCAL, SIZE_T, UINT);
using LocalFreeFn = HLOCAL(WINAPI*)(HLOCAL);

// The original functions, taken from the first import table redirected;
// tags keep functions of the same type apart.
template <int Tag, typename Function>
Function& Saved() {
  static Function function = nullptr;
  return function;
}

enum Tag {
  kMalloc,
  kCalloc,
  kRealloc,
  kFree,
  kStrdup,
  kWcsdup,
  kAlignedMalloc,
  kAlignedFree,
  kHeapAlloc,
  kHeapReAlloc,
  kHeapFree,
  kLocalAlloc,
  kLocalReAlloc,
  kLocalFree,
  kGlobalAlloc,
  kGlobalReAlloc,
  kGlobalFree,
};

void* __cdecl CountingMalloc(size_t size) {
  if (FailThisAllocation()) return nullptr;
  void* block = Saved<kMalloc, MallocFn>()(size);
  CountBlock(block, RuntimeSize(block));
  return block;
}
void* __cdecl CountingCalloc(size_t count, size_t size) {
  if (FailThisAllocation()) return nullptr;
  void* block = Saved<kCalloc, CallocFn>()(count, size);
  CountBlock(block, RuntimeSize(block));
  return block;
}
// A realloc gives its old block back and obtains the new one.
void* __cdecl CountingRealloc(void* old, size_t size) {
  if (size != 0 && FailThisAllocation()) return nullptr;
  const size_t oldSize = RuntimeSize(old);
  void* block = Saved<kRealloc, ReallocFn>()(old, size);
  if (old != nullptr && (size == 0 || block != nullptr)) CountRelease(old, oldSize);
  CountBlock(block, RuntimeSize(block));
  return block;
}
void __cdecl CountingFree(void* block) {
  CountRelease(block, RuntimeSize(block));
  Saved<kFree, FreeFn>()(block);
}
char* __cdecl CountingStrdup(const char* text) {
  if (FailThisAllocation()) return nullptr;
  char* copy = Saved<kStrdup, StrdupFn>()(text);
  CountBlock(copy, RuntimeSize(copy));
  return copy;
}
wchar_t* __cdecl CountingWcsdup(const wchar_t* text) {
  if (FailThisAllocation()) return nullptr;
  wchar_t* copy = Saved<kWcsdup, WcsdupFn>()(text);
  CountBlock(copy, RuntimeSize(copy));
  return copy;
}
void* __cdecl CountingAlignedMalloc(size_t size, size_t alignment) {
  if (FailThisAllocation()) return nullptr;
  void* block = Saved<kAlignedMalloc, AlignedMallocFn>()(size, alignment);
  if (block == nullptr) return nullptr;
  try {
    std::lock_guard lock(Aligned().mutex);
    Aligned().sizes[block] = size;
  } catch (...) {
    // No room for the record: the block is refused, as when memory runs out.
    _aligned_free(block);
    return nullptr;
  }
  CountBlock(block, size);
  return block;
}
void __cdecl CountingAlignedFree(void* block) {
  size_t size = 0;
  if (block != nullptr) {
    std::lock_guard lock(Aligned().mutex);
    const auto found = Aligned().sizes.find(block);
    if (found != Aligned().sizes.end()) {
      size = found->second;
      Aligned().sizes.erase(found);
    }
  }
  CountRelease(block, size);
  Saved<kAlignedFree, FreeFn>()(block);
}
LPVOID WINAPI CountingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (FailThisAllocation()) return nullptr;
  LPVOID block = Saved<kHeapAlloc, HeapAllocFn>()(heap, flags, size);
  CountBlock(block, size);
  return block;
}
LPVOID WINAPI CountingHeapReAlloc(HANDLE heap, DWORD flags, LPVOID old, SIZE_T size) {
  if (FailThisAllocation()) return nullptr;
  const SIZE_T oldSize = HeapSize(heap, 0, old);
  LPVOID block = Saved<kHeapReAlloc, HeapReAllocFn>()(heap, flags, old, size);
  if (block != nullptr) {
    CountRelease(old, oldSize);
    CountBlock(block, size);
  }
  return block;
}
BOOL WINAPI CountingHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  CountRelease(block, block == nullptr ? 0 : HeapSize(heap, 0, block));
  return Saved<kHeapFree, HeapFreeFn>()(heap, flags, block);
}
// LocalAlloc and GlobalAlloc share their types, and so their counting; the
// tag tells whose original a wrapper calls, and Size is LocalSize or
// GlobalSize.
template <int Tag, SIZE_T(WINAPI* Size)(HLOCAL)>
HLOCAL WINAPI CountingLocalAlloc(UINT flags, SIZE_T size) {
  if (FailThisAllocation()) return nullptr;
  HLOCAL block = Saved<Tag, LocalAllocFn>()(flags, size);
  CountBlock(block, size);
  return block;
}
template <int Tag, SIZE_T(WINAPI* Size)(HLOCAL)>
HLOCAL WINAPI CountingLocalReAlloc(HLOCAL old, SIZE_T size, UINT flags) {
  if (FailThisAllocation()) return nullptr;
  const SIZE_T oldSize = Size(old);
  HLOCAL block = Saved<Tag, LocalReAllocFn>()(old, size, flags);
  if (block != nullptr) {
    CountRelease(old, oldSize);
    CountBlock(block, Size(block));
  }
  return block;
}
template <int Tag, SIZE_T(WINAPI* Size)(HLOCAL)>
HLOCAL WINAPI CountingLocalFree(HLOCAL block) {
  CountRelease(block, block == nullptr ? 0 : Size(block));
  return Saved<Tag, LocalFreeFn>()(block);
}

struct Redirect {
  const char* name;
  void* wrapper;
  void** saved;
};

template <int Tag, typename Function>
Redirect Make(const char* name, Function wrapper) {
  return {name, reinterpret_cast<void*>(wrapper),
          reinterpret_cast<void**>(&Saved<Tag, Function>())};
}

const Redirect kRedirects[] = {
    Make<kMalloc>("malloc", &CountingMalloc),
    Make<kCalloc>("calloc", &CountingCalloc),
    Make<kRealloc>("realloc", &CountingRealloc),
    Make<kFree>("free", &CountingFree),
    Make<kStrdup>("_strdup", &CountingStrdup),
    Make<kStrdup>("strdup", &CountingStrdup),
    Make<kWcsdup>("_wcsdup", &CountingWcsdup),
    Make<kAlignedMalloc>("_aligned_malloc", &CountingAlignedMalloc),
    Make<kAlignedFree>("_aligned_free", &CountingAlignedFree),
    Make<kHeapAlloc>("HeapAlloc", &CountingHeapAlloc),
    Make<kHeapReAlloc>("HeapReAlloc", &CountingHeapReAlloc),
    Make<kHeapFree>("HeapFree", &CountingHeapFree),
    Make<kLocalAlloc>("LocalAlloc", &CountingLocalAlloc<kLocalAlloc, LocalSize>),
    Make<kLocalReAlloc>("LocalReAlloc", &CountingLocalReAlloc<kLocalReAlloc, LocalSize>),
    Make<kLocalFree>("LocalFree", &CountingLocalFree<kLocalFree, LocalSize>),
    Make<kGlobalAlloc>("GlobalAlloc", &CountingLocalAlloc<kGlobalAlloc, GlobalSize>),
    Make<kGlobalReAlloc>("GlobalReAlloc", &CountingLocalReAlloc<kGlobalReAlloc, GlobalSize>),
    Make<kGlobalFree>("GlobalFree", &CountingLocalFree<kGlobalFree, GlobalSize>),
};

const Redirect* FindRedirect(const char* name) {
  for (const Redirect& redirect : kRedirects)
    if (std::strcmp(redirect.name, name) == 0) return &redirect;
  return nullptr;
}

void WriteEntry(void** entry, void* value) {
  DWORD protection;
  VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection);
  *entry = value;
  VirtualProtect(entry, sizeof *entry, protection, &protection);
}

}  // namespace

extern "C" int32_t ORVO_CDECL TeskCountHeap(void* module) {
  auto* base = static_cast<unsigned char*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return 0;
  int32_t redirected = 0;
  for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
    auto* entries = reinterpret_cast<void**>(base + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++entries) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const Redirect* redirect = FindRedirect(reinterpret_cast<const char*>(byName->Name));
      if (redirect == nullptr || *entries == redirect->wrapper) continue;
      if (*redirect->saved == nullptr) *redirect->saved = *entries;
      WriteEntry(entries, redirect->wrapper);
      ++redirected;
    }
  }
  return redirected;
}

extern "C" int32_t ORVO_CDECL TeskFailHeapAllocation(int32_t index) {
  return gAllocationsUntilFailure.exchange(index);
}

extern "C" void ORVO_CDECL TeskGetHeapCounts(TeskHeapCounts* counts) {
  counts->allocations = gAllocations;
  counts->releases = gReleases;
}

extern "C" void ORVO_CDECL TeskResetHeapPeak(void) {
  gPeakBytes = gLiveBytes.load();
}

extern "C" void ORVO_CDECL TeskGetHeapBytes(TeskHeapBytes* bytes) {
  bytes->live = gLiveBytes;
  bytes->peak = gPeakBytes;
}
