// GDI objects and device contexts. Handles are the addresses of the records below;
// a set of live records lets every call refuse a handle that was never made or is
// already deleted, instead of reading freed memory.
#include "platform/gdi32.h"

#include <cctype>
#include <cstdlib>
#include <new>
#include <unordered_set>

#include "platform/gdi_internal.h"
#include "platform/kernel32.h"
#include "platform/testing.h"
#include "platform/user32.h"

namespace platform {
namespace gdi {
namespace {

enum class Kind { Brush, NullBrush, Pen, Bitmap };

struct Object {
  Kind kind;
  bool stock;
  COLORREF colour;      // brushes and pens
  int penStyle, penWidth;
  PixelMemory pixels;   // bitmaps: owned memory, from calloc
  int selections;       // contexts that hold this object
};

struct DeviceContext {
  PixelMemory target;
  bool hasTarget;
  bool onSurface;  // draws into a display surface's memory, never takes a bitmap
  bool display;    // the display itself: a reference for compatible objects, never takes a bitmap
  Object* brush;
  Object* pen;
  Object* bitmap;         // memory contexts only
  UINT textAlign;
  COLORREF textColour, backgroundColour;
};

Object stockWhiteBrush = {Kind::Brush, true, 0xFFFFFF, 0, 0, {}, 0};
Object stockBlackBrush = {Kind::Brush, true, 0x000000, 0, 0, {}, 0};
Object stockNullBrush = {Kind::NullBrush, true, 0, 0, 0, {}, 0};
Object stockWhitePen = {Kind::Pen, true, 0xFFFFFF, PS_SOLID, 0, {}, 0};
Object stockBlackPen = {Kind::Pen, true, 0x000000, PS_SOLID, 0, {}, 0};
Object stockBitmap = {Kind::Bitmap, true, 0, 0, 0, {}, 0};  // what a new memory context holds

std::unordered_set<const void*> liveObjects;
std::unordered_set<const void*> liveContexts;
const void* lastContext = nullptr;  // SetPixelV runs per pixel; skip the lookup on repeats

Object* AsObject(HGDIOBJ handle) {
  auto* object = reinterpret_cast<Object*>(handle);
  if (object == &stockWhiteBrush || object == &stockBlackBrush || object == &stockNullBrush ||
      object == &stockWhitePen || object == &stockBlackPen || object == &stockBitmap)
    return object;
  return liveObjects.count(object) ? object : nullptr;
}

DeviceContext* AsContext(HDC handle) {
  if (!handle) return nullptr;
  if (handle == lastContext) return reinterpret_cast<DeviceContext*>(handle);
  if (!liveContexts.count(handle)) return nullptr;
  lastContext = handle;
  return reinterpret_cast<DeviceContext*>(handle);
}

HGDIOBJ Handle(Object* object) { return reinterpret_cast<HGDIOBJ>(object); }

// The record is registered as live, or null when there is no memory for either.
template <typename Record>
Record* Register(Record* record, std::unordered_set<const void*>& live) {
  try {
    if (record) live.insert(record);
  } catch (const std::bad_alloc&) {
    delete record;
    record = nullptr;
  }
  if (!record) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return record;
}

DeviceContext* NewContext() {
  DeviceContext init{};
  init.brush = &stockWhiteBrush;
  init.pen = &stockBlackPen;
  init.bitmap = &stockBitmap;
  init.backgroundColour = 0xFFFFFF;
  return Register(new (std::nothrow) DeviceContext(init), liveContexts);
}

Object* NewObject(Object init) { return Register(new (std::nothrow) Object(init), liveObjects); }

BYTE* PixelAddress(const PixelMemory& memory, LONG x, LONG y) {
  return memory.bits + static_cast<std::ptrdiff_t>(y) * memory.pitch +
         static_cast<std::ptrdiff_t>(x) * (memory.format.bitsPerPixel / 8);
}

// Channel value v (0..255) placed into `mask` keeping its top bits.
DWORD Place(DWORD v, DWORD mask) {
  if (!mask) return 0;
  int shift = 0, bits = 0;
  while (!((mask >> shift) & 1)) ++shift;
  while ((mask >> (shift + bits)) & 1) ++bits;
  return ((v >> (8 - bits)) << shift) & mask;
}

DWORD Take(DWORD stored, DWORD mask) {
  if (!mask) return 0;
  int shift = 0, bits = 0;
  while (!((mask >> shift) & 1)) ++shift;
  while ((mask >> (shift + bits)) & 1) ++bits;
  DWORD v = (stored & mask) >> shift;
  // Repeat the top bits in the low ones, so the full-scale value reads back as 255.
  return bits >= 8 ? v : (v << (8 - bits)) | (v >> (2 * bits - 8));
}

}  // namespace

DWORD EncodeColour(const PixelFormat& format, COLORREF colour) {
  DWORD r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
  if (format.bitsPerPixel == 8) return (r & 0xE0) | ((g & 0xE0) >> 3) | (b >> 6);
  return Place(r, format.redMask) | Place(g, format.greenMask) | Place(b, format.blueMask);
}

COLORREF DecodeColour(const PixelFormat& format, DWORD stored) {
  if (format.bitsPerPixel == 8) {
    DWORD r = stored & 0xE0, g = (stored << 3) & 0xE0, b = (stored & 0x03) << 6;
    return r | (g << 8) | (b << 16);
  }
  if (format.bitsPerPixel >= 24)
    return ((stored >> 16) & 0xFF) | (stored & 0xFF00) | ((stored & 0xFF) << 16);
  return Take(stored, format.redMask) | (Take(stored, format.greenMask) << 8) |
         (Take(stored, format.blueMask) << 16);
}

DWORD ReadPixel(const PixelMemory& memory, LONG x, LONG y) {
  const BYTE* p = PixelAddress(memory, x, y);
  switch (memory.format.bitsPerPixel) {
    case 32: return p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24);
    case 24: return p[0] | (p[1] << 8) | (p[2] << 16);
    case 16: return p[0] | (p[1] << 8);
    default: return p[0];
  }
}

void WritePixel(const PixelMemory& memory, LONG x, LONG y, DWORD stored) {
  BYTE* p = PixelAddress(memory, x, y);
  int bytes = memory.format.bitsPerPixel / 8;
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<BYTE>(stored >> (8 * i));
}

HDC CreateMemoryTargetDC(const PixelMemory& memory) {
  DeviceContext* dc = NewContext();
  if (!dc) return nullptr;
  dc->target = memory;
  dc->hasTarget = true;
  dc->onSurface = true;
  return reinterpret_cast<HDC>(dc);
}

const PixelMemory* TargetOf(HDC handle) {
  DeviceContext* dc = AsContext(handle);
  return dc && dc->hasTarget ? &dc->target : nullptr;
}

bool BrushColour(HBRUSH brush, COLORREF* colour) {
  Object* object = AsObject(brush);
  if (!object || object->kind != Kind::Brush) return false;
  *colour = object->colour;
  return true;
}

}  // namespace gdi

