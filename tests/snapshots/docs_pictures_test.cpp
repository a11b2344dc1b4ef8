// The pictures in docs/ are the ones tools/pictures makes today, and they show what the
// programs present; and the tool's failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "tests/support/bmp_file.h"
#include "tests/support/command_output.h"
#include "tests/support/gif_file.h"
#include "tests/support/temp_folder.h"

namespace {

const std::filesystem::path kDocs = DOCS_FOLDER;

CommandResult RunTool(const std::string& arguments) {
  return RunCommand(std::string(PROGRAM_PICTURES_PATH) + " " + arguments + " 2>&1");
}

// The pictures in a folder: its PNG and GIF files, sorted.
std::vector<std::string> PicturesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const std::string& name : TempFolder::NamesIn(folder))
    if (name.ends_with(".png") || name.ends_with(".gif")) names.push_back(name);
  return names;
}

// Every program of the list that shows something (programs/programs.cmake), and no other:
// a picture left of a program taken off the list fails too. (docs/small/ may hold stills
// of pages that are not programs.)
TEST(DocsPictures, AreTheOnesTheToolMakesToday) {
  TempFolder made;
  std::istringstream programs(SHOWN_PROGRAMS);
  for (std::string program; programs >> program;) {
    CommandResult run = RunTool(program + " " + made.path().string());
    ASSERT_EQ(run.status, 0) << program << ": " << run.output;
  }
  ASSERT_EQ(PicturesIn(kDocs), PicturesIn(made.path()))
      << "docs/ holds other pictures than tools/pictures makes: run it, and remove those of a program taken off the list";
  std::vector<std::string> files = PicturesIn(made.path());
  for (const std::string& still : PicturesIn(made / "small")) files.push_back("small/" + still);
  for (const std::string& file : files)
    EXPECT_TRUE(ReadBytes(kDocs / file) == ReadBytes(made / file))
        << "docs/" << file << " is not what tools/pictures makes today: run tools/pictures";
}

// A small still is every fourth pixel of every fourth row of its picture.
TEST(DocsPictures, SmallStillsAreTheirPicturesAtAQuarter) {
  for (const char* name : {"texture.png", "angle.png", "tunnel_animated.png"}) {
    DecodedPicture picture(kDocs / name);
    DecodedPicture small(kDocs / "small" / name);
    ASSERT_EQ(small.width, picture.width / 4) << name;
    ASSERT_EQ(small.height, picture.height / 4) << name;
    for (int y = 0; y < small.height; ++y)
      for (int x = 0; x < small.width; ++x) ASSERT_EQ(small.At(x, y), picture.At(4 * x, 4 * y)) << name;
  }
}

TEST(DocsPictures, TheAnimationHoldsTheFlightAtHalfSize) {
  DecodedGif gif(ReadBytes(kDocs / "tunnel_animated.gif"));
  EXPECT_LT(std::filesystem::file_size(kDocs / "tunnel_animated.gif"), 2'000'000u);
  // The 200 frames repeat every 50: a shift of 128 on both lookups leaves u XOR v as it is.
  ASSERT_EQ(gif.frames.size(), 50u);
  EXPECT_EQ(gif.width, 320);
  EXPECT_EQ(gif.height, 240);
  EXPECT_EQ(gif.delays[0], 20);
  // Its frame 20 is the still picture of frame 20, every other pixel, blue in 128 steps.
  DecodedPicture still(kDocs / "tunnel_animated.png");
  ASSERT_EQ(still.width, 640);
  ASSERT_EQ(still.height, 480);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      std::uint32_t blue = still.At(2 * x, 2 * y) >> 16;
      ASSERT_EQ(gif.frames[19][std::size_t(y) * 320 + x], (blue >> 1) * 255 / 127 << 16) << x << ", " << y;
    }
}

TEST(DocsPictures, StillsAreWholeFramesInTheirOwnColours) {
  DecodedPicture flat(kDocs / "tunnel_static.png");
  ASSERT_EQ(flat.width, 640);
  ASSERT_EQ(flat.height, 480);
  // Blue 0 at the centre and 113 in the top-left corner, as the static program presents.
  EXPECT_EQ(flat.At(320, 240), 0u);
  EXPECT_EQ(flat.At(0, 0), 113u << 16);
  // The flight and the wandering view are frames of their own, not the static one.
  for (const char* name : {"tunnel_animated.png", "tunnel_lookaround.png"}) {
    DecodedPicture picture(kDocs / name);
    EXPECT_EQ(picture.width, 640) << name;
    EXPECT_EQ(picture.height, 480) << name;
    EXPECT_NE(picture.colours, flat.colours) << name;
  }
}

// The table pictures are the picture programs' BMP files: the texture in blue, the two
// screen-sized tables in grey, with the values of the table rules.
TEST(DocsPictures, TablePicturesShowTheTables) {
  struct Case {
    const char* name;
    int width, height;
    int x, y;
    std::uint32_t colour;
  };
  const Case cases[] = {
      {"texture.png", 256, 256, 255, 0, 255u << 16},           // 255 XOR 0, full blue
      {"texture.png", 256, 256, 160, 224, 64u << 16},          // 160 XOR 224
      {"distance.png", 640, 480, 0, 0, 20 * 0x010101u},        // radius 400: 8192 / 400
      {"distance.png", 640, 480, 384, 240, 128 * 0x010101u},   // radius 64
      {"distance.png", 640, 480, 321, 241, 160 * 0x010101u},   // inside radius 32: wrapped
      {"angle.png", 640, 480, 320, 0, 64 * 0x010101u},         // above the centre
      {"angle.png", 640, 480, 0, 240, 128 * 0x010101u},        // left of the centre
      {"angle.png", 640, 480, 0, 0, 101 * 0x010101u},          // the top-left corner
  };
  for (const Case& c : cases) {
    DecodedPicture picture(kDocs / c.name);
    ASSERT_EQ(picture.width, c.width) << c.name;
    ASSERT_EQ(picture.height, c.height) << c.name;
    EXPECT_EQ(picture.At(c.x, c.y), c.colour) << c.name << " at " << c.x << ", " << c.y;
  }
}

TEST(ProgramPictures, SaysWhatWentWrongAndLeavesNothingHalfWritten) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "tunnel_static.png");  // cannot be replaced by a file
  std::string shown = SHOWN_PROGRAMS;
  std::replace(shown.begin(), shown.end(), ' ', '|');
  struct Case {
    std::string arguments;
    int exitCode;
    std::string says;
  };
  const Case cases[] = {
      {"", 2, "usage: program_pictures " + shown + " FOLDER\n"},
      {"tables " + folder.path().string(), 2, "usage:"},
      {"static " + (folder / "missing").string(), 1, "program_pictures: cannot write "},
      {"static " + folder.path().string(), 1, "cannot write " + (folder / "tunnel_static.png").string()},
      {"texture " + (folder / "missing").string(), 1, "cannot write " + (folder / "missing/texture.png").string()},
  };
  for (const Case& c : cases) {
    CommandResult run = RunTool(c.arguments);
    EXPECT_EQ(WEXITSTATUS(run.status), c.exitCode) << c.arguments;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tunnel_static.png"});
}

}  // namespace
