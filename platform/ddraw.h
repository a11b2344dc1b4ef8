// DirectDraw 7: the display object, exclusive full-screen mode, and the flipping pair
// of surfaces (a primary front buffer with one attached back buffer) as the screen
// runtime uses them. Reached through "DDRAW.DLL" and its "DirectDrawCreateEx".
//
// Surfaces live in ordinary memory laid out as the display mode says (see
// DisplayDriver::SetMode); a surface's GetDC gives a real drawing context on it. When
// another application takes the display, every surface is lost: its calls answer
// DDERR_SURFACELOST until RestoreAllSurfaces.
#pragma once

#include <memory>
#include <vector>

#include "platform/display_driver.h"
#include "platform/gdi_internal.h"
#include "platform/types.h"

namespace platform {

// Results
constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DDERR_INVALIDCAPS = static_cast<HRESULT>(0x88760064);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = static_cast<HRESULT>(0x887600E1);
constexpr HRESULT DDERR_NOTFOUND = static_cast<HRESULT>(0x887600FF);
constexpr HRESULT DDERR_SURFACEBUSY = static_cast<HRESULT>(0x887601AE);
constexpr HRESULT DDERR_SURFACELOST = static_cast<HRESULT>(0x887601C2);
constexpr HRESULT DDERR_VERTICALBLANKINPROGRESS = static_cast<HRESULT>(0x88760219);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = static_cast<HRESULT>(0x88760234);
constexpr HRESULT DDERR_NOPALETTEATTACHED = static_cast<HRESULT>(0x8876023C);
constexpr HRESULT DDERR_CANTCREATEDC = static_cast<HRESULT>(0x88760245);
constexpr HRESULT DDERR_NOTFLIPPABLE = static_cast<HRESULT>(0x88760246);
constexpr HRESULT DDERR_NOTLOCKED = static_cast<HRESULT>(0x88760248);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = static_cast<HRESULT>(0x8876024E);
constexpr HRESULT DDERR_DCALREADYCREATED = static_cast<HRESULT>(0x8876026C);

// SetCooperativeLevel
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;

// DDSURFACEDESC2::dwFlags: which fields are valid
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;

// DDSCAPS2::dwCaps
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;

// DDPIXELFORMAT::dwFlags
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;

// Lock
constexpr DWORD DDLOCK_WAIT = 0x00000001;

// Flip
constexpr DWORD DDFLIP_WAIT = 0x00000001;
constexpr DWORD DDFLIP_NOVSYNC = 0x00000008;

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue, dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  DWORD dwRGBBitCount;
  DWORD dwRBitMask, dwGBitMask, dwBBitMask;
  DWORD dwRGBAlphaBitMask;
};

struct DDSCAPS2 {
  DWORD dwCaps, dwCaps2, dwCaps3, dwCaps4;
};

struct DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  DDCOLORKEY ddckCKDestOverlay, ddckCKDestBlt, ddckCKSrcOverlay, ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
};
static_assert(sizeof(void*) != 4 || sizeof(DDSURFACEDESC2) == 124, "the platform's layout");

extern const IID IID_IDirectDraw7;

struct IDirectDraw7;

struct IDirectDrawPalette {
  ULONG Release();

  ULONG references;
};

struct IDirectDrawSurface7 {
  HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** attached);
  HRESULT GetDC(HDC* dc);
  HRESULT ReleaseDC(HDC dc);
  // The whole surface (no rectangle); fills the description with the pixel address,
  // pitch, size and pixel format.
  HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event);
  HRESULT Unlock(RECT* rect);
  // Front buffer only: the back buffer's pixels become the front's and are shown.
  HRESULT Flip(IDirectDrawSurface7* target, DWORD flags);
  HRESULT GetPalette(IDirectDrawPalette** palette);
  HRESULT SetPalette(IDirectDrawPalette* palette);
  ULONG Release();

  // The layer's bookkeeping.
  const char* name;  // "front" or "back", in the call log
  IDirectDraw7* owner;  // null once the DirectDraw object is gone
  IDirectDrawSurface7* attached;  // front: its back buffer; back: its front buffer
  ULONG references;
  std::unique_ptr<BYTE[]> bits;
  gdi::PixelMemory memory;
  HDC dc;
  bool locked;
  bool lost;
  IDirectDrawPalette* palette;
};

struct IDirectDraw7 {
  HRESULT SetCooperativeLevel(HWND window, DWORD flags);
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags);
  // Only the flipping primary (front buffer with back buffers attached) is offered.
  HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface, void* outer);
  HRESULT GetScanLine(DWORD* line);
  HRESULT RestoreAllSurfaces();
  ULONG Release();

  // The layer's bookkeeping.
  ULONG references;
  HWND window;
  bool exclusive;
  bool modeSet;
  int width, height, depth;
  SurfaceLayout layout;
  IDirectDrawSurface7* primary;
};

// Exported by "DDRAW.DLL". Fills *object on success; null GUID: the default display.
HRESULT DirectDrawCreateEx(GUID* driver, LPVOID* object, REFIID iid, void* outer);
using DirectDrawCreateExProc = HRESULT (*)(GUID*, LPVOID*, REFIID, void*);

// Why the last DirectDrawCreateEx found no display, in a few words for the user; null
// when it did not fail for want of one. Our own addition: the platform's result codes
// cannot say which display was asked and what it answered.
const char* NoDisplayReason();

}  // namespace platform
