#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/gdi32.h"
#include "platform/testing.h"
#include "platform/user32.h"

using namespace platform;

namespace {

BITMAPINFO Request24(LONG width, LONG height) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  return info;
}

std::size_t RowBytes(LONG width) { return (std::size_t(width) * 3 + 3) & ~std::size_t(3); }

// A compatible bitmap with a memory context to draw into it; the context lets the
// bitmap go before it is read (a selected bitmap cannot be read).
struct Picture {
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap;
  HGDIOBJ stock = nullptr;
  Picture(int width, int height) : bitmap(CreateCompatibleBitmap(display, width, height)) {}
  ~Picture() {
    Unselect();
    DeleteDC(memory);
    DeleteDC(display);
    DeleteObject(bitmap);
  }
  void Select() { stock = SelectObject(memory, bitmap); }
  void Unselect() {
    if (stock) SelectObject(memory, stock);
    stock = nullptr;
  }
  // Every scan line, as GetDIBits gives it, or empty when it refuses.
  std::vector<BYTE> Read(LONG width, LONG height) {
    std::vector<BYTE> rows(RowBytes(width) * (height < 0 ? -height : height), 0xCC);
    BITMAPINFO info = Request24(width, height);
    UINT lines = UINT(height < 0 ? -height : height);
    if (GetDIBits(memory, bitmap, 0, lines, rows.data(), &info, DIB_RGB_COLORS) != int(lines)) rows.clear();
    return rows;
  }
};

TEST(Bitmaps, TheDisplayDriverIsTheOnlyOne) {
  struct Case {
    const char* driver;
    bool made;
  };
  for (Case c : {Case{"DISPLAY", true}, Case{"display", true}, Case{"DISPLAYS", false}, Case{"DISPLA", false},
                 Case{"WINSPOOL", false}, Case{"", false}, Case{nullptr, false}}) {
    SCOPED_TRACE(c.driver ? c.driver : "null");
    HDC dc = CreateDCA(c.driver, nullptr, nullptr, nullptr);
    EXPECT_EQ(dc != nullptr, c.made);
    if (dc) {
      EXPECT_TRUE(DeleteDC(dc));
    }
  }
}

TEST(Bitmaps, CompatibleBitmapsAre32BitsAndRefuseSizesThatDoNotFit) {
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  struct Case {
    int width, height;
    bool made;
  };
  const Case cases[] = {
      {1, 1, true},         {640, 480, true},       {256, 256, true},        {0, 10, false},
      {10, 0, false},       {-1, 10, false},        {10, -1, false},         {16384, 32768, false},
      {65536, 65536, false}, {INT_MAX, INT_MAX, false}, {INT_MAX, 1, false}, {1, INT_MAX, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    HBITMAP bitmap = CreateCompatibleBitmap(display, c.width, c.height);
    ASSERT_EQ(bitmap != nullptr, c.made);
    if (!bitmap) continue;
    BITMAP description;
    EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), int(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectA(bitmap, sizeof description - 1, &description), 0);
    ASSERT_EQ(GetObjectA(bitmap, sizeof description, &description), int(sizeof(BITMAP)));
    EXPECT_EQ(description.bmWidth, c.width);
    EXPECT_EQ(description.bmHeight, c.height);
    EXPECT_EQ(description.bmPlanes, 1);
    EXPECT_EQ(description.bmBitsPixel, 32);
    EXPECT_EQ(description.bmWidthBytes, 4 * c.width);
    EXPECT_EQ(description.bmBits, nullptr);
    EXPECT_TRUE(DeleteObject(bitmap));
  }
  HDC gone = CreateCompatibleDC(nullptr);
  DeleteDC(gone);
  EXPECT_EQ(CreateCompatibleBitmap(gone, 4, 4), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 4, 4), nullptr);
  EXPECT_EQ(GetObjectA(GetStockObject(BLACK_BRUSH), sizeof(BITMAP), nullptr), 0) << "only bitmaps are described";
  DeleteDC(display);
}

TEST(Bitmaps, KeepEveryColourExactlyAndClipPixelsToTheBitmap) {
  Picture p(256, 256);
  p.Select();
  EXPECT_EQ(p.Read(256, 256), std::vector<BYTE>()) << "a selected bitmap cannot be read";
  // Every value of every channel, in every position.
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) ASSERT_TRUE(SetPixelV(p.memory, x, y, COLORREF(x | (y << 8) | ((x ^ y) << 16))));
  for (auto [x, y] : {std::pair{256, 0}, {-1, 0}, {0, 256}, {0, -1}, {INT_MIN, INT_MAX}})
    EXPECT_FALSE(SetPixelV(p.memory, x, y, 0xFFFFFF)) << x << ", " << y;
  p.Unselect();
  std::vector<BYTE> rows = p.Read(256, 256);
  ASSERT_EQ(rows.size(), 768u * 256);
  for (int y = 0; y < 256; ++y) {
    const BYTE* row = &rows[std::size_t(255 - y) * 768];  // bottom-up
    for (int x = 0; x < 256; ++x) {
      ASSERT_EQ(row[3 * x], x ^ y) << x << ", " << y;
      ASSERT_EQ(row[3 * x + 1], y);
      ASSERT_EQ(row[3 * x + 2], x);
    }
  }
}