using gdi::AsContext;
using gdi::AsObject;
using gdi::Kind;

HGDIOBJ GetStockObject(int object) {
  switch (object) {
    case WHITE_BRUSH: return gdi::Handle(&gdi::stockWhiteBrush);
    case BLACK_BRUSH: return gdi::Handle(&gdi::stockBlackBrush);
    case NULL_BRUSH: return gdi::Handle(&gdi::stockNullBrush);
    case WHITE_PEN: return gdi::Handle(&gdi::stockWhitePen);
    case BLACK_PEN: return gdi::Handle(&gdi::stockBlackPen);
    default: return nullptr;
  }
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  test::Record("CreateSolidBrush");
  if (test::Refused("CreateSolidBrush")) return nullptr;
  return gdi::Handle(gdi::NewObject({Kind::Brush, false, colour & 0xFFFFFF, 0, 0, {}, 0}));
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  test::Record("CreatePen");
  if (test::Refused("CreatePen")) return nullptr;
  return gdi::Handle(gdi::NewObject({Kind::Pen, false, colour & 0xFFFFFF, style, width, {}, 0}));
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle) {
  test::Record("SelectObject");
  gdi::DeviceContext* dc = AsContext(handle);
  gdi::Object* object = AsObject(objectHandle);
  if (!dc || !object) return nullptr;
  gdi::Object** slot = nullptr;
  switch (object->kind) {
    case Kind::Brush:
    case Kind::NullBrush: slot = &dc->brush; break;
    case Kind::Pen: slot = &dc->pen; break;
    case Kind::Bitmap:
      // Only a memory context takes a bitmap, and a bitmap sits in one context at a time.
      if (dc->onSurface || dc->display) return nullptr;
      if (object->selections > 0 && dc->bitmap != object) return nullptr;
      slot = &dc->bitmap;
      dc->target = object->pixels;
      dc->hasTarget = object != &gdi::stockBitmap;
      break;
  }
  gdi::Object* previous = *slot;
  --previous->selections;
  ++object->selections;
  *slot = object;
  return gdi::Handle(previous);
}

