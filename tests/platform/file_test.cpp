#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <string>

#include "platform/kernel32.h"
#include "platform/testing.h"
#include "tests/support/temp_folder.h"

using namespace platform;

namespace {

HANDLE OpenForWriting(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

std::string Text(const std::filesystem::path& file) {
  std::vector<unsigned char> bytes = ReadBytes(file);
  return {bytes.begin(), bytes.end()};
}

class Files : public ::testing::Test {
 protected:
  void TearDown() override { test::ClearFaults(); }
  TempFolder folder;
};

TEST_F(Files, DriveCIsTheWorkingFolderAndBackslashesSeparateFolders) {
  std::filesystem::create_directory(folder / "sub");
  const std::string absolute = (folder / "sub").string() + "\\absolute.bin";
  struct Case {
    std::string name;
    std::string landsAt;
  };
  const Case cases[] = {
      {"c:\\lower.bin", "lower.bin"},
      {"C:\\upper.bin", "upper.bin"},
      {"c:\\sub\\nested.bin", "sub/nested.bin"},
      {"sub\\relative.bin", "sub/relative.bin"},
      {"plain.bin", "plain.bin"},
      {absolute, "sub/absolute.bin"},
  };
  InFolder here(folder.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE file = OpenForWriting(c.name);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteAll(file, c.landsAt));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(Text(folder / c.landsAt), c.landsAt);
  }
}

TEST_F(Files, CreateAlwaysReplacesAnExistingFile) {
  WriteBytes(folder / "old.bin", "a much longer old content");
  HANDLE file = OpenForWriting((folder / "old.bin").string());
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteAll(file, "new"));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(Text(folder / "old.bin"), "new");
}

TEST_F(Files, RefusesWhatCannotBeOpenedAndHandlesThatAreNoFile) {
  std::filesystem::create_directory(folder / "a folder");
  const std::string inside = (folder / "x.bin").string();
  struct Case {
    const char* what;
    std::string name;
    DWORD access, disposition;
  };
  const Case cases[] = {
      {"missing folder", (folder / "missing" / "x.bin").string(), GENERIC_WRITE, CREATE_ALWAYS},
      {"a folder in the way", (folder / "a folder").string(), GENERIC_WRITE, CREATE_ALWAYS},
      {"empty name", "", GENERIC_WRITE, CREATE_ALWAYS},
      {"other access", inside, 0x80000000, CREATE_ALWAYS},
      {"other disposition", inside, GENERIC_WRITE, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CreateFileA(c.name.c_str(), c.access, FILE_SHARE_READ, nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL,
                          nullptr),
              INVALID_HANDLE_VALUE);
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "x.bin"));

  HANDLE file = OpenForWriting(inside);
  ASSERT_TRUE(CloseHandle(file));
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr)) << "a closed handle";
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_FALSE(FlushFileBuffers(file));
  EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &written, nullptr));
}

TEST_F(Files, AFullDeviceFailsTheWrite) {
  HANDLE file = OpenForWriting("/dev/full");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(file, "bytes", 5, &written, nullptr));
  EXPECT_EQ(written, 0u);
  CloseHandle(file);
}

