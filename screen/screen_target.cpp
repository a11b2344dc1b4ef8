#include "screen/screen_target.h"

#include "screen/display.h"

using namespace platform;

namespace {

DrawingTarget screenTarget;

HDC HeldContext() { return reinterpret_cast<HDC>(displayState.backBufferAccess); }

}  // namespace

const DrawingTarget* ScreenTarget() {
  DisplayState& d = displayState;
  if (d.backBufferAccess != kBackBufferFree || !d.backBuffer) return nullptr;
  HDC dc = nullptr;
  if (d.backBuffer->GetDC(&dc) != DD_OK) return nullptr;
  d.backBufferAccess = reinterpret_cast<std::intptr_t>(dc);
  // The lock tells where the pixels are and the pitch; drawing locks again before it
  // writes, and writes through the address that lock gives.
  LockBackBuffer();
  d.backBufferAccess = reinterpret_cast<std::intptr_t>(RegainBackBufferDC());
  const DDSURFACEDESC2& description = d.surfaceDescription;
  screenTarget = {kScreenTarget,
                  nullptr,
                  HeldContext(),
                  ReleaseBackBuffer,
                  static_cast<BYTE*>(description.lpSurface),
                  description.lPitch,
                  static_cast<std::int32_t>(description.dwWidth),
                  static_cast<std::int32_t>(description.dwHeight),
                  d.modeDepth,
                  d.pixelFormat,
                  RegainBackBufferDC,
                  LockBackBuffer};
  return &screenTarget;
}

void EndScreenDrawing() {
  if (drawingState.deviceContext && drawingState.kind == kScreenTarget) EndDrawing();
  ReleaseBackBuffer();
}

void ReleaseBackBuffer() {
  DisplayState& d = displayState;
  if (d.backBuffer) {
    if (d.backBufferAccess == kBackBufferLocked)
      d.backBuffer->Unlock(nullptr);
    else if (d.backBufferAccess != kBackBufferFree)
      d.backBuffer->ReleaseDC(HeldContext());
  }
  d.backBufferAccess = kBackBufferFree;
}

HDC RegainBackBufferDC() {
  DisplayState& d = displayState;
  if (d.backBufferAccess != kBackBufferLocked) return HeldContext();
  HDC dc = nullptr;
  if (d.backBuffer) {
    d.backBuffer->Unlock(nullptr);
    d.backBuffer->GetDC(&dc);
  }
  d.backBufferAccess = reinterpret_cast<std::intptr_t>(dc);
  return dc;
}

BYTE* LockBackBuffer() {
  DisplayState& d = displayState;
  bool locked = false;
  if (d.backBuffer) {
    if (d.backBufferAccess != kBackBufferFree && d.backBufferAccess != kBackBufferLocked)
      d.backBuffer->ReleaseDC(HeldContext());
    locked = LockIntoDescription(d.backBuffer);
  }
  d.backBufferAccess = kBackBufferLocked;
  return locked ? static_cast<BYTE*>(d.surfaceDescription.lpSurface) : nullptr;
}
