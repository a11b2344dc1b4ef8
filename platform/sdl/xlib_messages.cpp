#include "platform/sdl/xlib_messages.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xext.h>

namespace platform::sdl {
namespace {

int IgnoreMissingExtension(Display*, const char*, const char*) { return 0; }

}  // namespace

// libXext is the one SDL loads: the handler holds for SDL's calls too.
void QuietMissingExtensions() { XSetExtensionErrorHandler(IgnoreMissingExtension); }

}  // namespace platform::sdl
