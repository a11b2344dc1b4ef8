#include "tests/e2e/x_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

namespace e2e {

struct XClient {
  Display* display;
  Window root;
};

namespace {

// One property of a window as bytes, or empty.
std::string Property(XClient* client, Window window, const char* name, Atom type) {
  Atom actualType;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  std::string bytes;
  if (XGetWindowProperty(client->display, window, XInternAtom(client->display, name, False), 0,
                         1024, False, type, &actualType, &format, &items, &after, &data) == Success &&
      data && actualType == type) {
    const std::size_t unit = format == 32 ? sizeof(long) : std::size_t(format / 8);
    bytes.assign(reinterpret_cast<char*>(data), items * unit);
  }
  if (data) XFree(data);
  return bytes;
}

}  // namespace

namespace {

// A window can go between two requests (a window manager's frames come and go); the
// call that meets it reports the failure by its result, where Xlib's own handler would
// end the tests.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

}  // namespace

XClient* ConnectX(const std::string& display) {
  Display* connection = XOpenDisplay(display.c_str());
  if (!connection) return nullptr;
  XSetErrorHandler(IgnoreError);
  return new XClient{connection, DefaultRootWindow(connection)};
}

void DisconnectX(XClient* client) {
  if (!client) return;
  XCloseDisplay(client->display);
  delete client;
}

namespace {

// Under `window`, at any depth: a window manager puts the windows in frames of its own.
XWindowId WindowOfProcessUnder(XClient* client, Window window, pid_t pid) {
  Window rootReturn, parent, *children = nullptr;
  unsigned count = 0;
  XWindowId found = 0;
  if (!XQueryTree(client->display, window, &rootReturn, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    std::string owner = Property(client, children[i], "_NET_WM_PID", XA_CARDINAL);
    if (owner.size() == sizeof(long) && pid_t(*reinterpret_cast<const long*>(owner.data())) == pid)
      found = children[i];
  }
  for (unsigned i = 0; i < count && !found; ++i) found = WindowOfProcessUnder(client, children[i], pid);
  if (children) XFree(children);
  return found;
}

}  // namespace

XWindowId WindowOfProcess(XClient* client, pid_t pid) { return WindowOfProcessUnder(client, client->root, pid); }

bool WindowManagerRunning(XClient* client) {
  return !Property(client, client->root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
}

bool ReadWindow(XClient* client, XWindowId window, WindowFacts* facts) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(client->display, window, &attributes)) return false;
  facts->viewable = attributes.map_state == IsViewable;
  Window child;
  if (!XTranslateCoordinates(client->display, window, client->root, 0, 0, &facts->x, &facts->y, &child)) return false;
  facts->width = attributes.width;
  facts->height = attributes.height;
  facts->title = Property(client, window, "_NET_WM_NAME",
                          XInternAtom(client->display, "UTF8_STRING", False));
  return true;
}

bool CursorInvisibleAt(XClient* client, int x, int y) {
  XWarpPointer(client->display, None, client->root, 0, 0, 0, 0, x, y);
  XSync(client->display, False);
  XFixesCursorImage* image = XFixesGetCursorImage(client->display);
  if (!image) return false;
  bool invisible = true;
  for (int i = 0; i < image->width * image->height; ++i)
    if (image->pixels[i] >> 24) invisible = false;  // any pixel with some alpha
  XFree(image);
  return invisible;
}

void FakeKey(XClient* client, const std::string& key, bool down) {
  KeyCode code = XKeysymToKeycode(client->display, XStringToKeysym(key.c_str()));
  XTestFakeKeyEvent(client->display, code, down ? True : False, CurrentTime);
  XSync(client->display, False);
}

void FakeButton(XClient* client, int x, int y, int button, bool down) {
  XWarpPointer(client->display, None, client->root, 0, 0, 0, 0, x, y);
  XTestFakeButtonEvent(client->display, unsigned(button), down ? True : False, CurrentTime);
  XSync(client->display, False);
}

void RequestClose(XClient* client, XWindowId window) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(client->display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = long(XInternAtom(client->display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(client->display, window, False, NoEventMask, &close);
  XSync(client->display, False);
}

void CoverAndUncover(XClient* client, int x, int y, int width, int height) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(client->display, DefaultScreen(client->display));
  Window cover = XCreateWindow(client->display, client->root, x, y, unsigned(width), unsigned(height), 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(client->display, cover);
  XSync(client->display, False);
  XDestroyWindow(client->display, cover);
  XSync(client->display, False);
}

void ResizeWindow(XClient* client, XWindowId window, int width, int height) {
  XResizeWindow(client->display, window, unsigned(width), unsigned(height));
  XSync(client->display, False);
}

void MoveWindow(XClient* client, XWindowId window, int x, int y) {
  XMoveWindow(client->display, window, x, y);
  XSync(client->display, False);
}

void ResizeDesktop(XClient* client, int width, int height) {
  if (XRRScreenResources* resources = XRRGetScreenResourcesCurrent(client->display, client->root)) {
    for (int i = 0; i < resources->ncrtc; ++i)
      XRRSetCrtcConfig(client->display, resources, resources->crtcs[i], CurrentTime, 0, 0, None, RR_Rotate_0,
                       nullptr, 0);
    XRRFreeScreenResources(resources);
  }
  // Millimetres at 96 dots per inch.
  XRRSetScreenSize(client->display, client->root, width, height, width * 254 / 960, height * 254 / 960);
  XSync(client->display, False);
}

void Focus(XClient* client, XWindowId window) {
  XSetInputFocus(client->display, window ? window : client->root, RevertToParent, CurrentTime);
  XSync(client->display, False);
}

}  // namespace e2e
