// Basic types of the platform interface, spelled as the platform spells them.
// Handles are pointers to distinct incomplete types, so one kind of handle cannot be
// passed where another is expected.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using HRESULT = std::int32_t;
using SIZE_T = std::size_t;
using LPVOID = void*;
using LPCVOID = const void*;
using LPCSTR = const char*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = DWORD;  // 0x00BBGGRR, red in the low byte

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

using HANDLE = void*;
#define PLATFORM_HANDLE(name) \
  struct name##__;            \
  using name = name##__*
PLATFORM_HANDLE(HINSTANCE);
PLATFORM_HANDLE(HWND);
PLATFORM_HANDLE(HDC);
PLATFORM_HANDLE(HGDIOBJ);
PLATFORM_HANDLE(HICON);
PLATFORM_HANDLE(HCURSOR);
PLATFORM_HANDLE(HMENU);
#undef PLATFORM_HANDLE
using HMODULE = HINSTANCE;
// Brushes, pens and bitmaps are all GDI objects and travel through SelectObject.
using HBRUSH = HGDIOBJ;
using HPEN = HGDIOBJ;
using HBITMAP = HGDIOBJ;

struct RECT {
  LONG left, top, right, bottom;
};

struct POINT {
  LONG x, y;
};

// Identifies an interface or a device; compared whole.
struct GUID {
  DWORD Data1;
  WORD Data2, Data3;
  BYTE Data4[8];
  bool operator==(const GUID&) const = default;
};
using IID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using ULONG = std::uint32_t;

}  // namespace platform
