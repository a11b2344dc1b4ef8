// Files over POSIX descriptors. A file handle is the address of a record in a set of
// open files, so a handle that was never made or is already closed is refused instead
// of closing somebody else's descriptor.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/kernel32.h"
#include "platform/testing.h"

namespace platform {
namespace {

struct OpenFile {
  int descriptor;
};

std::unordered_set<HANDLE> openFiles;

OpenFile* AsFile(HANDLE handle) {
  return openFiles.count(handle) ? static_cast<OpenFile*>(handle) : nullptr;
}

// "c:\NAME" is NAME in the current working directory; '\' is a folder separator.
std::string HostPath(LPCSTR name) {
  std::string path = name;
  if (path.size() >= 3 && (path[0] == 'c' || path[0] == 'C') && path[1] == ':' &&
      (path[2] == '\\' || path[2] == '/'))
    path.erase(0, 3);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD,
                   HANDLE) {
  if (!fileName || !*fileName || access != GENERIC_WRITE || disposition != CREATE_ALWAYS ||
      test::Refused("CreateFileA"))
    return INVALID_HANDLE_VALUE;
  int descriptor = open(HostPath(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) return INVALID_HANDLE_VALUE;
  auto* file = new OpenFile{descriptor};
  openFiles.insert(file);
  return file;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED*) {
  if (bytesWritten) *bytesWritten = 0;
  OpenFile* file = AsFile(handle);
  if (!file || (!buffer && bytesToWrite) || test::Refused("WriteFile")) return FALSE;
  // A device that takes only part of the bytes yet reports success.
  if (test::Refused("WriteFile short")) bytesToWrite /= 2;
  const char* bytes = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < bytesToWrite) {
    ssize_t n = write(file->descriptor, bytes + done, bytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  return done == bytesToWrite;
}

BOOL FlushFileBuffers(HANDLE handle) {
  OpenFile* file = AsFile(handle);
  return file && fsync(file->descriptor) == 0;
}

BOOL CloseHandle(HANDLE handle) {
  OpenFile* file = AsFile(handle);
  if (!file) return FALSE;
  openFiles.erase(handle);
  int result = close(file->descriptor);
  delete file;
  return result == 0;
}

BOOL DeleteFileA(LPCSTR fileName) { return fileName && unlink(HostPath(fileName).c_str()) == 0; }

BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
  if (!existingName || !newName || flags != MOVEFILE_REPLACE_EXISTING || test::Refused("MoveFileExA"))
    return FALSE;
  return std::rename(HostPath(existingName).c_str(), HostPath(newName).c_str()) == 0;
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefix, UINT unique, char* tempFileName) {
  if (!pathName || !tempFileName || unique != 0 || test::Refused("GetTempFileNameA")) return 0;
  std::string folder = pathName;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  folder += std::string(prefix ? prefix : "").substr(0, 3);
  static UINT next = static_cast<UINT>(getpid());
  for (UINT tries = 0; tries < 0xFFFF; ++tries) {
    UINT number = next++ % 0xFFFF + 1;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%04X.TMP", number);
    std::string name = folder + suffix;
    if (name.size() >= MAX_PATH) return 0;
    int descriptor = open(HostPath(name.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST) continue;
      return 0;
    }
    close(descriptor);
    std::memcpy(tempFileName, name.c_str(), name.size() + 1);
    return number;
  }
  return 0;
}

}  // namespace platform
