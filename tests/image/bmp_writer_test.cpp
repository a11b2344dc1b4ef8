#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <regex>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/bmp_writer.h"
#include "image/pictures.h"
#include "platform/gdi32.h"
#include "platform/testing.h"
#include "screen/drawing.h"
#include "tests/support/bmp_file.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

using namespace platform;

namespace {

struct {
  ProgramHeader header;
} g;

using Pattern = std::uint32_t (*)(int x, int y);

// Every channel varies, and neighbouring pixels differ.
std::uint32_t Varied(int x, int y) {
  return std::uint32_t((x * 37 + y) & 0xFF) | std::uint32_t((y * 53 + x) & 0xFF) << 8 |
         std::uint32_t((x * y + 7) & 0xFF) << 16;
}
std::uint32_t White(int, int) { return 0x00FFFFFF; }

class BmpWriter : public ::testing::Test {
 protected:
  void SetUp() override { ProgramStart(g, kImageProgram); }
  void TearDown() override {
    test::ClearFaults();
    EXPECT_EQ(EndProgram(), 0u);
  }

  static void Draw(std::int32_t number, int width, int height, Pattern colour) {
    ASSERT_NE(CreatePicture(number, width, height), nullptr);
    BeginDrawing(ImageTarget(number));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) PutPixel(x, y, std::int32_t(colour(x, y)));
    EndDrawing();
  }

  std::string Path(const std::string& name) const { return (folder / name).string(); }

  TempFolder folder;
};

TEST_F(BmpWriter, HeadersSizesAndEveryPixelAsAnIndependentReaderSeesThem) {
  struct Case {
    int width, height;
    std::uint32_t rowBytes;
  };
  const Case cases[] = {{1, 1, 4}, {2, 3, 8}, {3, 2, 12}, {5, 4, 16}, {7, 1, 24}, {256, 256, 768}, {640, 480, 1920}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    Draw(0, c.width, c.height, Varied);
    ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
    BmpBytes file(folder / "p.bmp");
    std::uint32_t pixelBytes = c.rowBytes * c.height;
    ASSERT_EQ(file.bytes.size(), 54 + pixelBytes);
    const std::pair<std::size_t, std::uint32_t> fields32[] = {
        {2, 54 + pixelBytes}, {6, 0}, {10, 54}, {14, 40}, {18, std::uint32_t(c.width)}, {22, std::uint32_t(c.height)},
        {30, 0}, {34, pixelBytes}, {38, 0}, {42, 0}, {46, 0}, {50, 0}};
    EXPECT_EQ(file.U16(0), 0x4D42u);
    for (auto [at, value] : fields32) EXPECT_EQ(file.U32(at), value) << "at offset " << at;
    EXPECT_EQ(file.U16(26), 1u) << "planes";
    EXPECT_EQ(file.U16(28), 24u) << "bits per pixel";
    for (int y = 0; y < c.height; ++y) {
      std::size_t rowEnd = file.Offset(0, y) + c.rowBytes;
      for (std::size_t at = file.Offset(c.width - 1, y) + 3; at < rowEnd; ++at)
        ASSERT_EQ(file.bytes[at], 0) << "padding of row " << y;
    }
    DecodedPicture decoded(folder / "p.bmp");
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        ASSERT_EQ(decoded.At(x, y), Varied(x, y)) << x << ", " << y;
        ASSERT_EQ(file.Colour(x, y), Varied(x, y)) << x << ", " << y;
      }
  }
}

TEST_F(BmpWriter, TheTopLeftPixelIsTheFirstOfTheLastRow) {
  Draw(0, 256, 256, [](int x, int y) { return x == 0 && y == 0 ? 0x00FF0000u : 0u; });
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  BmpBytes file(folder / "p.bmp");
  const std::size_t at = 54 + 255 * 768;
  EXPECT_EQ(file.bytes.at(at), 0xFF);
  std::uint64_t sum = 0;
  for (std::size_t i = 54; i < file.bytes.size(); ++i) sum += file.bytes[i];
  EXPECT_EQ(sum, 0xFFu) << "every other byte of the pixel data is 0";
}

