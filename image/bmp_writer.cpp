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

// The name the last save was to write, and why it failed, in words.
const char* failure = nullptr;
const char* lastFileName = nullptr;
char noPicture[48];

bool Failed(const char* why) {
  failure = why;
  return false;
}

// What the platform's last error says about a file that could not be written.
const char* FileErrorWords(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL: return "the disk is full";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_WRITE_PROTECT: return "the file system is read-only";
    case ERROR_PATH_NOT_FOUND: return "its folder does not exist";
    case ERROR_DIRECTORY_NOT_SUPPORTED: return "that name is a folder";
    case ERROR_FILE_TOO_LARGE: return "the file would be larger than allowed";
    case ERROR_FILENAME_EXCED_RANGE: return "the name is too long";
    case ERROR_CANT_RESOLVE_FILENAME: return "its symbolic links lead round in a loop";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    default: return "the device failed";
  }
}

// A write that reaches the file only in part is a failure.
bool WriteAll(HANDLE file, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

// Writes the file under a temporary name beside the file the name leads to and puts
// it in that file's place only once every byte is on the device; on any failure the
// temporary file goes and the old file is untouched. Where no temporary file can be
// made (a folder this user may not write to), the file is written in place, its new
// size reserved first: a full disk then fails before an old byte is written over, and
// only a failing device leaves it part new, part old.
bool WriteBmpFile(const char* fileName, const BITMAPINFOHEADER& info, const BYTE* pixels, DWORD pixelBytes) {
  const DWORD fileBytes = kPixelDataOffset + pixelBytes;
  char temporary[MAX_PATH];
  HANDLE file = CreateReplacementFileA(fileName, temporary);
  const bool replacing = file != INVALID_HANDLE_VALUE;
  if (!replacing) file = CreateFileInPlaceA(fileName, fileBytes);
  if (file == INVALID_HANDLE_VALUE) return Failed(FileErrorWords(GetLastError()));
  BITMAPFILEHEADER header = {kBmpType, fileBytes, 0, 0, kPixelDataOffset};
  bool complete = WriteAll(file, &header, sizeof header) && WriteAll(file, &info, sizeof info) &&
                  WriteAll(file, pixels, pixelBytes) && FlushFileBuffers(file);
  complete = CloseHandle(file) && complete;
  // ReplaceFileA wants an old file to take the place of; a new name is a move.
  if (replacing)
    complete = complete && (ReplaceFileA(fileName, temporary, nullptr, 0, nullptr, nullptr) ||
                            (GetLastError() == ERROR_FILE_NOT_FOUND &&
                             MoveFileExA(temporary, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)));
  if (complete) return true;
  // The call that failed set it; the calls that succeed leave it.
  const DWORD error = GetLastError();
  if (replacing) DeleteFileA(temporary);
  return Failed(FileErrorWords(error));
}

// For the steps before the file: memory, or a picture the platform cannot read.
bool FailedReading() {
  return Failed(GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? "not enough memory" : "the picture cannot be read");
}

}  // namespace

std::int32_t SavePictureBmp(std::int32_t number, const char* fileName) {
  SetLastError(0);
  failure = nullptr;
  lastFileName = fileName;
  auto* picture = static_cast<PictureRecord*>(FindObject(pictureTable, number));
  if (!picture) {
    std::snprintf(noPicture, sizeof noPicture, "there is no picture %d", number);
    return Failed(noPicture);
  }
  if (!fileName) return Failed("no file name");
  if (picture->flags & kPictureMissesDrawing) return Failed("the picture could not be drawn on");
  BITMAP bitmap;
  if (!GetObjectA(picture->handle, sizeof bitmap, &bitmap) || bitmap.bmWidth <= 0 || bitmap.bmHeight <= 0)
    return FailedReading();
  const std::uint64_t width = std::uint64_t(bitmap.bmWidth), height = std::uint64_t(bitmap.bmHeight);
  const std::uint64_t rowBytes = 3 * width + (width & 3);
  // The file's size fields are 32-bit.
  if (kPixelDataOffset + rowBytes * height > UINT32_MAX) return Failed("the picture is too large for a BMP file");
  const auto pixelBytes = static_cast<DWORD>(rowBytes * height);

  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), bitmap.bmWidth, bitmap.bmHeight, bitmap.bmPlanes, 24, BI_RGB,
                    pixelBytes, 0, 0, 0, 0};

  // One row more than the pixel data, as a guard against a platform that overruns.
  auto* pixels = static_cast<BYTE*>(HeapAlloc(MainHeap(), 0, SIZE_T(rowBytes) * (height + 1)));
  if (!pixels) return FailedReading();
  bool saved = false;
  if (HDC memory = CreateCompatibleDC(nullptr)) {
    if (GetDIBits(memory, picture->handle, 0, UINT(height), pixels, &info, DIB_RGB_COLORS) == int(height)) {
      // The padding is zero whatever the platform left there.
      for (std::uint64_t y = 0; y < height; ++y)
        std::memset(pixels + y * rowBytes + 3 * width, 0, SIZE_T(width & 3));
      saved = WriteBmpFile(fileName, info.bmiHeader, pixels, pixelBytes);
    } else {
      FailedReading();
    }
    DeleteDC(memory);
  } else {
    FailedReading();
  }
  HeapFree(MainHeap(), 0, pixels);
  return saved ? 1 : 0;
}

const char* SaveFailure() { return failure; }

void StopUnlessSaved(std::int32_t saved) {
  if (saved) return;
  std::fprintf(stderr, "%s: cannot write %s: %s\n", program_invocation_short_name,
               lastFileName ? lastFileName : "the picture", failure ? failure : "unknown reason");
  ProgramEnd(kExitFailure);
}
