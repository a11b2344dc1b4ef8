// DirectDraw 7 on Windows: the system's own ddraw.h, and the few names the runtime
// uses beside it.
#pragma once

#include "platform/types.h"

#include <ddraw.h>

namespace platform {

using ::DDSURFACEDESC2;
using ::IDirectDraw7;
using ::IDirectDrawSurface7;

// The type of "DirectDrawCreateEx", which the runtime finds in "DDRAW.DLL" itself.
using DirectDrawCreateExProc = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);

// The platform layer on Linux names the display it could not reach; here the
// system's result codes are all there is to say.
inline const char* NoDisplayReason() { return nullptr; }

}  // namespace platform