TEST_F(BmpWriter, SavingAgainReplacesTheFileWhole) {
  WriteBytes(folder / "p.bmp", std::string(2'000'000, 'x'));
  Draw(0, 5, 3, Varied);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  Draw(0, 3, 2, White);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
  BmpBytes file(folder / "p.bmp");
  EXPECT_EQ(file.bytes.size(), 54u + 2 * 12);
  EXPECT_EQ(file.Width(), 3);
  EXPECT_EQ(file.Colour(2, 1), 0x00FFFFFFu);
}

TEST_F(BmpWriter, NothingToSaveCreatesNoFile) {
  Draw(0, 4, 4, White);
  EXPECT_EQ(SavePictureBmp(1, Path("p.bmp").c_str()), 0) << "an empty number";
  EXPECT_EQ(SavePictureBmp(99, Path("p.bmp").c_str()), 0) << "beyond the table";
  EXPECT_EQ(SavePictureBmp(0, nullptr), 0) << "no file name";
  EXPECT_EQ(SavePictureBmp(0, Path("missing/p.bmp").c_str()), 0) << "no such folder";
  BeginDrawing(ImageTarget(0));
  EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0) << "bound for drawing";
  EndDrawing();
  EXPECT_TRUE(folder.Names().empty());
}

TEST_F(BmpWriter, AFailureAnywhereLeavesTheOldFileAsItWas) {
  struct Case {
    const char* refuse;
    int skip;
  };
  const Case cases[] = {
      {"HeapAlloc", 0},       {"CreateCompatibleDC", 0}, {"GetDIBits", 0},       {"WriteFile", 0},
      {"WriteFile", 1},       {"WriteFile", 2},          {"WriteFile short", 0}, {"WriteFile short", 1},
      {"WriteFile short", 2}, {"FlushFileBuffers", 0}, {"ReplaceFileA", 0},
  };
  const std::string old = "the picture saved before";
  WriteBytes(folder / "p.bmp", old);
  Draw(0, 64, 64, Varied);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refuse << " after " << c.skip);
    test::RefuseCall(c.refuse, c.skip, 1);
    EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0);
    test::ClearFaults();
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"}) << "no temporary file left";
    std::vector<unsigned char> bytes = ReadBytes(folder / "p.bmp");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), old);
  }
  EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1) << "and then it works";
}

TEST_F(BmpWriter, AFullDeviceLeavesTheOldFileAsItWas) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  // 64 KiB hold the old file but not the new picture of 192 KiB.
  if (mount("tunnel-test", folder.path().c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "this machine does not let tests mount a file system";
  struct Unmount {
    const TempFolder& folder;
    ~Unmount() { umount(folder.path().c_str()); }
  } unmount{folder};
  const std::string old(20'000, 'o');
  WriteBytes(folder / "p.bmp", old);
  Draw(0, 256, 256, Varied);
  for (bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "written in place" : "written beside it");
    if (inPlace) test::RefuseCall("CreateReplacementFileA");
    EXPECT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 0);
    EXPECT_STREQ(SaveFailure(), "the disk is full");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
    std::vector<unsigned char> bytes = ReadBytes(folder / "p.bmp");
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == old) << "the old file changed, now " << bytes.size()
                                                                << " bytes";
  }
}

struct stat Stat(const std::filesystem::path& file) {
  struct stat facts {};
  EXPECT_EQ(lstat(file.c_str(), &facts), 0) << file;
  return facts;
}

bool IsPicture(const std::filesystem::path& file, int width, int height) {
  DecodedPicture decoded(file);
  return decoded.width == width && decoded.height == height;
}

