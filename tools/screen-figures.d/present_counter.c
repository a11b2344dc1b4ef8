/* Preloaded into an interactive program by tools/screen-figures: counts the frames SDL
   hands to the display, in a file of three 64-bit numbers the script reads while the
   program runs: nanoseconds from SCREEN_FIGURES_T0 to the first frame, frames so far,
   nanoseconds to the latest frame. A frame is a part of the window's surface handed
   over, or a renderer's present after a new texture; a whole surface handed over again
   (the window was uncovered) is none. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

static volatile int64_t* counts;
static int64_t start;

static int64_t Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);  /* the script starts the clock with date(1) */
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

__attribute__((constructor)) static void Open(void) {
  const char* file = getenv("SCREEN_FIGURES_FILE");
  const char* t0 = getenv("SCREEN_FIGURES_T0");
  if (!file || !t0) return;
  start = atoll(t0);
  int fd = open(file, O_RDWR);
  if (fd < 0) return;
  void* map = mmap(NULL, 3 * sizeof(int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (map != MAP_FAILED) counts = map;
}

static void Count(void) {
  if (!counts) return;
  const int64_t at = Now() - start;
  if (counts[1] == 0) counts[0] = at;
  counts[2] = at;
  counts[1] = counts[1] + 1;
}

static int textureUpdated;

int SDL_UpdateWindowSurfaceRects(void* window, const void* rects, int count) {
  static int (*real)(void*, const void*, int);
  if (!real) real = (int (*)(void*, const void*, int))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
  const int result = real(window, rects, count);
  Count();
  return result;
}

int SDL_UpdateTexture(void* texture, const void* rect, const void* pixels, int pitch) {
  static int (*real)(void*, const void*, const void*, int);
  if (!real) real = (int (*)(void*, const void*, const void*, int))dlsym(RTLD_NEXT, "SDL_UpdateTexture");
  textureUpdated = 1;
  return real(texture, rect, pixels, pitch);
}

void SDL_RenderPresent(void* renderer) {
  static void (*real)(void*);
  if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_RenderPresent");
  real(renderer);
  if (textureUpdated) Count();
  textureUpdated = 0;
}
