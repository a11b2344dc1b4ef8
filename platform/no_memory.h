// No exception crosses the platform interface. A call whose own bookkeeping (a
// window record, a surface's pixels, a file name) cannot get memory fails as the
// platform's calls fail, by its result, and leaves ERROR_NOT_ENOUGH_MEMORY as the last
// error, so the runtime can say why.
#pragma once

#include <sys/mman.h>
#include <sys/resource.h>

#include <cstddef>
#include <new>

#include "platform/kernel32.h"

namespace platform {

template <typename Result, typename Body>
Result FailingWithoutMemory(Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed;
  }
}

// False when the process cannot have `bytes` more of address space (under `ulimit -v`);
// only the space is asked for, and given back at once. Without a limit it is always
// there.
inline bool AddressSpaceFor(std::size_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return true;
  void* probe = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) return false;
  munmap(probe, bytes);
  return true;
}

}  // namespace platform
