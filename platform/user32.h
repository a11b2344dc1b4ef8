// user32: window classes, windows and their procedures, the message queue, window
// device contexts, the cursor, the keyboard state and rectangle filling.
//
// One thread owns every window and the one message queue. Messages reach a window
// procedure in two ways: posted ones through PeekMessageA and DispatchMessageA, and
// sent ones synchronously from inside ShowWindow and MoveWindow.
#pragma once

#include "platform/types.h"

namespace platform {

using ATOM = WORD;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// Class styles
constexpr UINT CS_DBLCLKS = 0x0008;

// Window styles
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;

// ShowWindow
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;

// PeekMessageA
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

// Messages
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;

// WM_ACTIVATE, low word of wParam
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// Virtual keys
constexpr int VK_BACK = 0x08;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;

inline LPCSTR MAKEINTRESOURCEA(WORD id) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id));
}
inline WORD LOWORD(std::uintptr_t value) { return static_cast<WORD>(value & 0xFFFF); }
inline WORD HIWORD(std::uintptr_t value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }

// --- Classes and windows ---------------------------------------------------------

// 0 when the record is malformed or the class name is taken.
ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);
// The programs carry no icon resources: always no icon.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
// 0 when the class is not registered. The window is hidden unless WS_VISIBLE is given.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter);
BOOL SetWindowTextA(HWND window, LPCSTR title);
// Sends WM_SIZE when the size changes.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// Returns whether the window was visible before. Showing a window activates it and
// hiding the active window deactivates it; both send WM_ACTIVATE.
BOOL ShowWindow(HWND window, int command);
// Returns the new display counter; the cursor shows while the counter is 0 or more.
int ShowCursor(BOOL show);

// --- Messages --------------------------------------------------------------------

// Queues a message for `window` (0: for the thread itself). FALSE for a window that
// does not exist.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Lets the display report what happened, then takes the first queued message for
// `window` (0: any) within [first, last] (0, 0: every message). FALSE when none waits.
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
// Posts WM_CHAR (WM_SYSCHAR) after a key-down of a key that types a character.
BOOL TranslateMessage(const MSG* message);
// Calls the procedure of the message's window and returns its result.
LRESULT DispatchMessageA(const MSG* message);
// What a window does with a message its procedure passes on: WM_ERASEBKGND fills the
// window with its class brush, WM_CLOSE destroys the window; everything else is 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// --- Drawing ---------------------------------------------------------------------

// A window's device context, drawing into the window's own pixels until ReleaseDC
// gives it back.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// Fills the rectangle (right and bottom excluded) with the brush, clipped to the
// context's drawing surface.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// --- Keyboard --------------------------------------------------------------------

// Bit 15 set while the key is down; bit 0 set when it was pressed since the last call.
SHORT GetAsyncKeyState(int virtualKey);

}  // namespace platform
