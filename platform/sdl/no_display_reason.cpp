#include "platform/sdl/no_display_reason.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace platform::sdl {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The first line that says something, without its line break.
std::string FirstLine(const std::string& text) {
  std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  std::size_t end = text.find_first_of("\r\n", start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Connects as SDL did, to learn what failed. Given somewhere to put the screen number,
// libxcb also checks that the server has that screen.
std::string X11Reason(const std::string& display) {
  HeldStderr held = HoldStderr();
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  const std::string refusal = FirstLine(ReleaseStderr(held));
  const std::string where = "DISPLAY=" + display;
  switch (error) {
    case 0: return "the X server at " + where + " answers, but offers no screen to use";
    case XCB_CONN_CLOSED_PARSE_ERR: return where + " is not a display name";
    case XCB_CONN_CLOSED_INVALID_SCREEN: return where + " names a screen the X server does not have";
    case XCB_CONN_ERROR:
      // The X server's own words, such as "Authorization required, but no
      // authorization protocol specified", as libxcb wrote them.
      if (!refusal.empty()) return "the X server at " + where + " refused the connection: " + refusal;
      return where + " but no X server answers there";
    default: return "the connection to the X server at " + where + " failed";
  }
}

std::string WaylandReason(const std::string& name) {
  const std::string where = "WAYLAND_DISPLAY=" + name;
  std::string path = name;
  if (name[0] != '/') {
    const std::string runtimeDir = Environment("XDG_RUNTIME_DIR");
    if (runtimeDir.empty()) return where + " but XDG_RUNTIME_DIR is not set";
    path = runtimeDir + "/" + name;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return where + " but " + path + " is too long a socket name";
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int connected = connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = errno;
  close(socket);
  if (connected == 0) return "the Wayland compositor at " + where + " answers, but offers no screen to use";
  switch (error) {
    case ENOENT: return where + " but no compositor answers there: there is no " + path;
    case ECONNREFUSED: return where + " but no compositor answers there: " + path + " refuses connections";
    case EACCES: return where + " but this user may not reach " + path;
    default: return where + " but " + path + " cannot be reached: " + std::strerror(error);
  }
}

// Connecting to a display and starting its libraries takes a few file descriptors;
// with fewer than this many left, the program ran out of them, whatever a display
// would have answered.
constexpr int kDescriptorsToStart = 16;

// The limit on open descriptors when fewer than kDescriptorsToStart are left, else 0.
rlim_t DescriptorLimitReached() {
  int opened[kDescriptorsToStart];
  int count = 0;
  while (count < kDescriptorsToStart && (opened[count] = open("/", O_PATH | O_CLOEXEC)) >= 0) ++count;
  const bool exhausted = count < kDescriptorsToStart && (errno == EMFILE || errno == ENFILE);
  while (count > 0) close(opened[--count]);
  rlimit limit{};
  if (!exhausted || getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  return limit.rlim_cur;
}

bool InGroup(gid_t group) {
  if (getegid() == group) return true;
  std::vector<gid_t> groups(std::size_t(std::max(getgroups(0, nullptr), 0)));
  groups.resize(std::size_t(std::max(getgroups(int(groups.size()), groups.data()), 0)));
  return std::find(groups.begin(), groups.end(), group) != groups.end();
}

constexpr char kNoKmsDevice[] = "there is no KMS device";

std::string KmsReason() {
  std::vector<std::string> cards;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ignored))
    if (entry.path().filename().string().rfind("card", 0) == 0) cards.push_back(entry.path().string());
  if (cards.empty()) return kNoKmsDevice;
  std::sort(cards.begin(), cards.end());
  for (const std::string& card : cards)
    if (access(card.c_str(), R_OK | W_OK) == 0) return card + " offers no screen to show on: a desktop may hold it";
  struct stat device;
  if (stat(cards[0].c_str(), &device) != 0 || InGroup(device.st_gid)) return "no access to " + cards[0];
  const group* owner = getgrgid(device.st_gid);
  return "no access to " + cards[0] + ": not in the group " +
         (owner ? std::string(owner->gr_name) : std::to_string(device.st_gid));
}

}  // namespace

HeldStderr HoldStderr() {
  HeldStderr held = {fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3), memfd_create("held standard error", MFD_CLOEXEC)};
  if (held.file >= 0 && held.file != STDERR_FILENO) dup2(held.file, STDERR_FILENO);
  return held;
}

std::string ReleaseStderr(HeldStderr held) {
  std::string text;
  if (held.file >= 0 && lseek(held.file, 0, SEEK_SET) == 0) {
    char buffer[512];
    for (ssize_t n; (n = read(held.file, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
      if (n > 0) text.append(buffer, std::size_t(n));
  }
  if (held.saved >= 0) {
    dup2(held.saved, STDERR_FILENO);
    close(held.saved);
  } else {
    close(STDERR_FILENO);  // it was closed before
  }
  if (held.file >= 0 && held.file != STDERR_FILENO) close(held.file);
  return text;
}

std::string WhyNoDisplay() {
  if (const rlim_t limit = DescriptorLimitReached())
    return "the program ran out of file descriptors: ulimit -n lets it have " + std::to_string(limit) +
           " open at once";
  const std::string x11 = Environment("DISPLAY"), wayland = Environment("WAYLAND_DISPLAY");
  std::string reason;
  if (!x11.empty()) reason = X11Reason(x11);
  if (!wayland.empty()) reason += (reason.empty() ? "" : "; ") + WaylandReason(wayland);
  if (!reason.empty()) return reason;
  const std::string console = KmsReason();
  if (console == kNoKmsDevice)
    return "no desktop session or console: DISPLAY and WAYLAND_DISPLAY are not set and there is no KMS device";
  return "no desktop session, and " + console;
}

}  // namespace platform::sdl