TEST(Bitmaps, NewBitmapsAreBlackAndRowsArePaddedWithZeros) {
  for (int width : {1, 2, 3, 4, 5, 7}) {
    SCOPED_TRACE(width);
    Picture p(width, 3);
    p.Select();
    SetPixelV(p.memory, width - 1, 0, 0x00FFFFFF);  // top-right, last in the data
    p.Unselect();
    std::vector<BYTE> rows = p.Read(width, 3);
    std::size_t r = RowBytes(width);
    ASSERT_EQ(rows.size(), r * 3);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      bool white = i >= 2 * r + 3 * (width - 1) && i < 2 * r + 3 * width;
      EXPECT_EQ(rows[i], white ? 0xFF : 0) << "byte " << i;
    }
  }
  EXPECT_EQ(RowBytes(1), 4u);
  EXPECT_EQ(RowBytes(5), 16u);
}

TEST(Bitmaps, ScanLinesAreClippedToTheBitmapAndCountFromTheBottom) {
  Picture p(2, 4);
  p.Select();
  for (int y = 0; y < 4; ++y) SetPixelV(p.memory, 0, y, COLORREF(10 + y) << 16);  // blue 10 + y in row y
  p.Unselect();
  struct Case {
    UINT start, lines;
    LONG height;  // negative: top-down
    std::vector<int> blues;  // the first pixel of each line copied
  };
  const Case cases[] = {
      {0, 4, 4, {13, 12, 11, 10}}, {1, 2, 4, {12, 11}},       {2, 9, 4, {11, 10}},
      {3, 1, 4, {10}},             {4, 1, 4, {}},             {0, 0, 4, {}},
      {UINT_MAX, 2, 4, {}},        {0, 4, -4, {10, 11, 12, 13}}, {1, 9, -4, {11, 12, 13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << ", lines " << c.lines << ", height " << c.height);
    std::vector<BYTE> rows(8 * 9, 0xCC);
    BITMAPINFO info = Request24(2, c.height);
    int copied = GetDIBits(p.memory, p.bitmap, c.start, c.lines, rows.data(), &info, DIB_RGB_COLORS);
    ASSERT_EQ(copied, int(c.blues.size()));
    for (std::size_t i = 0; i < c.blues.size(); ++i) EXPECT_EQ(rows[8 * i], c.blues[i]) << "line " << i;
    EXPECT_EQ(rows[8 * c.blues.size()], 0xCC) << "nothing written past the lines copied";
  }
}

TEST(Bitmaps, GetDIBitsRefusesFormatsItDoesNotGive) {
  Picture p(4, 4);
  std::vector<BYTE> rows(16 * 4);
  struct Case {
    const char* what;
    void (*change)(BITMAPINFOHEADER&);
    UINT usage;
  };
  const Case cases[] = {
      {"32 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 32; }, DIB_RGB_COLORS},
      {"compressed", [](BITMAPINFOHEADER& h) { h.biCompression = 1; }, DIB_RGB_COLORS},
      {"two planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }, DIB_RGB_COLORS},
      {"short header", [](BITMAPINFOHEADER& h) { h.biSize = 12; }, DIB_RGB_COLORS},
      {"other width", [](BITMAPINFOHEADER& h) { h.biWidth = 5; }, DIB_RGB_COLORS},
      {"other height", [](BITMAPINFOHEADER& h) { h.biHeight = 3; }, DIB_RGB_COLORS},
      {"palette indices", [](BITMAPINFOHEADER&) {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BITMAPINFO info = Request24(4, 4);
    c.change(info.bmiHeader);
    EXPECT_EQ(GetDIBits(p.memory, p.bitmap, 0, 4, rows.data(), &info, c.usage), 0);
  }
  BITMAPINFO info = Request24(4, 4);
  EXPECT_EQ(GetDIBits(p.memory, p.bitmap, 0, 4, nullptr, &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(p.memory, GetStockObject(BLACK_BRUSH), 0, 4, rows.data(), &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(p.memory, p.bitmap, 0, 4, rows.data(), &info, DIB_RGB_COLORS), 4) << "the request as made";
}

TEST(Bitmaps, ABitmapSitsInOneMemoryContextAndIsKeptWhileSelected) {
  Picture p(4, 4);
  HDC other = CreateCompatibleDC(p.memory);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(SelectObject(p.display, p.bitmap), nullptr) << "the display takes no bitmap";
  p.Select();
  ASSERT_NE(p.stock, nullptr);
  EXPECT_EQ(SelectObject(other, p.bitmap), nullptr) << "already selected elsewhere";
  EXPECT_FALSE(DeleteObject(p.bitmap));
  // A filled rectangle is clipped to the bitmap.
  RECT all = {-5, -5, 50, 50};
  EXPECT_EQ(FillRect(p.memory, &all, GetStockObject(WHITE_BRUSH)), 1);
  p.Unselect();
  std::vector<BYTE> rows = p.Read(4, 4);
  ASSERT_EQ(rows.size(), 48u);
  for (BYTE b : rows) EXPECT_EQ(b, 0xFF);
  EXPECT_NE(SelectObject(other, p.bitmap), nullptr) << "free again";
  EXPECT_TRUE(DeleteDC(other));
  EXPECT_EQ(CreateCompatibleDC(other), nullptr) << "a deleted reference context";
}

}  // namespace
