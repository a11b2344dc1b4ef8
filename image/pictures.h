// Pictures: off-screen images a program makes under a number, draws into with the
// drawing operations (BeginDrawing(ImageTarget(n)), PutPixel, EndDrawing) and saves
// with SavePictureBmp. A picture is a bitmap compatible with the display, made black.
//
//   pictureTable ─► ObjectTable of PictureRecord, by number from 0
//   imageTargetRecord ─► | memory context | DrawingTarget (kind 2, that context) |
//
// Only one image target exists; every ImageTarget call reuses it.
#pragma once

#include <cstdint>

#include "core/frame.h"
#include "core/object_table.h"
#include "platform/types.h"
#include "screen/drawing.h"

struct PictureRecord {
  platform::HBITMAP handle;  // 0: the record is empty
  std::int16_t width, height;
  std::int8_t depth;         // bits per pixel, as the platform reports it
  std::uint8_t flags;
};

// Marks a bitmap in the display's own pixel format, which every picture is.
inline constexpr std::uint8_t kDisplayFormatPicture = 0x80;
// Marks a picture that some drawing could not reach (no image target could be made
// for it): it lacks what the program drew, so it is not saved.
inline constexpr std::uint8_t kPictureMissesDrawing = 0x01;

using PictureTable = ObjectTable;

struct ImageTargetRecord {
  platform::HDC memoryContext;  // made for drawing into a picture, or 0
  DrawingTarget target;
};

extern PictureTable* pictureTable;
extern ImageTargetRecord* imageTargetRecord;

// Start step of the picture service: makes the picture table (16 empty records,
// growth step 16, FreePicture on reuse) and the image target record.
void PicturesStart();
// End step: frees every picture still held.
void PicturesEnd();

// Makes a black width x height picture under `number` (0 or more), freeing a picture
// already held there. Returns the bitmap, or 0: the number then holds no picture.
platform::HBITMAP CreatePicture(std::int32_t number, std::int32_t width, std::int32_t height);

// Deletes the picture's bitmap and empties its record; nothing for an empty number.
void FreePicture(std::int32_t number);

// The image target bound to the picture, for BeginDrawing; null when the number holds
// no picture or no context can be made for it (the picture is then marked as missing
// drawing). A context from an earlier call goes.
const DrawingTarget* ImageTarget(std::int32_t number);

// The image programs: object lists, drawing and pictures start; pictures end.
inline constexpr ProgramKind kImageProgram = {"image program", {ObjectListsStart, InitDrawing, PicturesStart},
                                              {PicturesEnd}};
