// DirectDraw 7 over the display backend. The layer keeps every object and surface in
// ordinary memory and owns them here, so nothing a program forgets to release is
// leaked and no released handle points into freed memory before its last reference
// goes.
#include "platform/ddraw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel32.h"
#include "platform/no_memory.h"
#include "platform/testing.h"
#include "platform/user32.h"
#include "platform/user32_internal.h"

namespace platform {

const IID IID_IDirectDraw7 = {0x7D0A0007, 0x0007, 0x4DD7, {0x8B, 0x01, 0, 0, 0, 0, 0, 0x07}};

namespace {

// Fresh video memory holds whatever was there before; never black by chance.
constexpr BYTE kUninitialisedByte = 0xA5;

std::vector<std::unique_ptr<IDirectDraw7>> objects;
std::vector<std::unique_ptr<IDirectDrawSurface7>> surfaces;
std::vector<std::unique_ptr<IDirectDrawPalette>> palettes;

const DisplayDriver& Driver() { return DisplayDriverInstance(); }

const char* noDisplayReason = nullptr;

// Less than a screen takes, more than starting the display's libraries does. Xlib does
// not survive running out of memory while it starts (it crashes on a locale name it
// could not allocate), so the display is not started without this much room.
constexpr std::size_t kDisplayStartRoom = 8 << 20;
// About what showing a screen takes besides its surfaces: the display's libraries, a
// window surface, a renderer.
constexpr std::size_t kDisplayHeadroom = 16 << 20;

// True when not even `bytes` of address space can be had; the last error then says
// memory. A display refusing a step may be refusing for want of memory (a library it
// loads, a window surface), and the backend cannot always tell: this tells.
bool ShortOfMemory(std::size_t bytes = kDisplayHeadroom) {
  if (AddressSpaceFor(bytes)) return false;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return true;
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

template <typename T>
void Forget(std::vector<std::unique_ptr<T>>& owned, const T* item) {
  std::erase_if(owned, [item](const std::unique_ptr<T>& p) { return p.get() == item; });
}

void Allocate(IDirectDrawSurface7& surface, const IDirectDraw7& owner) {
  if (test::Refused("NewSurface")) throw std::bad_alloc();
  auto bytes = static_cast<std::size_t>(owner.layout.pitch) * static_cast<std::size_t>(owner.height);
  surface.bits = std::make_unique<BYTE[]>(bytes);
  std::memset(surface.bits.get(), kUninitialisedByte, bytes);
  surface.memory = {surface.bits.get(), owner.width, owner.height, owner.layout.pitch, owner.layout.format};
}

std::unique_ptr<IDirectDrawSurface7> NewSurface(const char* name, IDirectDraw7* owner) {
  auto surface = std::make_unique<IDirectDrawSurface7>();
  surface->name = name;
  surface->owner = owner;
  Allocate(*surface, *owner);
  return surface;
}

bool Busy(const IDirectDrawSurface7* surface) { return surface->dc || surface->locked; }

void LoseSurfaces(IDirectDraw7* object) {
  if (!object->primary) return;
  object->primary->lost = true;
  if (object->primary->attached) object->primary->attached->lost = true;
}

void LeaveExclusive(IDirectDraw7* object) {
  if (!object->exclusive) return;
  Driver().LeaveExclusive();
  object->exclusive = false;
  object->modeSet = false;
  LoseSurfaces(object);
}

// A front buffer and its back buffer go together, once neither is referenced.
void FreeIfUnreferenced(IDirectDrawSurface7* surface) {
  IDirectDrawSurface7* other = surface->attached;
  if (surface->references || (other && other->references)) return;
  IDirectDrawSurface7* front = std::strcmp(surface->name, "front") == 0 ? surface : other;
  if (front && front->owner && front->owner->primary == front) front->owner->primary = nullptr;
  for (IDirectDrawSurface7* s : {surface, other}) {
    if (!s) continue;
    if (s->dc) gdi::DeleteMemoryTargetDC(s->dc);
    if (s->palette) s->palette->Release();
    Forget(surfaces, s);
  }
}

void DescribePixelFormat(const gdi::PixelFormat& format, DDPIXELFORMAT* out) {
  *out = {};
  out->dwSize = sizeof *out;
  out->dwFlags = format.bitsPerPixel == 8 ? DDPF_PALETTEINDEXED8 : DDPF_RGB;
  out->dwRGBBitCount = static_cast<DWORD>(format.bitsPerPixel);
  out->dwRBitMask = format.redMask;
  out->dwGBitMask = format.greenMask;
  out->dwBBitMask = format.blueMask;
}

}  // namespace

// --- DirectDraw object -------------------------------------------------------------

HRESULT DirectDrawCreateEx(GUID* driver, LPVOID* object, REFIID iid, void* outer) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("DirectDrawCreateEx");
    if (!object) return DDERR_INVALIDPARAMS;
    *object = nullptr;
    if (driver || outer || !(iid == IID_IDirectDraw7)) return DDERR_INVALIDPARAMS;
    noDisplayReason = nullptr;
    if (test::Refused("DirectDrawCreateEx")) return DDERR_GENERIC;
    if (ShortOfMemory(kDisplayStartRoom)) return DDERR_OUTOFMEMORY;
    if (!Driver().Available()) {
      if (ShortOfMemory()) return DDERR_OUTOFMEMORY;
      noDisplayReason = Driver().WhyUnavailable();
      return DDERR_GENERIC;
    }
    objects.push_back(std::make_unique<IDirectDraw7>());
    objects.back()->references = 1;
    *object = objects.back().get();
    return DD_OK;
  });
}

