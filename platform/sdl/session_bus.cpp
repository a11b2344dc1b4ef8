#include "platform/sdl/session_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform::sdl {
namespace {

constexpr std::chrono::milliseconds kAnswerLimit{1500};

// Unset, libdbus would start a bus of its own (dbus-launch); a socket name that is no
// socket is refused at once, and SDL goes on without a bus.
constexpr char kRefusingAddress[] = "unix:path=/dev/null";

// The value of `key` in the first address of a D-Bus address list
// ("unix:path=/run/user/1000/bus,guid=...;tcp:..."), its %-escapes undone.
std::string AddressValue(const std::string& addresses, const std::string& transport, const std::string& key) {
  const std::string first = addresses.substr(0, addresses.find(';'));
  if (first.rfind(transport + ":", 0) != 0) return "";
  std::string pairs(1, ',');
  pairs.append(first, transport.size() + 1);
  const std::size_t at = pairs.find(',' + key + '=');
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 2;
  const std::string raw = pairs.substr(start, pairs.find(',', start) - start);
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    unsigned code = 0;
    if (raw[i] == '%' && i + 2 < raw.size() && std::sscanf(raw.c_str() + i + 1, "%2x", &code) == 1) {
      value += char(code);
      i += 2;
    } else {
      value += raw[i];
    }
  }
  return value;
}

// Whether the bus at a local socket answers the first words of a connection (the
// authentication that opens every D-Bus connection) within the limit. A bus that
// refuses the connection counts as answering: SDL learns that at once by itself.
bool Answers(const sockaddr_un& address, socklen_t length) {
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (socket < 0) return true;
  bool answered = true;
  if (connect(socket, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    // The credentials byte, then a request to authenticate as the user the kernel
    // vouches for on this socket, the user id's digits written in hexadecimal.
    std::string request(1, '\0');
    request.append("AUTH EXTERNAL ");
    for (char digit : std::to_string(getuid())) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02x", digit);
      request += pair;
    }
    request += "\r\n";
    if (send(socket, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
      // Any reply, or the bus closing the connection, is an answer.
      pollfd reply = {socket, POLLIN, 0};
      const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
      int ready;
      do {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ready = poll(&reply, 1, int(std::max<long>(left.count(), 0)));
      } while (ready < 0 && errno == EINTR);
      answered = ready != 0;
    }
  } else if (errno == EAGAIN) {
    answered = false;  // a listener whose queue of unaccepted connections is full
  }
  close(socket);
  return answered;
}

}  // namespace

void SkipSilentSessionBus() {
  const char* named = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  std::string addresses = named ? named : "";
  // Where none is named, libdbus takes the user's bus in the runtime folder, if any.
  if (addresses.empty() && runtimeDir && *runtimeDir) addresses = "unix:path=" + std::string(runtimeDir) + "/bus";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string name = AddressValue(addresses, "unix", "path");
  std::size_t offset = 0;
  if (name.empty()) {
    name = AddressValue(addresses, "unix", "abstract");
    offset = 1;  // an abstract name starts with a zero byte
  }
  // Other transports (TCP, launchd) are left to libdbus.
  if (name.empty() || offset + name.size() > sizeof address.sun_path) return;
  std::memcpy(address.sun_path + offset, name.data(), name.size());
  const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + name.size());
  if (!Answers(address, length)) setenv("DBUS_SESSION_BUS_ADDRESS", kRefusingAddress, 1);
}

}  // namespace platform::sdl
