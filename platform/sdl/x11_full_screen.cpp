// Kept apart from the rest of the backend: Xlib's headers define macros (None, Bool,
// Status, FocusIn, ...) that would clash with the platform's own names.
#include "platform/sdl/x11_full_screen.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace platform::sdl {
namespace {

struct XWindow {
  Display* display;
  Window window;
};

bool AsXWindow(SDL_Window* window, XWindow* x) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *x = {info.info.x11.display, info.info.x11.window};
  return true;
}

// Where the server has the window's corner now: SDL's own idea of it may not yet have
// seen a move that came just before a change of the desktop.
void WindowOrigin(const XWindow& x, int* windowX, int* windowY) {
  Window child;
  if (!XTranslateCoordinates(x.display, x.window, DefaultRootWindow(x.display), 0, 0, windowX, windowY, &child))
    *windowX = *windowY = 0;
}

// A window manager that follows the desktop standards names its check window on the
// root window.
bool WindowManagerRunning(Display* display) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display, DefaultRootWindow(display),
                                        XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                        XA_WINDOW, &type, &format, &items, &after, &data) == Success &&
                     data && items == 1;
  if (data) XFree(data);
  return found;
}

bool HasState(Display* display, Window window, Atom state, Atom wanted) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format, &items, &after, &data) ==
          Success &&
      data && format == 32)
    for (unsigned long i = 0; i < items && !found; ++i) found = reinterpret_cast<Atom*>(data)[i] == wanted;
  if (data) XFree(data);
  return found;
}

}  // namespace

void AskFullScreenState(SDL_Window* window) {
  XWindow x;
  if (!AsXWindow(window, &x)) return;
  const Atom state = XInternAtom(x.display, "_NET_WM_STATE", False);
  Atom fullScreen = XInternAtom(x.display, "_NET_WM_STATE_FULLSCREEN", False);
  XChangeProperty(x.display, x.window, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&fullScreen), 1);
}

bool AskFullScreenAgain(SDL_Window* window) {
  XWindow x;
  if (!AsXWindow(window, &x) || !WindowManagerRunning(x.display)) return false;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x.display, x.window, &attributes) || attributes.map_state != IsViewable) return false;
  const Atom state = XInternAtom(x.display, "_NET_WM_STATE", False);
  const Atom fullScreen = XInternAtom(x.display, "_NET_WM_STATE_FULLSCREEN", False);
  if (HasState(x.display, x.window, state, fullScreen)) return false;
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = x.window;
  request.xclient.message_type = state;
  request.xclient.format = 32;
  request.xclient.data.l[0] = 1;  // add the state
  request.xclient.data.l[1] = long(fullScreen);
  request.xclient.data.l[3] = 1;  // asked by an application
  XSendEvent(x.display, DefaultRootWindow(x.display), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &request);
  XFlush(x.display);
  return true;
}

void WatchDesktopSize(SDL_Window* window) {
  XWindow x;
  if (!AsXWindow(window, &x)) return;
  const Window root = DefaultRootWindow(x.display);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x.display, root, &attributes)) return;
  // Added to what SDL itself asked of the root window.
  XSelectInput(x.display, root, attributes.your_event_mask | StructureNotifyMask);
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool DesktopResized(SDL_Window* window, const SDL_SysWMmsg* message, SDL_Rect* display) {
  XWindow x;
  if (!message || message->subsystem != SDL_SYSWM_X11 || !AsXWindow(window, &x)) return false;
  const XEvent& event = message->msg.x11.event;
  if (event.type != ConfigureNotify || event.xconfigure.window != DefaultRootWindow(x.display)) return false;
  *display = {0, 0, event.xconfigure.width, event.xconfigure.height};
  int windowX = 0, windowY = 0;
  WindowOrigin(x, &windowX, &windowY);
  int count = 0, eventBase, errorBase;
  XRRMonitorInfo* monitors = XRRQueryExtension(x.display, &eventBase, &errorBase)
                                 ? XRRGetMonitors(x.display, event.xconfigure.window, True, &count)
                                 : nullptr;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    if (windowX >= m.x && windowX < m.x + m.width && windowY >= m.y && windowY < m.y + m.height) {
      *display = {m.x, m.y, m.width, m.height};
      break;
    }
  }
  if (monitors) XRRFreeMonitors(monitors);
  return true;
}

int CurrentRefreshRate(SDL_Window* window) {
  XWindow x;
  int eventBase, errorBase;
  if (!AsXWindow(window, &x) || !XRRQueryExtension(x.display, &eventBase, &errorBase)) return 0;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(x.display, DefaultRootWindow(x.display));
  if (!resources) return 0;
  int windowX = 0, windowY = 0;
  WindowOrigin(x, &windowX, &windowY);
  RRMode mode = None;
  for (int i = 0; i < resources->ncrtc && mode == None; ++i) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(x.display, resources, resources->crtcs[i]);
    if (crtc && windowX >= crtc->x && windowX < crtc->x + int(crtc->width) && windowY >= crtc->y &&
        windowY < crtc->y + int(crtc->height))
      mode = crtc->mode;
    if (crtc) XRRFreeCrtcInfo(crtc);
  }
  double rate = 0;
  for (int i = 0; i < resources->nmode; ++i) {
    const XRRModeInfo& info = resources->modes[i];
    if (info.id != mode || info.hTotal == 0 || info.vTotal == 0) continue;
    // An interlaced mode draws half the lines a refresh; a double-scanned one each twice.
    double lines = double(info.vTotal);
    if (info.modeFlags & RR_Interlace) lines /= 2;
    if (info.modeFlags & RR_DoubleScan) lines *= 2;
    rate = double(info.dotClock) / (double(info.hTotal) * lines);
  }
  XRRFreeScreenResources(resources);
  return int(rate + 0.5);
}

void TakeFocusIfUnowned(SDL_Window* window) {
  XWindow x;
  if (!AsXWindow(window, &x) || WindowManagerRunning(x.display)) return;
  Window focus;
  int revertTo;
  XGetInputFocus(x.display, &focus, &revertTo);
  const bool unowned = focus == None || focus == PointerRoot || focus == DefaultRootWindow(x.display);
  XWindowAttributes attributes;
  if (!unowned || !XGetWindowAttributes(x.display, x.window, &attributes) || attributes.map_state != IsViewable)
    return;
  // When this window goes in its turn, the keys go back to the window under the pointer.
  XSetInputFocus(x.display, x.window, RevertToPointerRoot, CurrentTime);
  XFlush(x.display);
}

}  // namespace platform::sdl
