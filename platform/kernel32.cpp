// Private heaps over the C allocator. Every block carries a small header that links
// it into its heap, so HeapDestroy can give back everything at once:
//
//   heap ──► [BlockHeader | user bytes ...] ◄──► [BlockHeader | user bytes ...] ◄──► ...
//             ^ malloc'd   ^ what HeapAlloc returns
#include "platform/kernel32.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/no_memory.h"
#include "platform/testing.h"

namespace platform {
namespace {

struct BlockHeader {
  struct Heap* heap;
  BlockHeader* previous;
  BlockHeader* next;
  SIZE_T size;
};
static_assert(sizeof(BlockHeader) % alignof(std::max_align_t) == 0);

struct Heap {
  BlockHeader* blocks;
  SIZE_T maximumSize;  // 0: grows as needed
  SIZE_T bytesInUse;
};

char moduleImage;  // stands for the program's image; only its address is used
thread_local DWORD lastError = 0;

BlockHeader* HeaderOf(LPCVOID block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

LPVOID UserBytes(BlockHeader* header) { return header + 1; }

bool Fits(const Heap* heap, SIZE_T more) {
  if (more > SIZE_T(-1) / 2) return false;
  return heap->maximumSize == 0 || heap->bytesInUse + more <= heap->maximumSize;
}

void Link(Heap* heap, BlockHeader* header) {
  header->heap = heap;
  header->previous = nullptr;
  header->next = heap->blocks;
  if (heap->blocks) heap->blocks->previous = header;
  heap->blocks = header;
}

void Unlink(BlockHeader* header) {
  Heap* heap = header->heap;
  if (header->previous)
    header->previous->next = header->next;
  else
    heap->blocks = header->next;
  if (header->next) header->next->previous = header->previous;
}

// A block passed back in must belong to the heap it is given to.
bool Owns(HANDLE heap, LPCVOID block) {
  return heap && block && HeaderOf(block)->heap == static_cast<Heap*>(heap);
}

// More than the C++ library sets aside at load time to report failed allocations.
constexpr std::size_t kStartingReserve = 256 * 1024;

// The platform's part of the process start, before main and before anything opens a
// file. A program started with standard error closed would otherwise hand that number
// to the next file or socket (the X connection) and write its messages into it. And a
// program started with so little address space that the C++ library could not set its
// reserve aside would end in std::terminate at its first failed allocation: it says so
// and ends at once.
[[gnu::constructor]] void StartProcess() {
#ifndef __EMSCRIPTEN__
  // A page hands its program no descriptors; opening /dev/null there would bring the
  // whole in-memory file system into the pages of the programs that write no file.
  OpenMissingStandardDescriptors();
#endif
  if (AddressSpaceFor(kStartingReserve)) return;
  constexpr char kLine[] = ": not enough memory to start\n";
  (void)!write(2, program_invocation_short_name, std::strlen(program_invocation_short_name));
  (void)!write(2, kLine, sizeof kLine - 1);
  _exit(1);
}

}  // namespace

void OpenMissingStandardDescriptors() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // open takes the lowest free number, which is this one.
    open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
  }
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName) return nullptr;
  return reinterpret_cast<HMODULE>(&moduleImage);
}

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T maximumSize) {
  if (test::Refused("HeapCreate")) return nullptr;
  Heap* heap = static_cast<Heap*>(std::calloc(1, sizeof(Heap)));
  if (heap) heap->maximumSize = maximumSize;
  return heap;
}

LPVOID HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  Heap* heap = static_cast<Heap*>(handle);
  if (!heap) return nullptr;
  SIZE_T total = sizeof(BlockHeader) + bytes;
  void* memory = nullptr;
  if (Fits(heap, bytes) && !test::Refused("HeapAlloc"))
    memory = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, total) : std::malloc(total);
  if (!memory) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  BlockHeader* header = static_cast<BlockHeader*>(memory);
  Link(heap, header);
  header->size = bytes;
  heap->bytesInUse += bytes;
  return UserBytes(header);
}

LPVOID HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
  if (!Owns(handle, block)) return nullptr;
  Heap* heap = static_cast<Heap*>(handle);
  BlockHeader* header = HeaderOf(block);
  SIZE_T oldSize = header->size;
  if ((bytes > oldSize && !Fits(heap, bytes - oldSize)) || test::Refused("HeapReAlloc"))
    return nullptr;
  // realloc may move the block, so it leaves the list and comes back in.
  Unlink(header);
  void* moved = std::realloc(header, sizeof(BlockHeader) + bytes);
  if (!moved) {
    Link(heap, header);
    return nullptr;
  }
  header = static_cast<BlockHeader*>(moved);
  Link(heap, header);
  header->size = bytes;
  heap->bytesInUse = heap->bytesInUse - oldSize + bytes;
  if ((flags & HEAP_ZERO_MEMORY) && bytes > oldSize)
    std::memset(static_cast<char*>(UserBytes(header)) + oldSize, 0, bytes - oldSize);
  return UserBytes(header);
}

BOOL HeapFree(HANDLE handle, DWORD, LPVOID block) {
  if (!block) return TRUE;
  if (!Owns(handle, block)) return FALSE;
  BlockHeader* header = HeaderOf(block);
  header->heap->bytesInUse -= header->size;
  Unlink(header);
  std::free(header);
  return TRUE;
}

SIZE_T HeapSize(HANDLE handle, DWORD, LPCVOID block) {
  return Owns(handle, block) ? HeaderOf(block)->size : SIZE_T(-1);
}

BOOL HeapDestroy(HANDLE handle) {
  Heap* heap = static_cast<Heap*>(handle);
  if (!heap) return FALSE;
  while (heap->blocks) {
    BlockHeader* header = heap->blocks;
    heap->blocks = header->next;
    std::free(header);
  }
  std::free(heap);
  return TRUE;
}

void ExitProcess(UINT exitCode) {
  if (test::ExitTrapped()) throw test::ProcessExit{exitCode};
  std::fflush(nullptr);
  std::exit(static_cast<int>(exitCode));
}

}  // namespace platform
