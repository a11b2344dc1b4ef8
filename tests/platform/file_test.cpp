#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST_F(Files, MoveReplacesTheNewNameAndDeleteRemoves) {
  WriteBytes(folder / "from", "moved");
  WriteBytes(folder / "to", "replaced");
  const std::string from = (folder / "from").string(), to = (folder / "to").string();
  EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0)) << "only the replacing form is provided";
  EXPECT_TRUE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"to"});
  EXPECT_EQ(Text(folder / "to"), "moved");
  EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) << "nothing left to move";
  EXPECT_TRUE(DeleteFileA(to.c_str()));
  EXPECT_FALSE(DeleteFileA(to.c_str()));
  EXPECT_TRUE(folder.Names().empty());
}

TEST_F(Files, TempFileNamesAreNewEmptyFilesInTheGivenFolder) {
  InFolder here(folder.path());
  char first[MAX_PATH], second[MAX_PATH];
  UINT a = GetTempFileNameA("c:\\", "bmpxyz", 0, first);
  UINT b = GetTempFileNameA("c:\\", "bmp", 0, second);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(std::string(first), std::string(second));
  for (const char* name : {first, second}) {
    std::string host = std::string(name).substr(3);
    EXPECT_EQ(std::string(name).substr(0, 6), "c:\\bmp") << "at most three letters of the prefix";
    EXPECT_EQ(host.size(), std::string("bmp0000.TMP").size()) << name;
    ASSERT_TRUE(std::filesystem::exists(folder / host)) << name;
    EXPECT_EQ(std::filesystem::file_size(folder / host), 0u);
  }

  char out[MAX_PATH];
  const std::string tooLong(MAX_PATH, 'd');
  EXPECT_EQ(GetTempFileNameA("c:\\missing", "bmp", 0, out), 0u);
  EXPECT_EQ(GetTempFileNameA(tooLong.c_str(), "bmp", 0, out), 0u);
  EXPECT_EQ(GetTempFileNameA("c:\\", "bmp", 7, out), 0u) << "only the creating form is provided";
  EXPECT_EQ(folder.Names().size(), 2u);
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
