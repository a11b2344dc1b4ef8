// The three picture programs as a user runs them: each its own process, in a folder
// of its own that stands for drive C:.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/bmp_file.h"
#include "tests/support/temp_folder.h"
#include "tunnel/tables.h"

namespace {

constexpr uid_t kNobody = 65534;

struct Run {
  int status = -1;
  std::string output;  // standard output and standard error together
};

struct RunOptions {
  bool unprivileged = false;          // as a user without root's right to write anywhere
  rlim_t fileSizeLimit = RLIM_INFINITY;
  rlim_t addressSpaceLimit = RLIM_INFINITY;  // bytes, as `ulimit -v` sets it
};

void Fail(const char* what) {
  std::string line = std::string("cannot ") + what + "\n";
  if (write(2, line.data(), line.size()) < 0) _exit(126);
  _exit(127);
}

Run RunProgram(const std::string& program, const std::filesystem::path& folder, RunOptions options = {}) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    if (chdir(folder.c_str()) != 0) Fail("enter the folder");
    if (options.fileSizeLimit != RLIM_INFINITY) {
      std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails instead
      rlimit limit = {options.fileSizeLimit, options.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) Fail("limit the file size");
    }
    rlimit space = {options.addressSpaceLimit, options.addressSpaceLimit};
    if (options.addressSpaceLimit != RLIM_INFINITY && setrlimit(RLIMIT_AS, &space) != 0)
      Fail("limit the address space");
    if (options.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      Fail("become an unprivileged user");
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    Fail("start the program");
  }
  close(out[1]);
  Run run;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) run.output.append(buffer, std::size_t(n));
  close(out[0]);
  waitpid(child, &run.status, 0);
  return run;
}

void ExpectSilentSuccess(const Run& run) {
  ASSERT_TRUE(WIFEXITED(run.status)) << run.output;
  EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.output;
  EXPECT_EQ(run.output, "");
}

// The one line of a picture not written, and exit code 1.
void ExpectStopped(const Run& run, const std::string& program, const std::string& file, const std::string& why) {
  ASSERT_TRUE(WIFEXITED(run.status)) << run.output;
  EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.output;
  EXPECT_EQ(run.output, program + ": cannot write c:\\" + file + ": " + why + "\n");
}

std::uint32_t Grey(std::int32_t v) { return std::uint32_t(ComposeRGB(v, v, v)); }

struct Program {
  const char* name;
  std::string path;
  const char* file;
  int width, height;
  std::function<std::uint32_t(int x, int y)> colour;  // the table rule, drawn
  bool grey;  // three equal bytes per pixel; otherwise blue only
  std::uint64_t pixelByteSum;
  std::vector<std::pair<std::size_t, int>> bytesAt;  // offset, the value of its pixel's bytes
};

