#include "screen/drawing.h"

#include "platform/gdi32.h"
#include "platform/user32.h"

using namespace platform;

DrawingState drawingState;

namespace {

// Back from direct access to the context, with the drawing's colours and brush.
void RegainDrawingDC() {
  DrawingState& d = drawingState;
  if (d.kind != kScreenTarget || d.accessMode != kAccessDirect) return;
  d.accessMode = kAccessThroughContext;
  d.directPixels = nullptr;
  d.deviceContext = d.regain();
  SetTextColor(d.deviceContext, d.textColour);
  SetTextAlign(d.deviceContext, TA_UPDATECP);
  SetBkColor(d.deviceContext, d.backgroundColour);
  SelectObject(d.deviceContext, d.fillBrush);
}

// The screen's pixels are written here and in the inline PutPixel, nowhere else.
void PutScreenPixel(DrawingState& d, std::int32_t x, std::int32_t y, std::int32_t colour) {
  int bytesPerPixel;
  switch (d.depth) {
    case 32: bytesPerPixel = 4; break;
    case 16: bytesPerPixel = 2; break;
    case 8: bytesPerPixel = 1; break;
    default:
      RegainDrawingDC();
      SetPixelV(d.deviceContext, x, y, static_cast<COLORREF>(colour));
      return;
  }
  if (d.accessMode == kAccessThroughContext) {
    d.pixels = d.lock();
    d.accessMode = kAccessDirect;
    if (bytesPerPixel == 4) d.directPixels = d.pixels;
  }
  // A failed lock gives no memory: the frame's pixels are skipped. A pixel outside
  // the surface is skipped too, so nothing is written outside the locked memory.
  if (!d.pixels || static_cast<std::uint32_t>(x) >= static_cast<std::uint32_t>(d.width) ||
      static_cast<std::uint32_t>(y) >= static_cast<std::uint32_t>(d.height))
    return;
  BYTE* at = d.pixels + static_cast<std::ptrdiff_t>(y) * d.pitch + static_cast<std::ptrdiff_t>(x) * bytesPerPixel;
  auto c = static_cast<std::uint32_t>(colour);
  switch (bytesPerPixel) {
    case 4: StoreScreenPixel32(at, colour); break;
    case 2: {
      // 5-6-5: red at the top, blue at the bottom.
      auto word = static_cast<std::uint16_t>(((c & 0xF8) << 8) + ((c & 0xFC00) >> 5) + ((c & 0xF80000) >> 19));
      std::memcpy(at, &word, sizeof word);
      break;
    }
    default:
      *at = static_cast<BYTE>(c & 0xFF);  // the red byte, as a palette index
  }
}

}  // namespace

void InitDrawing() {
  drawingState = {};
  drawingState.defaultBrush = CreateSolidBrush(0);
  drawingState.defaultPen = CreatePen(PS_SOLID, 0, 0);
}

HDC BeginDrawing(const DrawingTarget* target) {
  EndDrawing();
  if (!target) return nullptr;
  DrawingState& d = drawingState;
  d.kind = target->kind;
  d.window = target->window;
  d.release = target->release;
  d.deviceContext = target->kind == kWindowTarget ? GetDC(target->window) : target->deviceContext;
  if (target->kind == kScreenTarget) {
    d.pixels = target->pixels;
    d.pitch = target->pitch;
    d.width = target->width;
    d.height = target->height;
    d.depth = target->depth;
    d.pixelFormat = target->pixelFormat;
    d.regain = target->regain;
    d.lock = target->lock;
  }
  d.accessMode = kAccessThroughContext;
  if (!d.deviceContext) return nullptr;
  SetTextAlign(d.deviceContext, TA_UPDATECP);
  d.savedBrush = SelectObject(d.deviceContext, d.defaultBrush);
  d.savedPen = SelectObject(d.deviceContext, d.defaultPen);
  d.textColour = 0;
  d.backgroundColour = 0xFFFFFF;
  d.fillBrush = CreateSolidBrush(0);
  SetTextColor(d.deviceContext, 0);
  return d.deviceContext;
}

void PutPixelAnyTarget(std::int32_t x, std::int32_t y, std::int32_t colour) {
  DrawingState& d = drawingState;
  if (!d.deviceContext) return;
  if (d.kind != kScreenTarget) {
    SetPixelV(d.deviceContext, x, y, static_cast<COLORREF>(colour));
    return;
  }
  PutScreenPixel(d, x, y, colour);
}

void EndDrawing() {
  DrawingState& d = drawingState;
  if (!d.deviceContext) return;
  SelectObject(d.deviceContext, d.savedBrush);
  SelectObject(d.deviceContext, d.savedPen);
  if (d.fillBrush) {
    DeleteObject(d.fillBrush);
    d.fillBrush = nullptr;
  }
  switch (d.kind) {
    case kWindowTarget: ReleaseDC(d.window, d.deviceContext); break;
    case kImageTarget:
    case kScreenTarget: d.release(); break;
    default: DeleteDC(d.deviceContext);
  }
  d.deviceContext = nullptr;
  d.directPixels = nullptr;
}