TEST_F(Files, AWriteCutShortByTheFileSizeLimitFailsAndTellsWhatWasWritten) {
  const std::string name = (folder / "limited.bin").string();
  // The limit and the ignored signal stay in the child.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = {100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    HANDLE file = OpenForWriting(name);
    DWORD written = 0;
    BOOL ok = WriteFile(file, std::string(250, 'x').data(), 250, &written, nullptr);
    CloseHandle(file);
    _exit(ok ? 1 : written == 100 ? 0 : 2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: wrong count";
  EXPECT_EQ(std::filesystem::file_size(name), 100u);
}

TEST_F(Files, TestsCanRefuseAWriteOrCutItShort) {
  HANDLE file = OpenForWriting((folder / "x.bin").string());
  DWORD written = 0;
  test::RefuseCall("WriteFile", 0, 1);
  EXPECT_FALSE(WriteFile(file, "abcd", 4, &written, nullptr));
  test::RefuseCall("WriteFile short", 0, 1);
  EXPECT_TRUE(WriteFile(file, "abcd", 4, &written, nullptr));
  EXPECT_EQ(written, 2u);
  CloseHandle(file);
  EXPECT_EQ(Text(folder / "x.bin"), "ab");
}

// The temporary file is named after the file it is to replace, beside that file.
::testing::AssertionResult NamesReplacementOf(const std::string& temporary, const std::filesystem::path& target) {
  std::filesystem::path made = std::filesystem::absolute(temporary);
  std::string expected = ".";
  expected.append(target.filename().string()).append(".");
  std::string name = made.filename().string();
  bool named = name.size() == expected.size() + 6 && name.rfind(expected, 0) == 0 &&
               std::all_of(name.end() - 6, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
  if (!named || !std::filesystem::equivalent(made.parent_path(), target.parent_path()))
    return ::testing::AssertionFailure() << temporary << " is not a replacement of " << target;
  return ::testing::AssertionSuccess();
}

TEST_F(Files, AReplacementGoesBesideTheFileTheNameLeadsTo) {
  std::filesystem::create_directories(folder / "sub" / "deeper");
  WriteBytes(folder / "sub" / "t.bmp", "old");
  std::filesystem::create_symlink("sub/t.bmp", folder / "relative.bmp");
  std::filesystem::create_symlink(folder / "sub" / "t.bmp", folder / "sub" / "deeper" / "absolute.bmp");
  std::filesystem::create_symlink("deeper/absolute.bmp", folder / "sub" / "chain.bmp");
  std::filesystem::create_symlink("sub/new.bmp", folder / "dangling.bmp");
  struct Case {
    std::string name;
    std::filesystem::path target;
  };
  const Case cases[] = {
      {"c:\\plain.bmp", folder / "plain.bmp"},
      {"c:\\sub\\t.bmp", folder / "sub" / "t.bmp"},
      {"c:\\relative.bmp", folder / "sub" / "t.bmp"},
      {"c:\\sub\\deeper\\absolute.bmp", folder / "sub" / "t.bmp"},
      {"c:\\sub\\chain.bmp", folder / "sub" / "t.bmp"},
      {"c:\\dangling.bmp", folder / "sub" / "new.bmp"},
  };
  InFolder here(folder.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char temporary[MAX_PATH];
    HANDLE file = CreateReplacementFileA(c.name.c_str(), temporary);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(NamesReplacementOf(temporary, c.target));
    EXPECT_EQ(std::filesystem::file_size(temporary), 0u);
    EXPECT_TRUE(WriteAll(file, "new " + c.name));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(ReplaceFileA(c.name.c_str(), temporary, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_EQ(Text(c.target), "new " + c.name);
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dangling.bmp", "plain.bmp", "relative.bmp", "sub"}));
  for (const char* link : {"relative.bmp", "dangling.bmp", "sub/chain.bmp", "sub/deeper/absolute.bmp"})
    EXPECT_TRUE(std::filesystem::is_symlink(folder / link)) << link << " is still a link";
}

TEST_F(Files, AReplacementHasTheModeOfTheFileItReplaces) {
  const mode_t mask = umask(022);
  umask(mask);
  struct Case {
    const char* what;
    mode_t old;  // 0: no old file
    mode_t expected;
  };
  const Case cases[] = {
      {"no old file", 0, 0666 & ~mask},
      {"private", 0600, 0600},
      {"group readable", 0640, 0640},
      {"executable", 0755, 0755},
      {"set-group-id", 02775, 02775},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path target = folder / "p.bmp";
    std::filesystem::remove(target);
    if (c.old) {
      WriteBytes(target, "old");
      ASSERT_EQ(chmod(target.c_str(), c.old), 0);
    }
    char temporary[MAX_PATH];
    HANDLE file = CreateReplacementFileA(target.c_str(), temporary);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_TRUE(ReplaceFileA(target.c_str(), temporary, nullptr, 0, nullptr, nullptr));
    struct stat made {};
    ASSERT_EQ(stat(target.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, c.expected) << std::oct << (made.st_mode & 07777);
  }
}

TEST_F(Files, NoReplacementForWhatIsNoPlainFileOrCannotTakeOne) {
  std::filesystem::create_directory(folder / "a folder");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0644), 0);
  std::filesystem::create_symlink("loop.bmp", folder / "loop.bmp");
  std::filesystem::create_symlink("pipe", folder / "to pipe");
  struct Case {
    const char* what;
    std::string name;
  };
  const Case cases[] = {
      {"a pipe", (folder / "pipe").string()},
      {"a link to a pipe", (folder / "to pipe").string()},
      {"a folder", (folder / "a folder").string()},
      {"a loop of links", (folder / "loop.bmp").string()},
      {"a missing folder", (folder / "missing" / "p.bmp").string()},
      {"no name", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char temporary[MAX_PATH];
    EXPECT_EQ(CreateReplacementFileA(c.name.c_str(), temporary), INVALID_HANDLE_VALUE);
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a folder", "loop.bmp", "pipe", "to pipe"}));

  WriteBytes(folder / "from", "moved");
  const std::string from = (folder / "from").string(), to = (folder / "to").string();
  EXPECT_FALSE(ReplaceFileA(to.c_str(), from.c_str(), "backup", 0, nullptr, nullptr)) << "no backup form";
  EXPECT_FALSE(ReplaceFileA(to.c_str(), from.c_str(), nullptr, 1, nullptr, nullptr)) << "no flags";
  EXPECT_TRUE(DeleteFileA(from.c_str()));
  EXPECT_FALSE(DeleteFileA(from.c_str()));
  EXPECT_FALSE(ReplaceFileA(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr)) << "nothing to put there";
}

// The temporary name must fit the caller's MAX_PATH bytes with its closing zero: one
// of 259 characters does; one of 260 is refused, and nothing is written past them.
TEST_F(Files, AReplacementNameFitsMaxPathOrIsRefused) {
  for (std::size_t length : {MAX_PATH - 1, MAX_PATH}) {
    SCOPED_TRACE(length);
    // The temporary name is FOLDER/.BASE.XXXXXX: nine characters besides the two.
    const std::size_t baseLength = length - folder.path().string().size() - 9;
    ASSERT_LT(baseLength, 240u) << "a temporary folder too long for this test";
    const std::string name = (folder / std::string(baseLength, 'n')).string();
    struct {
      char name[MAX_PATH];
      char after;
    } temporary = {{}, 'G'};
    HANDLE file = CreateReplacementFileA(name.c_str(), temporary.name);
    EXPECT_EQ(temporary.after, 'G') << "written past the caller's buffer";
    EXPECT_EQ(file == INVALID_HANDLE_VALUE, length == MAX_PATH);
    EXPECT_EQ(folder.Names().size(), length == MAX_PATH ? 0u : 1u);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file) && DeleteFileA(temporary.name));
    }
  }
}

// A program started with standard streams closed: they are opened on /dev/null, and
// the next file gets a number of its own.
TEST(ProcessStart, ClosedStandardDescriptorsAreOpenedOnTheNullDevice) {
  struct stat null {};
  ASSERT_EQ(stat("/dev/null", &null), 0);
  const std::vector<std::vector<int>> closedSets = {{2}, {0, 1, 2}, {1}, {0, 2}, {}};
  for (const std::vector<int>& closed : closedSets) {
    SCOPED_TRACE(testing::Message() << closed.size() << " closed, the first " << (closed.empty() ? -1 : closed[0]));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Only the exit code reports: standard error may be gone.
      for (int descriptor : closed) close(descriptor);
      OpenMissingStandardDescriptors();
      int file = open("/dev/zero", O_RDONLY);
      if (file <= 2) _exit(10 + file);
      for (int descriptor : closed) {
        struct stat opened {};
        if (fstat(descriptor, &opened) != 0 || opened.st_rdev != null.st_rdev || !S_ISCHR(opened.st_mode))
          _exit(20 + descriptor);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1x: a new file took number x; 2x: descriptor x is not /dev/null";
  }
}

}  // namespace