BOOL DeleteObject(HGDIOBJ handle) {
  test::Record("DeleteObject");
  gdi::Object* object = AsObject(handle);
  if (!object || object->stock || object->selections > 0) return FALSE;
  gdi::liveObjects.erase(object);
  std::free(object->pixels.bits);
  delete object;
  return TRUE;
}

BOOL DeleteDC(HDC handle) {
  test::Record("DeleteDC");
  return gdi::DeleteMemoryTargetDC(handle) ? TRUE : FALSE;
}

bool gdi::DeleteMemoryTargetDC(HDC handle) {
  gdi::DeviceContext* dc = AsContext(handle);
  if (!dc) return false;
  --dc->brush->selections;
  --dc->pen->selections;
  --dc->bitmap->selections;
  gdi::liveContexts.erase(dc);
  if (gdi::lastContext == dc) gdi::lastContext = nullptr;
  delete dc;
  return true;
}

HDC CreateDCA(LPCSTR driver, LPCSTR, LPCSTR, const DEVMODEA*) {
  test::Record("CreateDCA");
  if (!driver || test::Refused("CreateDCA")) return nullptr;
  const char display[] = "DISPLAY";
  for (std::size_t i = 0; i < sizeof display; ++i)
    if (std::toupper(static_cast<unsigned char>(driver[i])) != display[i]) return nullptr;
  gdi::DeviceContext* dc = gdi::NewContext();
  if (!dc) return nullptr;
  dc->display = true;
  return reinterpret_cast<HDC>(dc);
}

