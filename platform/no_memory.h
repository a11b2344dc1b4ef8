// No exception crosses the platform interface. A call whose own bookkeeping (a
// window record, a surface's pixels, a file name) cannot get memory fails as the
// platform's calls fail, by its result, and leaves ERROR_NOT_ENOUGH_MEMORY as the last
// error, so the runtime can say why.
#pragma once

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

}  // namespace platform
