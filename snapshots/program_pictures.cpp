// program_pictures: the pictures of the programs that README.md and the web pages' index
// show, each made by running a program's main body in this process. One program a run,
// named by its short name (programs/programs.cmake), so that each runs as in a process of
// its own:
//   program_pictures SHORT FOLDER
// A screen program (static, animated, ...) gives FOLDER/NAME.png, its frame 20; the
// flight, tunnel_animated, also FOLDER/tunnel_animated.gif: its whole cycle of 200 frames
// at half size (every other pixel), blue in 128 steps, holding the frames up to where the
// cycle repeats itself, and looping.
// A picture program (texture, distance, ...) gives FOLDER/SHORT.png: the BMP it writes.
// Beside each PNG picture, FOLDER/small/ holds a small still of it at a quarter of its
// width and height (every fourth pixel of every fourth row), for the web pages' index.
// The screen programs run on the in-memory display; a picture program writes its BMP
// into a temporary folder of its own, removed afterwards. Each file is written whole
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

#include "programs/program_bodies.h"
#include "snapshots/gif_writer.h"
#include "snapshots/program_frames.h"

namespace {

namespace fs = std::filesystem;

// A screen program's still is its frame 20; the flight is also an animated GIF of its
// whole cycle.
constexpr int kStillFrame = 20;
const std::string kFlight = "tunnel_animated";
constexpr int kFlightCycle = 200;

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

void MakePictures(const ProgramBody& program, const fs::path& folder) {
  const bool gif = program.name == kFlight;
  const int frames = gif ? kFlightCycle : kStillFrame;
  std::optional<ShownFrame> still;
  std::vector<std::vector<std::uint8_t>> gifFrames;
  ProgramShow run = ShowProgram(program.body, frames, [&](const ShownFrame& frame) {
    if (frame.number == kStillFrame) still = frame;
    if (gif) gifFrames.push_back(HalfSizeBlues(frame));
  });
  if (run.exitCode != 0 || run.frames != frames || !run.allSeen || !still)
    throw std::runtime_error(std::string(program.name) + " showed " + std::to_string(run.frames) + " frames of " +
                             std::to_string(frames) + " and ended with code " + std::to_string(run.exitCode));
  WriteStill(folder, std::string(program.name) + ".png", *still);
  if (gif) {
    GifPicture picture;
    StartGif(picture, still->width / 2, still->height / 2, BluePalette());
    for (std::size_t n = 0; n < Period(gifFrames); ++n) AddGifFrame(picture, gifFrames[n], kGifDelay);
    FinishGif(picture);
    WriteWhole(folder / (std::string(program.name) + ".gif"), picture.bytes);
  }
}

// The one BMP file in `folder`, or an empty path.
fs::path OnlyBmp(const fs::path& folder) {
  fs::path found;
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".bmp") {
      found = entry.path();
      ++count;
    }
  return count == 1 ? found : fs::path();
}

// Runs the picture program in a fresh temporary folder, which is its drive C:, and
// writes the BMP it leaves there as FOLDER/SHORT.png.
void MakeTablePicture(const ProgramBody& program, const fs::path& folder) {
  const fs::path output = fs::absolute(folder) / (std::string(program.shortName) + ".png");
  std::string work = (fs::temp_directory_path() / "program_pictures-XXXXXX").string();
  if (!mkdtemp(work.data())) throw std::runtime_error(std::string("cannot make a temporary folder for ") + program.name);
  const fs::path start = fs::current_path();
  fs::current_path(work);
  const unsigned exitCode = RunMainBody(program.body);
  fs::current_path(start);
  int width = 0, height = 0, channels = 0;
  unsigned char* rgb = stbi_load(OnlyBmp(work).c_str(), &width, &height, &channels, 3);
  std::error_code ignored;
  fs::remove_all(work, ignored);
  if (exitCode != 0 || !rgb)
    throw std::runtime_error(std::string(program.name) + " ended with code " + std::to_string(exitCode) +
                             " and wrote " + (rgb ? "its picture" : "no one BMP picture it could read back"));
  ShownFrame picture{1, width, height, {}};
  for (int i = 0; i < width * height; ++i)
    picture.pixels.push_back(rgb[3 * i] | rgb[3 * i + 1] << 8 | static_cast<std::uint32_t>(rgb[3 * i + 2]) << 16);
  stbi_image_free(rgb);
  WriteStill(output.parent_path(), output.filename().string(), picture);
}

const ProgramBody* Named(const ProgramBody* first, const ProgramBody* last, const std::string& shortName) {
  const ProgramBody* found = std::find_if(first, last, [&](const ProgramBody& p) { return p.shortName == shortName; });
  return found == last ? nullptr : found;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argc == 3 ? argv[1] : "";
  const ProgramBody* screen = Named(std::begin(kScreenBodies), std::end(kScreenBodies), name);
  const ProgramBody* picture = Named(std::begin(kPictureBodies), std::end(kPictureBodies), name);
  if (!screen && !picture) {
    std::string names;
    for (const ProgramBody& p : kPictureBodies) names += std::string(names.empty() ? "" : "|") + p.shortName;
    for (const ProgramBody& p : kScreenBodies) names += std::string("|") + p.shortName;
    std::fprintf(stderr, "usage: program_pictures %s FOLDER\n", names.c_str());
    return 2;
  }
  try {
    if (screen)
      MakePictures(*screen, argv[2]);
    else
      MakeTablePicture(*picture, argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "program_pictures: %s\n", e.what());
    return 1;
  }
  return 0;
}