TEST_F(BmpWriter, ThroughASymbolicLinkTheFileItLeadsToIsReplaced) {
  std::filesystem::create_directory(folder / "pictures");
  WriteBytes(folder / "pictures" / "p.bmp", "old");
  std::filesystem::create_symlink("pictures/p.bmp", folder / "p.bmp");
  Draw(0, 8, 8, Varied);
  ASSERT_EQ(SavePictureBmp(0, Path("p.bmp").c_str()), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "p.bmp"));
  EXPECT_TRUE(IsPicture(folder / "pictures" / "p.bmp", 8, 8));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"p.bmp", "pictures"}));
  EXPECT_EQ(TempFolder::NamesIn(folder / "pictures"), std::vector<std::string>{"p.bmp"}) << "no temporary file left";
}

TEST_F(BmpWriter, TheNewFileKeepsThePermissionBitsAndOwnerOfTheOld) {
  const bool root = geteuid() == 0;
  struct Case {
    mode_t mode;
    bool asNobody;  // owned by user nobody, which only root can arrange
  };
  std::vector<Case> cases = {{0600, false}, {0640, false}, {0755, false}};
  // Root may write a file of any mode; CREATE_ALWAYS would, so the file is replaced.
  if (root) cases.insert(cases.end(), {{0444, false}, {0640, true}});
  Draw(0, 4, 4, Varied);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode << (c.asNobody ? " owned by nobody" : ""));
    const std::filesystem::path file = folder / "p.bmp";
    WriteBytes(file, "old");
    ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
    if (c.asNobody) {
      ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    struct stat old = Stat(file);
    ASSERT_EQ(SavePictureBmp(0, file.c_str()), 1);
    struct stat made = Stat(file);
    EXPECT_NE(made.st_ino, old.st_ino) << "replaced, not rewritten";
    EXPECT_EQ(made.st_mode & 07777, c.mode) << std::oct << (made.st_mode & 07777);
    EXPECT_EQ(made.st_uid, old.st_uid);
    EXPECT_EQ(made.st_gid, old.st_gid);
    EXPECT_TRUE(IsPicture(file, 4, 4));
    std::filesystem::remove(file);
  }
}

// Runs `save` in a child process as user nobody when the tests run as root (root may
// write anything, so the permissions would not bite), as the test's own user otherwise.
// Returns what `save` returned, or -1 when the child did not end normally.
int AsOrdinaryUser(const std::function<int()>& save) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(save());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// What the user may do decides, as with CREATE_ALWAYS: a file they may write is
// written, in place where the folder takes no new file; a file they may not write
// stays as it was even where the folder would take a new one.
TEST_F(BmpWriter, WhatTheUserMayNotWriteDecidesHowTheFileIsWritten) {
  struct Case {
    const char* what;
    mode_t folderMode;
    mode_t fileMode;
    bool fileTheirs;
    int result;
    bool rewritten;  // in place: the same file, now the picture
  };
  const Case cases[] = {
      {"a folder they may not write to, a file they may", 0755, 0644, true, 1, true},
      {"a file they may not write, in a folder they may", 0777, 0444, false, 0, false},
      {"neither", 0755, 0444, false, 0, false},
  };
  Draw(0, 4, 4, Varied);
  const std::filesystem::path file = folder / "p.bmp";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
    std::filesystem::remove(file);
    WriteBytes(file, "old");
    // Not theirs: root's. A user who is not root has only files of their own, and
    // CREATE_ALWAYS refuses them a read-only one all the same.
    if (geteuid() == 0) {
      ASSERT_EQ(chown(file.c_str(), c.fileTheirs ? 65534 : 0, 0), 0);
    }
    ASSERT_EQ(chmod(file.c_str(), c.fileMode), 0);
    ASSERT_EQ(chmod(folder.path().c_str(), c.folderMode), 0);
    struct stat old = Stat(file);
    EXPECT_EQ(AsOrdinaryUser([&] { return SavePictureBmp(0, file.c_str()); }), c.result);
    struct stat after = Stat(file);
    EXPECT_EQ(after.st_ino, old.st_ino) << "the file was renamed over";
    EXPECT_EQ(after.st_mode & 07777, c.fileMode);
    EXPECT_EQ(IsPicture(file, 4, 4), c.rewritten);
    if (!c.rewritten) {
      EXPECT_EQ(ReadBytes(file), (std::vector<unsigned char>{'o', 'l', 'd'}));
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"}) << "no temporary file left";
  }
  chmod(folder.path().c_str(), 0700);
}