const std::vector<Program>& Programs() {
  static const std::vector<Program> programs = {
      {"texture_dump", TEXTURE_DUMP_PATH, "Varnoxia_Texture.bmp", 256, 256,
       [](int x, int y) { return std::uint32_t(ComposeRGB(0, 0, TextureValue(x, y, 256))); }, false, 8'355'840,
       {{54, 0xFF}, {195'894, 0}}},
      {"distance_dump", DISTANCE_DUMP_PATH, "Varnoxia_Distance.bmp", 640, 480,
       [](int x, int y) { return Grey(DistanceValue(x - 320.0, y - 240.0, 32.0, 256)); }, true, 43'207'923,
       {{459'894, 0}, {54, 20}, {919'734, 20}}},
      {"angle_dump", ANGLE_DUMP_PATH, "Varnoxia_Angle.bmp", 640, 480,
       [](int x, int y) { return Grey(AngleValue(x - 320.0, y - 240.0, 0.5, 256)); }, true, 117'261'468,
       {{459'894, 0}, {54, 154}, {919'734, 101}}},
  };
  return programs;
}

TEST(PicturePrograms, EachWritesItsTableAsA24BitPictureAndSaysNothing) {
  for (const Program& p : Programs()) {
    SCOPED_TRACE(p.name);
    TempFolder drive;
    ExpectSilentSuccess(RunProgram(p.path, drive.path()));
    ASSERT_EQ(drive.Names(), std::vector<std::string>{p.file});
    BmpBytes file(drive / p.file);
    ASSERT_EQ(file.bytes.size(), 54u + 3u * p.width * p.height);
    EXPECT_EQ(file.U32(2), file.bytes.size());
    EXPECT_EQ(file.Width(), p.width);
    EXPECT_EQ(file.Height(), p.height);
    EXPECT_EQ(file.U16(28), 24u);
    for (auto [at, value] : p.bytesAt) {
      SCOPED_TRACE(at);
      EXPECT_EQ(file.bytes.at(at), value);
      EXPECT_EQ(file.bytes.at(at + 1), p.grey ? value : 0);
      EXPECT_EQ(file.bytes.at(at + 2), p.grey ? value : 0);
    }
    std::uint64_t sum = 0;
    for (std::size_t i = 54; i < file.bytes.size(); ++i) sum += file.bytes[i];
    EXPECT_EQ(sum, p.pixelByteSum);

    DecodedPicture decoded(drive / p.file);
    ASSERT_EQ(decoded.width, p.width);
    ASSERT_EQ(decoded.height, p.height);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        std::uint32_t expected = p.colour(x, y);
        ASSERT_EQ(file.Colour(x, y), expected) << "stored pixel " << x << ", " << y;
        ASSERT_EQ(decoded.At(x, y), expected) << "decoded pixel " << x << ", " << y;
      }
  }
}

TEST(PicturePrograms, RunningTwiceLeavesOneFileWithTheSameContent) {
  const Program& p = Programs()[0];
  TempFolder drive;
  ExpectSilentSuccess(RunProgram(p.path, drive.path()));
  std::vector<unsigned char> first = ReadBytes(drive / p.file);
  ExpectSilentSuccess(RunProgram(p.path, drive.path()));
  EXPECT_EQ(drive.Names(), std::vector<std::string>{p.file});
  EXPECT_EQ(ReadBytes(drive / p.file), first);
}

TEST(PicturePrograms, AFolderThatCannotBeWrittenGetsNoFileKeepsTheOldOneAndSaysSo) {
  // The programs must be reachable by the unprivileged user, wherever the build lies.
  TempFolder programs;
  std::filesystem::permissions(programs.path(), std::filesystem::perms(0755));
  for (bool oldFile : {false, true}) {
    for (const Program& p : Programs()) {
      SCOPED_TRACE(testing::Message() << p.name << (oldFile ? " over an old file" : ""));
      std::filesystem::path copy = programs / p.name;
      std::filesystem::copy_file(p.path, copy, std::filesystem::copy_options::overwrite_existing);
      TempFolder drive;
      if (oldFile) WriteBytes(drive / p.file, "an old picture");
      std::filesystem::permissions(drive.path(), std::filesystem::perms(0555));
      ExpectStopped(RunProgram(copy.string(), drive.path(), {.unprivileged = true}), p.name, p.file,
                    "permission denied");
      EXPECT_EQ(drive.Names(), oldFile ? std::vector<std::string>{p.file} : std::vector<std::string>{});
      if (oldFile) {
        std::vector<unsigned char> bytes = ReadBytes(drive / p.file);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "an old picture");
      }
    }
  }
}

TEST(PicturePrograms, AWriteCutShortPartWayKeepsTheOldFile) {
  for (const Program& p : Programs()) {
    SCOPED_TRACE(p.name);
    TempFolder drive;
    const std::string old(1000, 'o');
    WriteBytes(drive / p.file, old);
    // The device takes the headers and part of the pixels, then no more.
    ExpectStopped(RunProgram(p.path, drive.path(), {.fileSizeLimit = 100'000}), p.name, p.file,
                  "the file would be larger than allowed");
    EXPECT_EQ(drive.Names(), std::vector<std::string>{p.file}) << "no temporary file left";
    std::vector<unsigned char> bytes = ReadBytes(drive / p.file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), old);
  }
}

bool LoaderGaveUp(const Run& run) {
  return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 127 &&
         (run.output.find("error while loading shared libraries") != std::string::npos ||
          run.output.find("cannot allocate TLS") != std::string::npos ||
          run.output == "out of memory\n" ||
          run.output.find("Fatal glibc error") != std::string::npos);
}

// From the least address space the dynamic loader can start a program in up to where it
// runs, in steps finer than any allocation it makes: either it writes the right
// picture without a word and ends with exit code 0, or it writes nothing, says that
// memory was short and that the file was not written, and ends with exit code 1.
// Never an abort, never a signal.
TEST(PicturePrograms, UnderAnyAddressSpaceLimitThePictureOrOneLineAboutMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer maps terabytes of shadow memory: its programs cannot run under ulimit -v";
#endif
  constexpr rlim_t kKiB = 1024, kCoarse = 256 * kKiB, kFine = 24 * kKiB;
  for (const Program& p : Programs()) {
    SCOPED_TRACE(p.name);
    TempFolder reference;
    ExpectSilentSuccess(RunProgram(p.path, reference.path()));
    const std::vector<unsigned char> picture = ReadBytes(reference / p.file);
    rlim_t limit = 2048 * kKiB;
    while (LoaderGaveUp(RunProgram(p.path, reference.path(), {.addressSpaceLimit = limit}))) {
      limit += kCoarse;
      ASSERT_LT(limit, 256 * 1024 * kKiB) << "the loader never got through";
    }
    int memoryLines = 0, wholeRuns = 0;
    bool started = false;
    for (limit -= kCoarse; wholeRuns < 8; limit += kFine) {
      SCOPED_TRACE(testing::Message() << "limit " << limit / kKiB << " KiB");
      TempFolder drive;
      ::Run run = RunProgram(p.path, drive.path(), {.addressSpaceLimit = limit});
      if (!started && LoaderGaveUp(run)) continue;
      started = true;
      ASSERT_TRUE(WIFEXITED(run.status)) << "wait status " << run.status << ": " << run.output;
      ASSERT_EQ(WEXITSTATUS(run.status), run.output.empty() ? 0 : 1) << run.output;
      if (run.output.empty()) {
        ASSERT_EQ(drive.Names(), std::vector<std::string>{p.file});
        ASSERT_EQ(ReadBytes(drive / p.file), picture) << "a wrong picture, said to be right";
        ++wholeRuns;
        continue;
      }
      wholeRuns = 0;
      ++memoryLines;
      // A program that could not start says only that; a picture not made says so at
      // once; the file not written is said last.
      const std::size_t lines = std::count(run.output.begin(), run.output.end(), '\n');
      const std::size_t lastLine = run.output.rfind('\n', run.output.size() - 2) + 1;  // 0 for one line
      const std::string stopped = std::string(p.name) + ": cannot write c:\\" + p.file + ": ";
      EXPECT_TRUE(lines == 1 || lines == 2) << run.output;
      EXPECT_NE(run.output.find("memory"), std::string::npos) << run.output;
      EXPECT_TRUE(run.output == std::string(p.name) + ": not enough memory to start\n" ||
                  run.output.compare(lastLine, stopped.size(), stopped) == 0)
          << run.output;
      EXPECT_TRUE(drive.Names().empty()) << "a picture and a line that it failed";
    }
    EXPECT_GT(memoryLines, 0) << "the scan never met a limit that makes the program fail";
  }
}

}  // namespace
