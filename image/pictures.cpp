#include "image/pictures.h"

#include <cerrno>
#include <cstdio>
#include <limits>

#include "platform/gdi32.h"
#include "platform/kernel32.h"
#include "platform/user32.h"

using namespace platform;

PictureTable* pictureTable = nullptr;
ImageTargetRecord* imageTargetRecord = nullptr;

namespace {

constexpr std::uint32_t kPictureGrowthStep = 16;

// The image target's release: EndDrawing gives the memory context up through it.
void DeleteImageContext() {
  if (!imageTargetRecord || !imageTargetRecord->memoryContext) return;
  DeleteDC(imageTargetRecord->memoryContext);
  imageTargetRecord->memoryContext = nullptr;
}

PictureRecord* FindPicture(std::int32_t number) {
  return static_cast<PictureRecord*>(FindObject(pictureTable, number));
}

void ClearToBlack(HBITMAP bitmap, std::int32_t width, std::int32_t height) {
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) return;  // the picture is registered uncleared
  SelectObject(memory, bitmap);
  RECT all = {0, 0, width, height};
  FillRect(memory, &all, GetStockObject(BLACK_BRUSH));
  DeleteDC(memory);  // the bitmap is selected nowhere afterwards
}

HBITMAP MakePicture(std::int32_t number, std::int32_t width, std::int32_t height) {
  if (number < 0) return nullptr;
  // Taken first: the release action frees an old picture, and any failure below
  // leaves the number empty.
  auto* record = static_cast<PictureRecord*>(AcquireObject(pictureTable, number));
  if (!record) return nullptr;
  // The record keeps 16-bit sizes.
  if (width > std::numeric_limits<std::int16_t>::max() || height > std::numeric_limits<std::int16_t>::max())
    return nullptr;

  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  if (!display) return nullptr;
  HBITMAP bitmap = CreateCompatibleBitmap(display, width, height);
  DeleteDC(display);
  if (!bitmap) return nullptr;

  ClearToBlack(bitmap, width, height);

  BITMAP description;
  if (!GetObjectA(bitmap, sizeof description, &description)) {
    DeleteObject(bitmap);
    return nullptr;
  }
  record->handle = bitmap;
  record->width = static_cast<std::int16_t>(description.bmWidth);
  record->height = static_cast<std::int16_t>(description.bmHeight);
  record->depth = static_cast<std::int8_t>(description.bmBitsPixel);
  record->flags = kDisplayFormatPicture;
  return bitmap;
}

}  // namespace

void PicturesStart() {
  pictureTable = NewObjectTable(sizeof(PictureRecord), kPictureGrowthStep, FreePicture);
  imageTargetRecord = static_cast<ImageTargetRecord*>(NewRecord(sizeof(ImageTargetRecord), nullptr));
}

void PicturesEnd() {
  FirstObject(pictureTable);
  ObjectNumber number;
  // Pictures are only ever made under numbers, never as unnumbered objects.
  while (NextObject(pictureTable, &number)) FreePicture(static_cast<std::int32_t>(number));
}

HBITMAP CreatePicture(std::int32_t number, std::int32_t width, std::int32_t height) {
  SetLastError(0);
  HBITMAP bitmap = MakePicture(number, width, height);
  if (!bitmap && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
    std::fprintf(stderr, "%s: not enough memory for picture %d (%d x %d)\n", program_invocation_short_name, number,
                 width, height);
  return bitmap;
}

void FreePicture(std::int32_t number) {
  PictureRecord* record = FindPicture(number);
  if (!record) return;
  DeleteObject(record->handle);
  ReleaseObject(pictureTable, number);
}

const DrawingTarget* ImageTarget(std::int32_t number) {
  DeleteImageContext();
  PictureRecord* record = FindPicture(number);
  if (!record || !imageTargetRecord) return nullptr;
  SetLastError(0);
  HDC memory = CreateCompatibleDC(nullptr);
  if (!memory) {
    if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
      std::fprintf(stderr, "%s: not enough memory to draw on picture %d\n", program_invocation_short_name, number);
    record->flags |= kPictureMissesDrawing;
    return nullptr;
  }
  if (!SelectObject(memory, record->handle)) {
    DeleteDC(memory);
    record->flags |= kPictureMissesDrawing;
    return nullptr;
  }
  imageTargetRecord->memoryContext = memory;
  DrawingTarget& target = imageTargetRecord->target;
  target = {};
  target.kind = kImageTarget;
  target.deviceContext = memory;
  target.release = DeleteImageContext;
  return &target;
}