// Written in place as CREATE_ALWAYS writes, a longer old file cut to the picture's
// size: a short write is still a failure.
TEST_F(BmpWriter, WithoutATemporaryFileThePictureIsWrittenInPlace) {
  const std::filesystem::path file = folder / "p.bmp";
  WriteBytes(file, std::string(1000, 'o'));
  const ino_t inode = Stat(file).st_ino;
  Draw(0, 4, 4, Varied);
  test::RefuseCall("CreateReplacementFileA");
  EXPECT_EQ(SavePictureBmp(0, file.c_str()), 1);
  EXPECT_EQ(Stat(file).st_ino, inode);
  EXPECT_TRUE(IsPicture(file, 4, 4));
  EXPECT_EQ(ReadBytes(file).size(), 54u + 4 * 12);
  for (const char* refused : {"WriteFile short", "FlushFileBuffers", "CreateFileInPlaceA"}) {
    SCOPED_TRACE(refused);
    test::RefuseCall(refused, 0, 1);
    EXPECT_EQ(SavePictureBmp(0, file.c_str()), 0);
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
}

TEST_F(BmpWriter, APipeIsWrittenIntoNotReplaced) {
  const std::filesystem::path pipe = folder / "p.bmp";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  // A reader first, so the writer's open does not wait; the 2 x 2 picture fits the pipe.
  int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Draw(0, 2, 2, Varied);
  EXPECT_EQ(SavePictureBmp(0, pipe.c_str()), 1);
  EXPECT_TRUE(S_ISFIFO(Stat(pipe).st_mode));
  unsigned char bytes[128];
  EXPECT_EQ(read(reader, bytes, sizeof bytes), 54 + 2 * 8);
  EXPECT_EQ(bytes[0], 'B');
  close(reader);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"p.bmp"});
}

// A program killed while it writes leaves a temporary file named after the picture,
// and the old picture as it was.
TEST_F(BmpWriter, AKilledSaveLeavesTheOldFileAndANamedTemporaryOne) {
  const std::filesystem::path file = folder / "Varnoxia_Texture.bmp";
  WriteBytes(file, "old");
  Draw(0, 64, 64, Varied);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Past 1000 bytes the write is met with SIGXFSZ, which ends the process.
    rlimit core = {0, 0}, size = {1000, 1000};
    setrlimit(RLIMIT_CORE, &core);
    setrlimit(RLIMIT_FSIZE, &size);
    std::signal(SIGXFSZ, SIG_DFL);
    SavePictureBmp(0, file.c_str());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "wait status " << status;
  std::vector<std::string> names = folder.Names();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\.Varnoxia_Texture\.bmp\.[A-Za-z0-9]{6})"))) << names[0];
  EXPECT_EQ(names[1], "Varnoxia_Texture.bmp");
  EXPECT_EQ(ReadBytes(file), (std::vector<unsigned char>{'o', 'l', 'd'}));
}

// A program ended by Ctrl+C, SIGTERM or SIGHUP while it writes leaves no temporary
// file, and the old picture as it was.
TEST_F(BmpWriter, AnEndSignalWhileWritingRemovesTheTemporaryFile) {
  const std::filesystem::path file = folder / "Varnoxia_Texture.bmp";
  WriteBytes(file, "old");
  Draw(0, 64, 64, Varied);
  for (int endSignal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(endSignal));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Past 1000 bytes the write meets SIGXFSZ, whose handler sends the end signal:
      // it comes while the temporary file is half written.
      static int sent;
      sent = endSignal;
      rlimit size = {1000, 1000};
      setrlimit(RLIMIT_FSIZE, &size);
      std::signal(SIGXFSZ, [](int) { std::raise(sent); });
      SavePictureBmp(0, file.c_str());
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == endSignal) << "wait status " << status;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"Varnoxia_Texture.bmp"});
    EXPECT_EQ(ReadBytes(file), (std::vector<unsigned char>{'o', 'l', 'd'}));
  }
}

