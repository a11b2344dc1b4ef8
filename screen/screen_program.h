// The kind of the screen programs: object lists and drawing start with the program;
// the display and the keyboard, which the main body starts with InitDisplay, end with it.
#pragma once

#include "core/frame.h"
#include "screen/display.h"
#include "screen/drawing.h"

inline constexpr ProgramKind kScreenProgram = {
    "screen program", {ObjectListsStart, InitDrawing}, {EndDisplay, EndKeyboard}};
