// Files over POSIX descriptors. A file handle is the address of a record in a set of
// open files, so a handle that was never made or is already closed is refused instead
// of closing somebody else's descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/kernel32.h"
#include "platform/no_memory.h"
#include "platform/testing.h"
#include "platform/unfinished_file.h"

namespace platform {
namespace {

struct OpenFile {
  int descriptor;
};

std::unordered_set<HANDLE> openFiles;

// The last error a file call leaves for the system's reason `error` (an errno value).
DWORD ErrorFor(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EISDIR: return ERROR_DIRECTORY_NOT_SUPPORTED;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
  }
}

// A failed call: the reason in errno becomes the last error.
template <typename Result>
Result Failing(Result result) {
  SetLastError(ErrorFor(errno));
  return result;
}

OpenFile* AsFile(HANDLE handle) {
  return openFiles.count(handle) ? static_cast<OpenFile*>(handle) : nullptr;
}

// Takes over the descriptor; closes it when no handle can be made.
HANDLE AsHandle(int descriptor) {
  OpenFile* file = nullptr;
  try {
    file = new OpenFile{descriptor};
    openFiles.insert(file);
    return file;
  } catch (const std::bad_alloc&) {
    delete file;
    close(descriptor);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
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

// Where a name leads: symbolic links followed, a relative link read from the folder
// it is in; the name itself when nothing is there yet. False for a loop of links.
bool FinalPath(std::string path, std::string* final) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      *final = path;
      return true;
    }
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0) return false;
    if (length == sizeof target) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string next(target, static_cast<std::size_t>(length));
    std::size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    path = next;
  }
  errno = ELOOP;
  return false;
}

// Six letters or digits, different every time.
std::string UniqueSuffix() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static unsigned counter = static_cast<unsigned>(getpid());
  unsigned char random[6] = {};
  if (getentropy(random, sizeof random) != 0)
    for (unsigned char& byte : random) byte = static_cast<unsigned char>((++counter * 2654435761u) >> 24);
  std::string suffix;
  for (unsigned char byte : random) suffix += kLetters[byte % (sizeof kLetters - 1)];
  return suffix;
}

HANDLE CreateReplacement(LPCSTR fileName, char* temporaryName) {
  std::string target;
  if (!FinalPath(HostPath(fileName), &target)) return Failing(INVALID_HANDLE_VALUE);
  struct stat old {};
  bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing) {
    // A pipe or a device is not a file to put another in place of.
    if (!S_ISREG(old.st_mode)) {
      errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
      return Failing(INVALID_HANDLE_VALUE);
    }
    // What CREATE_ALWAYS refuses stays refused: a file this user may not write is not
    // renamed over. Opened without O_TRUNC, the file is not touched.
    int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return Failing(INVALID_HANDLE_VALUE);
    close(probe);
  } else if (errno != ENOENT) {
    return Failing(INVALID_HANDLE_VALUE);
  }
  std::size_t slash = target.rfind('/');
  std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  for (int tries = 0; tries < 100; ++tries) {
    std::string name = target.substr(0, baseStart) + "." + target.substr(baseStart) + "." + UniqueSuffix();
    if (name.size() >= MAX_PATH) {
      errno = ENAMETOOLONG;
      return Failing(INVALID_HANDLE_VALUE);
    }
    int descriptor = CreateUnfinishedFile(name.c_str());
    if (descriptor < 0 && errno == EEXIST) continue;
    if (descriptor < 0) return Failing(INVALID_HANDLE_VALUE);
    if (replacing) {
      // The owner first, as a change of owner clears the set-id bits. Only root may
      // give a file away; anyone else keeps the new file as their own.
      if (old.st_uid != geteuid() || old.st_gid != getegid()) (void)!fchown(descriptor, old.st_uid, old.st_gid);
      fchmod(descriptor, old.st_mode & 07777);
    }
    HANDLE file = AsHandle(descriptor);
    if (file == INVALID_HANDLE_VALUE) {
      unlink(name.c_str());
      ForgetUnfinishedFile(name.c_str());
    } else {
      std::memcpy(temporaryName, name.c_str(), name.size() + 1);
    }
    return file;
  }
  errno = EEXIST;
  return Failing(INVALID_HANDLE_VALUE);
}

