// winmm on Windows: the system's own timer resolution calls.
#pragma once

#include "platform/types.h"

#include <mmsystem.h>