const char* NoDisplayReason() { return noDisplayReason; }

HRESULT IDirectDraw7::SetCooperativeLevel(HWND newWindow, DWORD flags) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    std::string entry = "SetCooperativeLevel " + Hex(flags);
    test::Record(entry);
    if (test::Refused(entry)) return DDERR_GENERIC;
    if (flags & DDSCL_EXCLUSIVE) {
      if (!(flags & DDSCL_FULLSCREEN) || !user32::AsWindow(newWindow)) return DDERR_INVALIDPARAMS;
      if (!Driver().EnterExclusive(newWindow)) return ShortOfMemory() ? DDERR_OUTOFMEMORY : DDERR_GENERIC;
      exclusive = true;
      window = newWindow;
      return DD_OK;
    }
    if (!(flags & DDSCL_NORMAL)) return DDERR_INVALIDPARAMS;
    LeaveExclusive(this);
    window = newWindow;
    return DD_OK;
  });
}

HRESULT IDirectDraw7::SetDisplayMode(DWORD newWidth, DWORD newHeight, DWORD bitsPerPixel, DWORD, DWORD) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("SetDisplayMode " + std::to_string(newWidth) + "x" + std::to_string(newHeight) + "x" +
                 std::to_string(bitsPerPixel));
    if (!exclusive) return DDERR_NOEXCLUSIVEMODE;
    if (newWidth == 0 || newHeight == 0 || newWidth > 0x7FFF || newHeight > 0x7FFF || bitsPerPixel > 32)
      return DDERR_INVALIDPARAMS;
    if (test::Refused("SetDisplayMode")) return DDERR_UNSUPPORTEDMODE;
    int w = static_cast<int>(newWidth), h = static_cast<int>(newHeight), d = static_cast<int>(bitsPerPixel);
    SurfaceLayout offered{};
    if (!Driver().SetMode(w, h, d, &offered)) return ShortOfMemory() ? DDERR_OUTOFMEMORY : DDERR_UNSUPPORTEDMODE;
    width = w;
    height = h;
    depth = d;
    layout = offered;
    modeSet = true;
    // Surfaces of the old mode no longer fit the display.
    LoseSurfaces(this);
    return DD_OK;
  });
}

HRESULT IDirectDraw7::CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface, void* outer) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("CreateSurface");
    if (!description || !surface || outer || description->dwSize != sizeof(DDSURFACEDESC2) ||
        !(description->dwFlags & DDSD_CAPS))
      return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    DWORD caps = description->ddsCaps.dwCaps;
    DWORD flipping = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if ((caps & flipping) != flipping || !(description->dwFlags & DDSD_BACKBUFFERCOUNT) ||
        description->dwBackBufferCount != 1)
      return DDERR_INVALIDCAPS;
    if (!exclusive || !modeSet) return DDERR_NOEXCLUSIVEMODE;
    if (primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    if (test::Refused("CreateSurface")) return DDERR_GENERIC;
    // Everything that takes memory comes first, so a failure leaves nothing behind.
    std::unique_ptr<IDirectDrawSurface7> front = NewSurface("front", this), back = NewSurface("back", this);
    // An 8-bit primary shows through the display's palette.
    auto palette = depth == 8 ? std::make_unique<IDirectDrawPalette>() : nullptr;
    surfaces.reserve(surfaces.size() + 2);
    palettes.reserve(palettes.size() + 1);
    front->attached = back.get();
    back->attached = front.get();
    front->references = 1;
    if (palette) {
      palette->references = 1;
      front->palette = palette.get();
      palettes.push_back(std::move(palette));
    }
    primary = front.get();
    *surface = front.get();
    surfaces.push_back(std::move(front));
    surfaces.push_back(std::move(back));
    return DD_OK;
  });
}

HRESULT IDirectDraw7::GetScanLine(DWORD* line) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("GetScanLine");
    if (!line) return DDERR_INVALIDPARAMS;
    if (test::Refused("GetScanLine")) return DDERR_GENERIC;
    return Driver().GetScanLine(line) ? DD_OK : DDERR_VERTICALBLANKINPROGRESS;
  });
}

HRESULT IDirectDraw7::RestoreAllSurfaces() {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("RestoreAllSurfaces");
    if (!exclusive || !modeSet) return DDERR_NOEXCLUSIVEMODE;
    if (!primary) return DD_OK;
    HRESULT result = DD_OK;
    for (IDirectDrawSurface7* s : {primary, primary->attached}) {
      if (!s || !s->lost) continue;
      // Memory still drawn on through a context or a lock stays where it is.
      if (Busy(s)) {
        result = DDERR_SURFACEBUSY;
        continue;
      }
      Allocate(*s, *this);
      s->lost = false;
    }
    return result;
  });
}

