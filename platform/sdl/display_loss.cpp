#include "platform/sdl/display_loss.h"

#include <SDL_syswm.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>
#include <wayland-client-core.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace platform::sdl {
namespace {

std::atomic<bool> ending{false};

std::thread watcher;
int stopWatch[2] = {-1, -1};  // a byte written to [1] ends the watch
int watched = -1;
std::string watchedName;

// Xlib calls this when a connection breaks; had it returned, Xlib would print its own
// line and call exit.
int OnBrokenXConnection(Display* display) { EndByLostDisplay(XDisplayString(display)); }

// The connection's descriptor and the display's name, as the user knows it.
bool ConnectionOf(SDL_Window* window, int* descriptor, std::string* name) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info)) return false;
  switch (info.subsystem) {
    case SDL_SYSWM_X11:
      *descriptor = XConnectionNumber(info.info.x11.display);
      *name = XDisplayString(info.info.x11.display);
      return true;
    case SDL_SYSWM_WAYLAND: {
      *descriptor = wl_display_get_fd(info.info.wl.display);
      const char* socket = std::getenv("WAYLAND_DISPLAY");
      *name = socket && *socket ? socket : "wayland-0";
      return true;
    }
    case SDL_SYSWM_KMSDRM:
      // SDL says nothing when the device goes away; the kernel may report a hang-up.
      *descriptor = info.info.kmsdrm.drm_fd;
      *name = "/dev/dri/card" + std::to_string(info.info.kmsdrm.dev_index);
      return true;
    default:
      return false;
  }
}

// Waits, without reading, until the display's end of the connection closes.
void Watch(int descriptor, int stop) {
  pollfd what[] = {{descriptor, POLLRDHUP, 0}, {stop, POLLIN, 0}};
  for (;;) {
    if (poll(what, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (what[1].revents) return;
    if (what[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) EndByLostDisplay(watchedName.c_str());
    if (what[0].revents & POLLNVAL) return;
  }
}

}  // namespace

void CatchLostDisplay() {
  if (std::strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) XSetIOErrorHandler(OnBrokenXConnection);
}

void WatchDisplay(SDL_Window* window) {
  if (watcher.joinable()) return;
  if (!ConnectionOf(window, &watched, &watchedName) || watched < 0) return;
  if (pipe2(stopWatch, O_CLOEXEC) != 0) return;
  // End signals go to the program's own thread, which hands the desktop back.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  try {
    watcher = std::thread(Watch, watched, stopWatch[0]);
  } catch (const std::system_error&) {
    // No memory for the thread's stack: the program runs unwatched, and on X11 the
    // connection's own error handler still ends it when the display goes.
    close(stopWatch[0]);
    close(stopWatch[1]);
    stopWatch[0] = stopWatch[1] = -1;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void StopWatchingDisplay() {
  if (!watcher.joinable()) return;
  const char stop = 0;
  while (write(stopWatch[1], &stop, 1) < 0 && errno == EINTR) {
  }
  watcher.join();
  close(stopWatch[0]);
  close(stopWatch[1]);
  stopWatch[0] = stopWatch[1] = -1;
}

void EndByLostDisplay(const char* name) {
  // The other thread that learnt of it is ending the process already.
  if (ending.exchange(true))
    for (;;) pause();
  const char* program = program_invocation_short_name;
  iovec line[] = {{const_cast<char*>(program), std::strlen(program)},
                  {const_cast<char*>(": the display "), 14},
                  {const_cast<char*>(name), std::strlen(name)},
                  {const_cast<char*>(" went away\n"), 11}};
  ssize_t written = writev(STDERR_FILENO, line, 4);
  (void)written;  // nothing more can be said if standard error is gone too
  _exit(1);
}

}  // namespace platform::sdl
