// program_pictures: the pictures of the interactive programs that README.md shows, each
// made by running the program's main body on the in-memory display. One program a run,
// so that each runs as in a process of its own:
//   program_pictures static FOLDER       FOLDER/tunnel_static.png: its frame
//   program_pictures animated FOLDER     FOLDER/tunnel_animated.png: frame 20 of the flight;
//                                        FOLDER/tunnel_animated.gif: the flight's whole cycle
//                                        of 200 frames at half size (every other pixel),
//                                        blue in 128 steps; it holds the frames up to
//                                        where the cycle repeats itself, and loops
//   program_pictures lookaround FOLDER   FOLDER/tunnel_lookaround.png: frame 20 of the view
// Each file is written whole under a temporary name and then renamed into place.
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "snapshots/gif_writer.h"
#include "snapshots/program_frames.h"

int Run_animated();
int Run_static();
int Run_lookaround();

namespace {

namespace fs = std::filesystem;

struct Show {
  const char* name;
  int (*body)();
  int frames;    // run for this many frames
  int pngFrame;  // the frame shown as a PNG picture
  bool gif;      // the frames as an animated GIF picture, at half size
};
const Show kShows[] = {
    {"static", Run_static, 1, 1, false},
    {"animated", Run_animated, 200, 20, true},  // one whole cycle
    {"lookaround", Run_lookaround, 20, 20, false},
};

std::vector<std::uint8_t> PngBytes(const ShownFrame& frame) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(frame.pixels.size() * 3);
  for (std::uint32_t colour : frame.pixels)
    rgb.insert(rgb.end(), {static_cast<std::uint8_t>(colour & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                           static_cast<std::uint8_t>(colour >> 16 & 0xFF)});
  std::vector<std::uint8_t> png;
  auto append = [](void* context, void* data, int size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(append, &png, frame.width, frame.height, 3, rgb.data(), frame.width * 3))
    throw std::runtime_error("cannot make the PNG picture of frame " + std::to_string(frame.number));
  return png;
}

// The programs show 60 frames a second; a GIF counts in hundredths (and browsers slow
// down delays under 2), so the animation runs at 50.
constexpr int kGifDelay = 2;
// Blue in 128 steps instead of 256 (steps the eye does not tell apart) makes the picture
// a third smaller.
constexpr int kGifBlueShift = 1;

// The palette of the tunnel's colours: black up to full blue.
std::vector<std::uint32_t> BluePalette() {
  std::vector<std::uint32_t> palette(256 >> kGifBlueShift);
  for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<std::uint32_t>(i * 255 / (palette.size() - 1));
  return palette;
}

// Every other pixel of every other row, as an index of the blue palette.
std::vector<std::uint8_t> HalfSizeBlues(const ShownFrame& frame) {
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < frame.height; y += 2)
    for (int x = 0; x < frame.width; x += 2) {
      std::uint32_t colour = frame.pixels[static_cast<std::size_t>(y) * frame.width + x];
      if (colour & 0xFFFF)
        throw std::runtime_error("frame " + std::to_string(frame.number) + " has a colour that is not a blue");
      indices.push_back(static_cast<std::uint8_t>(colour >> 16 >> kGifBlueShift));
    }
  return indices;
}

// The fewest frames that, looped, give all of `frames`: the whole cycle, or the part of
// it after which it repeats itself.
std::size_t Period(const std::vector<std::vector<std::uint8_t>>& frames) {
  std::size_t period = 1;
  while (period < frames.size() &&
         (frames.size() % period != 0 ||
          !std::equal(frames.begin() + static_cast<std::ptrdiff_t>(period), frames.end(), frames.begin())))
    ++period;
  return period;
}

void WriteWhole(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  fs::path temporary = file;
  temporary += ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  std::error_code error;
  if (out) fs::rename(temporary, file, error);
  if (!out || error) {
    fs::remove(temporary, error);
    throw std::runtime_error("cannot write " + file.string());
  }
}

void MakePictures(const Show& show, const fs::path& folder) {
  const std::string program = std::string("tunnel_") + show.name;
  std::optional<ShownFrame> still;
  std::vector<std::vector<std::uint8_t>> gifFrames;
  ProgramShow run = ShowProgram(show.body, show.frames, [&](const ShownFrame& frame) {
    if (frame.number == show.pngFrame) still = frame;
    if (show.gif) gifFrames.push_back(HalfSizeBlues(frame));
  });
  if (run.exitCode != 0 || run.frames != show.frames || !run.allSeen || !still)
    throw std::runtime_error(program + " showed " + std::to_string(run.frames) + " frames of " +
                             std::to_string(show.frames) + " and ended with code " + std::to_string(run.exitCode));
  WriteWhole(folder / (program + ".png"), PngBytes(*still));
  if (show.gif) {
    GifPicture gif;
    StartGif(gif, still->width / 2, still->height / 2, BluePalette());
    for (std::size_t n = 0; n < Period(gifFrames); ++n) AddGifFrame(gif, gifFrames[n], kGifDelay);
    FinishGif(gif);
    WriteWhole(folder / (program + ".gif"), gif.bytes);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Show* show = nullptr;
  for (const Show& s : kShows)
    if (argc == 3 && argv[1] == std::string(s.name)) show = &s;
  if (!show) {
    std::fprintf(stderr, "usage: program_pictures static|animated|lookaround FOLDER\n");
    return 2;
  }
  try {
    MakePictures(*show, argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "program_pictures: %s\n", e.what());
    return 1;
  }
  return 0;
}