ULONG IDirectDraw7::Release() {
  return FailingWithoutMemory<ULONG>(references, [&]() -> ULONG {
    test::Record("Release DirectDraw");
    if (--references) return references;
    LeaveExclusive(this);
    if (primary) {
      LoseSurfaces(this);
      primary->owner = nullptr;
      if (primary->attached) primary->attached->owner = nullptr;
    }
    Forget(objects, this);
    return 0;
  });
}

// --- Surfaces ----------------------------------------------------------------------

HRESULT IDirectDrawSurface7::GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** surface) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record(std::string("GetAttachedSurface ") + name);
    if (!caps || !surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    bool wantsBack = caps->dwCaps & DDSCAPS_BACKBUFFER;
    if (!wantsBack || std::strcmp(name, "front") != 0 || !attached || test::Refused("GetAttachedSurface"))
      return DDERR_NOTFOUND;
    ++attached->references;
    *surface = attached;
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::GetDC(HDC* out) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    std::string entry = std::string("GetDC ") + name;
    test::Record(entry);
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (lost) return DDERR_SURFACELOST;
    if (dc) return DDERR_DCALREADYCREATED;
    if (locked) return DDERR_SURFACEBUSY;
    if (test::Refused(entry)) return DDERR_CANTCREATEDC;
    dc = gdi::CreateMemoryTargetDC(memory);
    *out = dc;
    return dc ? DD_OK : DDERR_OUTOFMEMORY;
  });
}

HRESULT IDirectDrawSurface7::ReleaseDC(HDC given) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record(std::string("ReleaseDC ") + name);
    if (!dc || given != dc) return DDERR_INVALIDPARAMS;
    gdi::DeleteMemoryTargetDC(dc);
    dc = nullptr;
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::Lock(RECT* rect, DDSURFACEDESC2* description, DWORD, HANDLE) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    std::string entry = std::string("Lock ") + name;
    test::Record(entry);
    if (rect || !description || description->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    if (lost) return DDERR_SURFACELOST;
    if (Busy(this)) return DDERR_SURFACEBUSY;
    if (test::Refused(entry)) return DDERR_GENERIC;
    *description = {};
    description->dwSize = sizeof *description;
    description->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE | DDSD_PIXELFORMAT;
    description->dwWidth = static_cast<DWORD>(memory.width);
    description->dwHeight = static_cast<DWORD>(memory.height);
    description->lPitch = memory.pitch;
    description->lpSurface = memory.bits;
    DescribePixelFormat(memory.format, &description->ddpfPixelFormat);
    description->ddsCaps.dwCaps = std::strcmp(name, "front") == 0
                                      ? DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX
                                      : DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    locked = true;
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::Unlock(RECT*) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record(std::string("Unlock ") + name);
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::Flip(IDirectDrawSurface7* target, DWORD flags) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("Flip " + std::to_string(flags));
    if (std::strcmp(name, "front") != 0 || !attached || (target && target != attached))
      return DDERR_NOTFLIPPABLE;
    if (lost || attached->lost) return DDERR_SURFACELOST;
    if (Busy(this) || Busy(attached)) return DDERR_SURFACEBUSY;
    if (test::Refused("Flip")) return DDERR_GENERIC;
    std::swap(bits, attached->bits);
    std::swap(memory, attached->memory);
    Driver().Present(memory, !(flags & DDFLIP_NOVSYNC));
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::GetPalette(IDirectDrawPalette** out) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    std::string entry = std::string("GetPalette ") + name;
    test::Record(entry);
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!palette || test::Refused(entry)) return DDERR_NOPALETTEATTACHED;
    ++palette->references;
    *out = palette;
    return DD_OK;
  });
}

HRESULT IDirectDrawSurface7::SetPalette(IDirectDrawPalette* given) {
  return FailingWithoutMemory<HRESULT>(DDERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record(std::string("SetPalette ") + name);
    if (lost) return DDERR_SURFACELOST;
    if (given) ++given->references;
    if (palette) palette->Release();
    palette = given;
    return DD_OK;
  });
}

ULONG IDirectDrawSurface7::Release() {
  return FailingWithoutMemory<ULONG>(references, [&]() -> ULONG {
    test::Record(std::string("Release ") + name);
    if (references == 0) return 0;
    ULONG left = --references;
    FreeIfUnreferenced(this);
    return left;
  });
}

ULONG IDirectDrawPalette::Release() {
  if (--references) return references;
  Forget(palettes, this);
  return 0;
}

// --- What the display backend reports -----------------------------------------------

namespace display {

void FocusLost(HWND window) {
  for (auto& object : objects)
    if (object->exclusive && object->window == window) LeaveExclusive(object.get());
  PostMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
}

void FocusRegained(HWND window) { PostMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0); }

}  // namespace display

}  // namespace platform