// Reserves room for `size` bytes (posix_fallocate: blocks taken now, not at the
// writes), then cuts the file to that size. A failed reservation may have grown the
// file in part: it goes back to the size it had.
bool ReserveInPlace(int descriptor, off_t size) {
  struct stat old {};
  if (fstat(descriptor, &old) != 0) return false;
  if (!S_ISREG(old.st_mode)) return true;
  if (int error = size > 0 ? posix_fallocate(descriptor, 0, size) : 0) {
    (void)!ftruncate(descriptor, old.st_size);
    errno = error;
    return false;
  }
  return ftruncate(descriptor, size) == 0;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD,
                   HANDLE) {
  if (!fileName || !*fileName || access != GENERIC_WRITE || disposition != CREATE_ALWAYS ||
      test::Refused("CreateFileA"))
    return INVALID_HANDLE_VALUE;
  return FailingWithoutMemory(INVALID_HANDLE_VALUE, [&] {
    int descriptor = open(HostPath(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return descriptor < 0 ? Failing(INVALID_HANDLE_VALUE) : AsHandle(descriptor);
  });
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
    if (n <= 0) {
      SetLastError(n < 0 ? ErrorFor(errno) : ERROR_WRITE_FAULT);
      break;
    }
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  return done == bytesToWrite;
}

BOOL FlushFileBuffers(HANDLE handle) {
  OpenFile* file = AsFile(handle);
  // A device whose write error shows only when the bytes reach it (quota, delayed
  // allocation, a network file system).
  if (!file || test::Refused("FlushFileBuffers")) return FALSE;
  // A pipe or a device keeps nothing to flush (EINVAL): what was written has gone on.
  return fsync(file->descriptor) == 0 || errno == EINVAL || Failing(FALSE);
}

BOOL CloseHandle(HANDLE handle) {
  OpenFile* file = AsFile(handle);
  if (!file) return FALSE;
  openFiles.erase(handle);
  int result = close(file->descriptor);
  delete file;
  return result == 0 || Failing(FALSE);
}

BOOL DeleteFileA(LPCSTR fileName) {
  return fileName && FailingWithoutMemory(FALSE, [&] {
           std::string path = HostPath(fileName);
           if (unlink(path.c_str()) != 0) return Failing(FALSE);
           ForgetUnfinishedFile(path.c_str());
           return TRUE;
         });
}

HANDLE CreateReplacementFileA(LPCSTR fileName, char* temporaryName) {
  if (!fileName || !*fileName || !temporaryName || test::Refused("CreateReplacementFileA"))
    return INVALID_HANDLE_VALUE;
  return FailingWithoutMemory(INVALID_HANDLE_VALUE, [&] { return CreateReplacement(fileName, temporaryName); });
}

HANDLE CreateFileInPlaceA(LPCSTR fileName, DWORD size) {
  if (!fileName || !*fileName || test::Refused("CreateFileInPlaceA")) return INVALID_HANDLE_VALUE;
  return FailingWithoutMemory(INVALID_HANDLE_VALUE, [&] {
    int descriptor = open(HostPath(fileName).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) return Failing(INVALID_HANDLE_VALUE);
    if (!ReserveInPlace(descriptor, size)) {
      const int error = errno;
      close(descriptor);
      errno = error;
      return Failing(INVALID_HANDLE_VALUE);
    }
    return AsHandle(descriptor);
  });
}

BOOL ReplaceFileA(LPCSTR replacedFileName, LPCSTR replacementFileName, LPCSTR backupFileName, DWORD flags, LPVOID,
                  LPVOID) {
  if (!replacedFileName || !replacementFileName || backupFileName || flags != 0 || test::Refused("ReplaceFileA"))
    return FALSE;
  return FailingWithoutMemory(FALSE, [&] {
    std::string target, replacement = HostPath(replacementFileName);
    if (!FinalPath(HostPath(replacedFileName), &target) || std::rename(replacement.c_str(), target.c_str()) != 0)
      return Failing(FALSE);
    ForgetUnfinishedFile(replacement.c_str());
    return TRUE;
  });
}

}  // namespace platform
