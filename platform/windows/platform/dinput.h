// DirectInput 7 on Windows: the system's own dinput.h, at version 7.
#pragma once

#include "platform/types.h"

#define DIRECTINPUT_VERSION 0x0700
#include <dinput.h>

namespace platform {

using ::DIDATAFORMAT;
using ::IDirectInput7A;
using ::IDirectInputDevice7A;

// The type of "DirectInputCreateEx", which the runtime finds in "DINPUT.DLL" itself.
using DirectInputCreateExProc = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, IUnknown*);

}  // namespace platform
