#include "platform/winmm.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/no_memory.h"
#include "platform/testing.h"

namespace platform {
namespace {

std::vector<UINT> periodsInForce;

}  // namespace

MMRESULT timeBeginPeriod(UINT period) {
  return FailingWithoutMemory<MMRESULT>(TIMERR_NOCANDO, [&]() -> MMRESULT {
    test::Record("timeBeginPeriod " + std::to_string(period));
    if (period == 0) return TIMERR_NOCANDO;
    periodsInForce.push_back(period);
    return TIMERR_NOERROR;
  });
}

MMRESULT timeEndPeriod(UINT period) {
  return FailingWithoutMemory<MMRESULT>(TIMERR_NOCANDO, [&]() -> MMRESULT {
    test::Record("timeEndPeriod " + std::to_string(period));
    auto it = std::find(periodsInForce.begin(), periodsInForce.end(), period);
    if (it == periodsInForce.end()) return TIMERR_NOCANDO;
    periodsInForce.erase(it);
    return TIMERR_NOERROR;
  });
}

}  // namespace platform
