#include "image/bmp_writer.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/frame.h"
#include "image/pictures.h"
#include "platform/gdi32.h"
#include "platform/kernel32.h"

using namespace platform;

namespace {

// The headers are written as they lie in memory.
static_assert(std::endian::native == std::endian::little);

constexpr WORD kBmpType = 0x4D42;  // the bytes 'B', 'M'
constexpr DWORD kPixelDataOffset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);

// A write that reaches the file only in part is a failure.
bool WriteAll(HANDLE file, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

// Writes the file under a temporary name beside the file the name leads to and puts
// it in that file's place only once every byte is on the device; on any failure the
// temporary file goes and the old file is untouched. Where no temporary file can be
// made (a folder this user may not write to), the file is written in place, as
// CREATE_ALWAYS does: a failure then leaves it as far as it was written.
bool WriteBmpFile(const char* fileName, const BITMAPINFOHEADER& info, const BYTE* pixels, DWORD pixelBytes) {
  char temporary[MAX_PATH];
  HANDLE file = CreateReplacementFileA(fileName, temporary);
  const bool replacing = file != INVALID_HANDLE_VALUE;
  if (!replacing)
    file = CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BITMAPFILEHEADER header = {kBmpType, kPixelDataOffset + pixelBytes, 0, 0, kPixelDataOffset};
  bool complete = WriteAll(file, &header, sizeof header) && WriteAll(file, &info, sizeof info) &&
                  WriteAll(file, pixels, pixelBytes) && FlushFileBuffers(file);
  complete = CloseHandle(file) && complete;
  if (!replacing) return complete;
  // ReplaceFileA wants an old file to take the place of; a new name is a move.
  if (complete && (ReplaceFileA(fileName, temporary, nullptr, 0, nullptr, nullptr) ||
                   (GetLastError() == ERROR_FILE_NOT_FOUND &&
                    MoveFileExA(temporary, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))))
    return true;
  DeleteFileA(temporary);
  return false;
}

// Says so when the picture could not be written for want of memory.
std::int32_t Saved(std::int32_t result, const char* fileName) {
  if (!result && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
    std::fprintf(stderr, "%s: not enough memory to write %s\n", program_invocation_short_name, fileName);
  return result;
}

}  // namespace

std::int32_t SavePictureBmp(std::int32_t number, const char* fileName) {
  SetLastError(0);
  auto* picture = static_cast<PictureRecord*>(FindObject(pictureTable, number));
  if (!picture || !fileName) return 0;
  BITMAP bitmap;
  if (!GetObjectA(picture->handle, sizeof bitmap, &bitmap) || bitmap.bmWidth <= 0 || bitmap.bmHeight <= 0)
    return 0;
  const std::uint64_t width = std::uint64_t(bitmap.bmWidth), height = std::uint64_t(bitmap.bmHeight);
  const std::uint64_t rowBytes = 3 * width + (width & 3);
  // The file's size fields are 32-bit.
  if (kPixelDataOffset + rowBytes * height > UINT32_MAX) return 0;
  const auto pixelBytes = static_cast<DWORD>(rowBytes * height);

  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), bitmap.bmWidth, bitmap.bmHeight, bitmap.bmPlanes, 24, BI_RGB,
                    pixelBytes, 0, 0, 0, 0};

  // One row more than the pixel data, as a guard against a platform that overruns.
  auto* pixels = static_cast<BYTE*>(HeapAlloc(MainHeap(), 0, SIZE_T(rowBytes) * (height + 1)));
  if (!pixels) return Saved(0, fileName);
  std::int32_t result = 0;
  if (HDC memory = CreateCompatibleDC(nullptr)) {
    if (GetDIBits(memory, picture->handle, 0, UINT(height), pixels, &info, DIB_RGB_COLORS) == int(height)) {
      // The padding is zero whatever the platform left there.
      for (std::uint64_t y = 0; y < height; ++y)
        std::memset(pixels + y * rowBytes + 3 * width, 0, SIZE_T(width & 3));
      result = WriteBmpFile(fileName, info.bmiHeader, pixels, pixelBytes) ? 1 : 0;
    }
    DeleteDC(memory);
  }
  HeapFree(MainHeap(), 0, pixels);
  return Saved(result, fileName);
}
