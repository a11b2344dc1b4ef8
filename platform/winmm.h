// winmm: the resolution of the system timer, which sets how long a Sleep(1) lasts.
#pragma once

#include "platform/types.h"

namespace platform {

using MMRESULT = UINT;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

// Each timeBeginPeriod is ended by a timeEndPeriod with the same period.
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);

}  // namespace platform