// Nothing is said while saving: the reason waits for StopUnlessSaved. Only the
// picture's own making, or a context to draw on it, says so at once when memory is
// short; a picture its drawing never reached is not saved as though drawn.
TEST_F(BmpWriter, AFailureForWantOfMemoryIsGivenAsTheReason) {
  struct Case {
    const char* refuse;
    std::string when;  // making, drawing or saving the picture
    const char* says;  // on standard error at once
    const char* reason;
  };
  const Case cases[] = {
      {"BitmapPixels", "making", "not enough memory for picture 0 (4 x 4)\n", "there is no picture 0"},
      {"CreateCompatibleBitmap", "making", "", "there is no picture 0"},
      {"CreateCompatibleDC", "drawing", "not enough memory to draw on picture 0\n", "the picture could not be drawn on"},
      {"HeapAlloc", "saving", "", "not enough memory"},
      {"GetDIBits", "saving", "", "the picture cannot be read"},
  };
  const std::string name = Path("p.bmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refuse << " while " << c.when);
    FreePicture(0);
    ::testing::internal::CaptureStderr();
    if (c.when == "making") test::RefuseCall(c.refuse, 0, 1);
    CreatePicture(0, 4, 4);
    if (c.when == "drawing") test::RefuseCall(c.refuse, 0, 1);
    BeginDrawing(ImageTarget(0));
    PutPixel(1, 1, 0x00FFFFFF);
    EndDrawing();
    if (c.when == "saving") test::RefuseCall(c.refuse, 0, 1);
    EXPECT_EQ(SavePictureBmp(0, name.c_str()), 0);
    test::ClearFaults();
    std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, c.says[0] ? std::string(program_invocation_short_name) + ": " + c.says : "");
    EXPECT_STREQ(SaveFailure(), c.reason);
  }
  EXPECT_TRUE(folder.Names().empty());
}

// A picture that cannot be written stops the program with exit code 1 and one line
// that names the file and the cause; the platform's reason picks the words.
TEST_F(BmpWriter, APictureNotWrittenStopsTheProgramWithOneLineThatSaysWhy) {
  std::filesystem::create_directory(folder / "a folder");
  std::filesystem::create_symlink("/dev/full", folder / "full.bmp");
  std::filesystem::create_symlink("loop.bmp", folder / "loop.bmp");
  struct Case {
    std::string name;
    const char* says;
  };
  const Case cases[] = {
      {Path("a folder"), "that name is a folder"},
      {Path("full.bmp"), "the disk is full"},
      {Path("loop.bmp"), "its symbolic links lead round in a loop"},
      {Path("missing/p.bmp"), "its folder does not exist"},
      {Path(std::string(300, 'n')), "the name is too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Draw(0, 4, 4, Varied);
    ::testing::internal::CaptureStderr();
    unsigned code = RunToExit([&] { StopUnlessSaved(SavePictureBmp(0, c.name.c_str())); });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              std::string(program_invocation_short_name) + ": cannot write " + c.name + ": " + c.says + "\n");
    EXPECT_EQ(code, 1u);
    // Started again for the next case, and the end of the test, as a new process: the
    // old one's default brush and pen would have gone with it.
    DeleteObject(drawingState.defaultBrush);
    DeleteObject(drawingState.defaultPen);
    ProgramStart(g, kImageProgram);
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a folder", "full.bmp", "loop.bmp"}));
}

}  // namespace
