// program_pictures: the pictures that README.md shows, each made by running a program's
// main body in this process. One program a run, so that each runs as in a process of
// its own:
//   program_pictures static FOLDER       FOLDER/tunnel_static.png: its frame
//   program_pictures animated FOLDER     FOLDER/tunnel_animated.png: frame 20 of the flight;
//                                        FOLDER/tunnel_animated.gif: the flight's whole cycle
//                                        of 200 frames at half size (every other pixel),
//                                        blue in 128 steps; it holds the frames up to
//                                        where the cycle repeats itself, and loops
//   program_pictures lookaround FOLDER   FOLDER/tunnel_lookaround.png: frame 20 of the view
//   program_pictures texture FOLDER      FOLDER/texture.png: the BMP texture_dump writes
//   program_pictures distance FOLDER     FOLDER/distance.png: the BMP distance_dump writes
//   program_pictures angle FOLDER        FOLDER/angle.png: the BMP angle_dump writes
// Beside each PNG picture, FOLDER/small/ holds a small still of it at a quarter of its
// width and height (every fourth pixel of every fourth row), for the web pages' index.
// The interactive programs run on the in-memory display; a picture program writes its
// BMP into a temporary folder of its own, removed afterwards. Each file is written whole
// under a temporary name and then renamed into place.
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <unistd.h>

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
int Run_texture();
int Run_distance();
int Run_angle();

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

struct TablePicture {
  const char* name;
  int (*body)();
  const char* bmp;  // the file the program writes to c:\, its current folder
};
const TablePicture kTablePictures[] = {
    {"texture", Run_texture, "Varnoxia_Texture.bmp"},
    {"distance", Run_distance, "Varnoxia_Distance.bmp"},
    {"angle", Run_angle, "Varnoxia_Angle.bmp"},
};

bool IsGrey(std::uint32_t colour) { return (colour & 0xFF) * 0x010101u == colour; }

// A picture whose every pixel is grey is written with one channel, a third of the bytes.
std::vector<std::uint8_t> PngBytes(const ShownFrame& frame) {
  const int channels = std::all_of(frame.pixels.begin(), frame.pixels.end(), IsGrey) ? 1 : 3;
  std::vector<std::uint8_t> rgb;
  rgb.reserve(frame.pixels.size() * channels);
  for (std::uint32_t colour : frame.pixels)
    if (channels == 1)
      rgb.push_back(static_cast<std::uint8_t>(colour & 0xFF));
    else
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(colour & 0xFF), static_cast<std::uint8_t>(colour >> 8 & 0xFF),
                             static_cast<std::uint8_t>(colour >> 16 & 0xFF)});
  std::vector<std::uint8_t> png;
  auto append = [](void* context, void* data, int size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(append, &png, frame.width, frame.height, channels, rgb.data(),
                              frame.width * channels))
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

// Every fourth pixel of every fourth row.
ShownFrame QuarterSize(const ShownFrame& frame) {
  ShownFrame small{frame.number, frame.width / 4, frame.height / 4, {}};
  for (int y = 0; y < small.height; ++y)
    for (int x = 0; x < small.width; ++x)
      small.pixels.push_back(frame.pixels[static_cast<std::size_t>(4 * y) * frame.width + 4 * x]);
  return small;
}

// FOLDER/NAME and its small still, FOLDER/small/NAME.
void WriteStill(const fs::path& folder, const std::string& name, const ShownFrame& frame) {
  WriteWhole(folder / name, PngBytes(frame));
  std::error_code error;
  fs::create_directory(folder / "small", error);
  WriteWhole(folder / "small" / name, PngBytes(QuarterSize(frame)));
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
  WriteStill(folder, program + ".png", *still);
  if (show.gif) {
    GifPicture gif;
    StartGif(gif, still->width / 2, still->height / 2, BluePalette());
    for (std::size_t n = 0; n < Period(gifFrames); ++n) AddGifFrame(gif, gifFrames[n], kGifDelay);
    FinishGif(gif);
    WriteWhole(folder / (program + ".gif"), gif.bytes);
  }
}

// Runs the picture program in a fresh temporary folder, which is its drive C:, and
// writes the BMP it leaves there as FOLDER/NAME.png.
void MakeTablePicture(const TablePicture& table, const fs::path& folder) {
  const std::string program = std::string(table.name) + "_dump";
  const fs::path output = fs::absolute(folder) / (std::string(table.name) + ".png");
  std::string work = (fs::temp_directory_path() / "program_pictures-XXXXXX").string();
  if (!mkdtemp(work.data())) throw std::runtime_error("cannot make a temporary folder for " + program);
  const fs::path start = fs::current_path();
  fs::current_path(work);
  const unsigned exitCode = RunMainBody(table.body);
  fs::current_path(start);
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load((fs::path(work) / table.bmp).c_str(), &width, &height, &channels, 3);
  std::error_code ignored;
  fs::remove_all(work, ignored);
  if (exitCode != 0 || !rgb)
    throw std::runtime_error(program + " ended with code " + std::to_string(exitCode) + " and wrote " +
                             (rgb ? "its picture" : "no picture it could read back"));
  ShownFrame picture{1, width, height, {}};
  for (int i = 0; i < width * height; ++i)
    picture.pixels.push_back(rgb[3 * i] | rgb[3 * i + 1] << 8 | static_cast<std::uint32_t>(rgb[3 * i + 2]) << 16);
  stbi_image_free(rgb);
  WriteStill(output.parent_path(), output.filename().string(), picture);
}

}  // namespace

int main(int argc, char** argv) {
  const Show* show = nullptr;
  const TablePicture* table = nullptr;
  for (const Show& s : kShows)
    if (argc == 3 && argv[1] == std::string(s.name)) show = &s;
  for (const TablePicture& t : kTablePictures)
    if (argc == 3 && argv[1] == std::string(t.name)) table = &t;
  if (!show && !table) {
    std::fprintf(stderr, "usage: program_pictures static|animated|lookaround|texture|distance|angle FOLDER\n");
    return 2;
  }
  try {
    if (show)
      MakePictures(*show, argv[2]);
    else
      MakeTablePicture(*table, argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "program_pictures: %s\n", e.what());
    return 1;
  }
  return 0;
}