HDC CreateCompatibleDC(HDC reference) {
  test::Record("CreateCompatibleDC");
  if (reference && !AsContext(reference)) return nullptr;
  if (test::Refused("CreateCompatibleDC")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return reinterpret_cast<HDC>(gdi::NewContext());
}

HBITMAP CreateCompatibleBitmap(HDC handle, int width, int height) {
  test::Record("CreateCompatibleBitmap");
  if (!AsContext(handle) || width <= 0 || height <= 0) return nullptr;
  constexpr SIZE_T kMaxBytes = 0x7FFFFFFF;
  if (SIZE_T(width) * 4 > kMaxBytes / SIZE_T(height) || test::Refused("CreateCompatibleBitmap")) return nullptr;
  SIZE_T pitch = SIZE_T(width) * 4;
  auto* bits = test::Refused("BitmapPixels") ? nullptr : static_cast<BYTE*>(std::calloc(pitch, SIZE_T(height)));
  if (!bits) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  gdi::PixelMemory pixels = {bits, width, height, static_cast<LONG>(pitch), gdi::kFormat32};
  gdi::Object* bitmap = gdi::NewObject({Kind::Bitmap, false, 0, 0, 0, pixels, 0});
  if (!bitmap) std::free(bits);
  return gdi::Handle(bitmap);
}

int GetObjectA(HGDIOBJ handle, int size, LPVOID buffer) {
  test::Record("GetObjectA");
  gdi::Object* object = AsObject(handle);
  if (!object || object->kind != Kind::Bitmap || !object->pixels.bits) return 0;
  if (!buffer) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  const gdi::PixelMemory& p = object->pixels;
  BITMAP description = {0, p.width, p.height, p.pitch, 1, static_cast<WORD>(p.format.bitsPerPixel), nullptr};
  *static_cast<BITMAP*>(buffer) = description;
  return sizeof(BITMAP);
}

int GetDIBits(HDC handle, HBITMAP bitmapHandle, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info,
              UINT usage) {
  test::Record("GetDIBits");
  gdi::Object* bitmap = AsObject(bitmapHandle);
  if (!AsContext(handle) || !bitmap || bitmap->kind != Kind::Bitmap || !bitmap->pixels.bits ||
      bitmap->selections > 0 || !bits || !info || usage != DIB_RGB_COLORS || test::Refused("GetDIBits"))
    return 0;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const gdi::PixelMemory& source = bitmap->pixels;
  bool bottomUp = header.biHeight > 0;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 24 ||
      header.biCompression != BI_RGB || header.biWidth != source.width ||
      (bottomUp ? header.biHeight : -std::int64_t(header.biHeight)) != source.height)
    return 0;
  UINT height = static_cast<UINT>(source.height);
  if (start >= height) return 0;
  UINT count = lines < height - start ? lines : height - start;
  SIZE_T rowBytes = (SIZE_T(source.width) * 3 + 3) & ~SIZE_T(3);
  for (UINT i = 0; i < count; ++i) {
    UINT scan = start + i;
    LONG y = static_cast<LONG>(bottomUp ? height - 1 - scan : scan);
    BYTE* row = static_cast<BYTE*>(bits) + SIZE_T(i) * rowBytes;
    BYTE* out = row;
    for (LONG x = 0; x < source.width; ++x) {
      COLORREF colour = gdi::DecodeColour(source.format, gdi::ReadPixel(source, x, y));
      *out++ = static_cast<BYTE>(colour >> 16);
      *out++ = static_cast<BYTE>(colour >> 8);
      *out++ = static_cast<BYTE>(colour);
    }
    while (out < row + rowBytes) *out++ = 0;
  }
  return static_cast<int>(count);
}

BOOL SetPixelV(HDC handle, int x, int y, COLORREF colour) {
  gdi::DeviceContext* dc = AsContext(handle);
  if (!dc || !dc->hasTarget) return FALSE;
  const gdi::PixelMemory& target = dc->target;
  if (x < 0 || y < 0 || x >= target.width || y >= target.height) return FALSE;
  gdi::WritePixel(target, x, y, gdi::EncodeColour(target.format, colour));
  return TRUE;
}

UINT SetTextAlign(HDC handle, UINT align) {
  test::Record("SetTextAlign");
  gdi::DeviceContext* dc = AsContext(handle);
  if (!dc) return GDI_ERROR;
  UINT previous = dc->textAlign;
  dc->textAlign = align;
  return previous;
}

COLORREF SetTextColor(HDC handle, COLORREF colour) {
  test::Record("SetTextColor");
  gdi::DeviceContext* dc = AsContext(handle);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->textColour;
  dc->textColour = colour;
  return previous;
}

COLORREF SetBkColor(HDC handle, COLORREF colour) {
  test::Record("SetBkColor");
  gdi::DeviceContext* dc = AsContext(handle);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->backgroundColour;
  dc->backgroundColour = colour;
  return previous;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brush) {
  test::Record("FillRect");
  gdi::DeviceContext* dc = AsContext(handle);
  COLORREF colour;
  if (!dc || !rect || !gdi::BrushColour(brush, &colour)) return 0;
  if (!dc->hasTarget) return 1;
  const gdi::PixelMemory& target = dc->target;
  DWORD stored = gdi::EncodeColour(target.format, colour);
  LONG left = rect->left < 0 ? 0 : rect->left, top = rect->top < 0 ? 0 : rect->top;
  LONG right = rect->right > target.width ? target.width : rect->right;
  LONG bottom = rect->bottom > target.height ? target.height : rect->bottom;
  for (LONG y = top; y < bottom; ++y)
    for (LONG x = left; x < right; ++x) gdi::WritePixel(target, x, y, stored);
  return 1;
}

}  // namespace platform
