#include <gtest/gtest.h>

#include "platform/ddraw.h"
#include "platform/display_driver.h"
#include "platform/kernel32.h"
#include "platform/memory/memory_display.h"
#include "platform/testing.h"
#include "platform/user32.h"

using namespace platform;

namespace {

LRESULT Quiet(HWND, UINT, WPARAM, LPARAM) { return 0; }

class DirectDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearFaults();
    test::ForgetWindows();
    test::UnloadModules();
    memory::ResetDisplay();
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = Quiet;
    c.lpszClassName = "ddraw test";
    RegisterClassExA(&c);
    window = CreateWindowExA(0, "ddraw test", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    LPVOID object = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &object, IID_IDirectDraw7, nullptr), DD_OK);
    dd = static_cast<IDirectDraw7*>(object);
  }
  void TearDown() override {
    if (back) back->Release();
    if (front) front->Release();
    if (dd) dd->Release();
  }
  void OpenFlippingPair(int width = 4, int height = 2, int depth = 32) {
    ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    ASSERT_EQ(dd->SetDisplayMode(width, height, depth, 0, 0), DD_OK);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    d.dwBackBufferCount = 1;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, 0};
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);
  }
  static DDSURFACEDESC2 Description() {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    return d;
  }

  HWND window = nullptr;
  IDirectDraw7* dd = nullptr;
  IDirectDrawSurface7* front = nullptr;
  IDirectDrawSurface7* back = nullptr;
};

TEST(Modules, LoadByNameCountReferencesAndUnloadWithTheLast) {
  test::UnloadModules();
  EXPECT_EQ(LoadLibraryA("NOSUCH.DLL"), nullptr);
  HMODULE first = LoadLibraryA("ddraw.dll");
  HMODULE second = LoadLibraryA("DDRAW.DLL");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 2);
  EXPECT_NE(GetProcAddress(first, "DirectDrawCreateEx"), nullptr);
  EXPECT_EQ(GetProcAddress(first, "DirectInputCreateEx"), nullptr);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_NE(GetProcAddress(first, "DirectDrawCreateEx"), nullptr);
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_EQ(test::ModuleReferences("DDRAW.DLL"), 0);
  EXPECT_EQ(GetProcAddress(first, "DirectDrawCreateEx"), nullptr);
  EXPECT_FALSE(FreeLibrary(first));
  test::RefuseCall("LoadLibraryA DINPUT.DLL", 0, 1);
  EXPECT_EQ(LoadLibraryA("DINPUT.DLL"), nullptr);
}

TEST_F(DirectDraw, ModesAndSurfacesNeedExclusiveControl) {
  DDSURFACEDESC2 d = Description();
  d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  d.dwBackBufferCount = 1;
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd->CreateSurface(&d, &front, nullptr), DDERR_NOEXCLUSIVEMODE);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 12, 0, 0), DDERR_UNSUPPORTEDMODE);
  EXPECT_EQ(dd->SetDisplayMode(0, 480, 32, 0, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetDisplayMode(DWORD(-640), 480, 32, 0, 0), DDERR_INVALIDPARAMS);
  EXPECT_EQ(memory::View().depth, 0);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), DD_OK);
  ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
  IDirectDrawSurface7* second = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
}

TEST_F(DirectDraw, ASurfaceIsEitherLockedOrDrawnThroughItsContext) {
  OpenFlippingPair();
  DDSURFACEDESC2 d = Description();
  HDC dc = nullptr;
  ASSERT_EQ(back->GetDC(&dc), DD_OK);
  HDC another = nullptr;
  EXPECT_EQ(back->GetDC(&another), DDERR_DCALREADYCREATED);
  EXPECT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
  ASSERT_EQ(back->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(back->ReleaseDC(dc), DDERR_INVALIDPARAMS);
  ASSERT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(d.dwWidth, 4u);
  EXPECT_EQ(d.lPitch, 16);
  EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0x00FF0000u);
  EXPECT_EQ(back->GetDC(&another), DDERR_SURFACEBUSY);
  EXPECT_EQ(back->Unlock(nullptr), DD_OK);
  EXPECT_EQ(back->Unlock(nullptr), DDERR_NOTLOCKED);
  d.dwSize = 0;
  EXPECT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDraw, FlipShowsTheBackBufferAndSwapsThePair) {
  OpenFlippingPair();
  DDSURFACEDESC2 d = Description();
  ASSERT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  void* drawn = d.lpSurface;
  static_cast<DWORD*>(drawn)[1] = 0x00112233;
  back->Unlock(nullptr);
  EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT | DDFLIP_NOVSYNC), DD_OK);
  EXPECT_EQ(memory::PresentedValue(1, 0), 0x00112233u);
  EXPECT_EQ(memory::PresentedPixel(1, 0), 0x00332211u);
  EXPECT_FALSE(memory::View().lastAtRetrace);
  ASSERT_EQ(front->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(d.lpSurface, drawn);
  front->Unlock(nullptr);
}

TEST_F(DirectDraw, LostSurfacesAnswerSoUntilRestored) {
  OpenFlippingPair();
  display::FocusLost(window);
  EXPECT_FALSE(memory::View().exclusive);
  DDSURFACEDESC2 d = Description();
  HDC dc = nullptr;
  EXPECT_EQ(back->GetDC(&dc), DDERR_SURFACELOST);
  EXPECT_EQ(back->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
  EXPECT_EQ(dd->RestoreAllSurfaces(), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(4, 2, 32, 0, 0), DD_OK);
  ASSERT_EQ(dd->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(back->GetDC(&dc), DD_OK);
  back->ReleaseDC(dc);
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_ACTIVATE);
  EXPECT_EQ(m.wParam, WPARAM(WA_INACTIVE));
}

TEST_F(DirectDraw, SurfacesOutliveTheirObjectSafely) {
  OpenFlippingPair();
  dd->Release();
  dd = nullptr;
  EXPECT_FALSE(memory::View().exclusive);
  HDC dc = nullptr;
  EXPECT_EQ(back->GetDC(&dc), DDERR_SURFACELOST);
  EXPECT_EQ(front->Release(), 0u);
  front = nullptr;
  EXPECT_EQ(back->Release(), 0u);
  back = nullptr;
}

}  // namespace
