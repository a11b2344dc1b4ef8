// DirectInput 7: the input object and the system keyboard device with its data
// format, as the screen runtime prepares them. Reached through "DINPUT.DLL" and its
// "DirectInputCreateEx". The device is only made ready, never acquired or read: the
// programs read keys with GetAsyncKeyState.
#pragma once

#include "platform/types.h"

namespace platform {

constexpr DWORD DIRECTINPUT_VERSION = 0x0700;

// Results
constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOEFFECT = 1;
constexpr HRESULT DIERR_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT DIERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DIERR_DEVICENOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DIERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047E);

// DIDATAFORMAT::dwFlags
constexpr DWORD DIDF_ABSAXIS = 0x00000001;
constexpr DWORD DIDF_RELAXIS = 0x00000002;

// DIOBJECTDATAFORMAT::dwType
constexpr DWORD DIDFT_PSHBUTTON = 0x00000004;
constexpr DWORD DIDFT_TGLBUTTON = 0x00000008;
constexpr DWORD DIDFT_BUTTON = DIDFT_PSHBUTTON | DIDFT_TGLBUTTON;
constexpr DWORD DIDFT_OPTIONAL = 0x80000000;
constexpr DWORD DIDFT_MAKEINSTANCE(DWORD n) { return (n & 0xFFFF) << 8; }

struct DIOBJECTDATAFORMAT {
  const GUID* pguid;
  DWORD dwOfs;
  DWORD dwType;
  DWORD dwFlags;
};

struct DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;
  DWORD dwNumObjs;
  DIOBJECTDATAFORMAT* rgodf;
};

extern const GUID GUID_Key;
extern const GUID GUID_SysKeyboard;
extern const IID IID_IDirectInput7A;
extern const IID IID_IDirectInputDevice7A;

struct IDirectInputDevice7A {
  // Checks the format against the device: record sizes, objects inside the data.
  HRESULT SetDataFormat(const DIDATAFORMAT* format);
  HRESULT Unacquire();
  ULONG Release();

  // The layer's bookkeeping.
  ULONG references;
  bool formatSet;
  bool acquired;
};

struct IDirectInput7A {
  HRESULT CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, void* outer);
  ULONG Release();

  // The layer's bookkeeping.
  ULONG references;
};

// Exported by "DINPUT.DLL". Fills *object on success.
HRESULT DirectInputCreateEx(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* object, void* outer);
using DirectInputCreateExProc = HRESULT (*)(HINSTANCE, DWORD, REFIID, LPVOID*, void*);

}  // namespace platform
