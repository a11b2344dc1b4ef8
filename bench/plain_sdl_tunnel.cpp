// The tunnel as a learner writes it with plain SDL2 and none of this project's code: the
// tables built once, every frame each pixel's texture value written into a pixel array,
// the array copied into a streaming texture, and SDL's renderer scaling that texture to
// the full-screen window and presenting it at the display's refresh. tools/screen-figures
// runs it as the yardstick beside the project's programs. Escape ends it.
#include <SDL.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

int main() {
  const int width = 640, height = 480, textureSize = 256;
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    SDL_Log("plain_sdl_tunnel: %s", SDL_GetError());
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("Plain SDL tunnel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                        height, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC) : nullptr;
  SDL_Texture* screen = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                                     SDL_TEXTUREACCESS_STREAMING, width, height)
                                 : nullptr;
  if (!screen) {
    SDL_Log("plain_sdl_tunnel: %s", SDL_GetError());
    SDL_Quit();
    return 1;
  }

  std::vector<int> texture(textureSize * textureSize), distance(width * height), angle(width * height);
  for (int u = 0; u < textureSize; ++u)
    for (int v = 0; v < textureSize; ++v) texture[u * textureSize + v] = u ^ v;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double dx = x - width / 2.0, dy = y - height / 2.0, d = std::sqrt(dx * dx + dy * dy);
      distance[y * width + x] = d == 0 ? 0 : int(32.0 * textureSize / d) % textureSize;
      angle[y * width + x] = int(256.0 - 0.5 * textureSize * std::atan2(dy, dx) / std::numbers::pi) & 255;
    }

  std::vector<std::uint32_t> pixels(width * height);
  double animation = 0.0;
  for (bool running = true; running;) {
    SDL_Event event;
    while (SDL_PollEvent(&event))
      if (event.type == SDL_QUIT || (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE))
        running = false;
    animation += 0.005;
    if (animation >= 1.0) animation = 0.0;
    const int shift = int(textureSize * 2.0 * animation);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int u = (distance[y * width + x] + shift) % textureSize;
        const int v = (angle[y * width + x] + shift) % textureSize;
        pixels[y * width + x] = std::uint32_t(texture[u * textureSize + v]);  // blue
      }
    SDL_UpdateTexture(screen, nullptr, pixels.data(), width * 4);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, screen, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  }
  SDL_DestroyTexture(screen);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
