// On Windows the platform's types are the system's own (windows.h). The runtime
// spells some of them platform::NAME; those names lead here to the system's.
//
// The build defines NO_STRICT: every handle is the system's plain HANDLE, so a stock
// brush from GetStockObject goes where a brush is wanted, as in the platform layer.
#pragma once

#include <windows.h>

namespace platform {

using ::BOOL;
using ::BYTE;
using ::COLORREF;
using ::DWORD;
using ::HANDLE;
using ::HBITMAP;
using ::HBRUSH;
using ::HDC;
using ::HMODULE;
using ::HPEN;
using ::HWND;
using ::LPARAM;
using ::LRESULT;
using ::UINT;
using ::WPARAM;

}  // namespace platform
