// No exception crosses the platform interface. A call whose own bookkeeping (a
// window record, a surface's pixels, a file name) cannot get memory fails as the
// platform's calls fail, by its result; the runtime takes its failure path from there.
#pragma once

#include <new>

namespace platform {

template <typename Result, typename Body>
Result FailingWithoutMemory(Result failed, Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return failed;
  }
}

}  // namespace platform
