// user32 on Windows: the system's own (windows.h).
#pragma once

#include "platform/types.h"

namespace platform {

using ::GetAsyncKeyState;

}  // namespace platform
