#include "tests/e2e/wayland_session.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace e2e {
namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = std::min(folders.find(':', start), folders.size());
    if (access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string IpcSocket(const Compositor& compositor) { return compositor.runtimeDir + "/sway-ipc"; }

// The compositor's Wayland socket, once it has made one.
std::string FindSocket(const std::string& folder) {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("wayland-", 0) == 0 && entry.is_socket()) return name;
  }
  return "";
}

// Reads the next whitespace-separated number of a pixmap header.
bool HeaderNumber(const std::vector<unsigned char>& bytes, std::size_t* at, int* value) {
  while (*at < bytes.size() && std::isspace(bytes[*at])) ++*at;
  std::size_t start = *at;
  long number = 0;
  while (*at < bytes.size() && std::isdigit(bytes[*at]) && number < 1'000'000) number = number * 10 + (bytes[(*at)++] - '0');
  *value = int(number);
  return *at > start && number < 1'000'000;
}

std::string Missing(std::initializer_list<const char*> programs) {
  std::string missing;
  for (const char* program : programs)
    if (!OnPath(program)) missing += (missing.empty() ? "" : ", ") + std::string(program);
  return missing;
}

}  // namespace

std::string MissingWaylandTools() { return Missing({"sway", "swaymsg", "grim"}); }

std::string MissingWestonTools() { return Missing({"weston", "Xvfb", "xwd"}); }

bool StartCompositor(Compositor* compositor, int width, int height, milliseconds limit, std::string* log,
                     int scale) {
  std::string folder = (fs::temp_directory_path() / "tunnel-wayland-XXXXXX").string();
  if (!mkdtemp(folder.data())) {
    *log = "no runtime folder";
    return false;
  }
  compositor->runtimeDir = folder;
  std::ofstream(folder + "/config") << "output HEADLESS-1 resolution " << width << "x" << height << " scale " << scale
                                    << "\n"
                                    << "xwayland disable\n";
  // sway's log goes to a file beside its socket, for a look when a test fails.
  std::vector<std::string> command = {"/bin/sh", "-c", "exec \"$@\" 2>\"$0\"", folder + "/sway.log"};
  if (geteuid() == 0) {
    // The runtime folder must belong to the compositor's user.
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
      *log = "no user nobody to run sway as";
      StopCompositor(compositor);
      return false;
    }
    command.insert(command.end(), {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                                   "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"});
  }
  command.insert(command.end(), {"sway", "-c", folder + "/config"});
  compositor->process = Spawn(command, {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + folder,
                                        "SWAYSOCK=" + IpcSocket(*compositor), "WLR_BACKENDS=headless",
                                        "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"});
  // Ready once grim shoots the output at its size.
  auto shootsTheOutput = [&] {
    if (compositor->socket.empty()) compositor->socket = FindSocket(folder);
    Screenshot shot;
    std::string error;
    return !compositor->socket.empty() && TakeScreenshot(*compositor, &shot, &error) && shot.width == width &&
           shot.height == height;
  };
  const bool ready = compositor->process.pid > 0 && Eventually(shootsTheOutput, limit);
  if (!ready) {
    std::ifstream in(folder + "/sway.log");
    log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    StopCompositor(compositor);
  }
  return ready;
}

bool StartWeston(Compositor* compositor, int width, int height, int scale, milliseconds limit, std::string* log) {
  std::string folder = (fs::temp_directory_path() / "tunnel-weston-XXXXXX").string();
  if (!mkdtemp(folder.data())) {
    *log = "no runtime folder";
    return false;
  }
  compositor->runtimeDir = folder;
  // StartXServer's Xvfb (-noreset), with a black root window: weston's window is seen
  // once its desktop is drawn.
  if (!StartXServer(&compositor->x, width, height, 24, limit, {"-br"})) {
    *log = "Xvfb did not start";
    StopCompositor(compositor);
    return false;
  }
  compositor->socket = "wayland-weston";
  compositor->process =
      Spawn({"weston", "--backend=x11-backend.so", "--use-pixman", "--width=" + std::to_string(width / scale),
             "--height=" + std::to_string(height / scale), "--scale=" + std::to_string(scale),
             "--socket=" + compositor->socket, "--log=" + folder + "/weston.log"},
            {"DISPLAY=" + compositor->x.display, "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR=" + folder});
  auto drawn = [&] {
    Screenshot shot;
    std::string error;
    return fs::exists(SocketPath(*compositor)) && TakeScreenshot(compositor->x.display, &shot, &error) &&
           shot.At(width / 2, height / 2) != 0;
  };
  const bool ready = compositor->process.pid > 0 && Eventually(drawn, limit);
  if (!ready) {
    std::ifstream in(folder + "/weston.log");
    log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    StopCompositor(compositor);
  }
  return ready;
}

void StopCompositor(Compositor* compositor) {
  if (compositor->process.pid > 0) {
    ::kill(compositor->process.pid, SIGTERM);
    AwaitExit(compositor->process, milliseconds(5000));
  }
  Stop(compositor->process);
  if (compositor->x.process.pid > 0) StopXServer(&compositor->x);
  if (!compositor->runtimeDir.empty()) {
    std::error_code ignored;
    fs::remove_all(compositor->runtimeDir, ignored);
  }
  compositor->runtimeDir.clear();
  compositor->socket.clear();
}

std::string SocketPath(const Compositor& compositor) { return compositor.runtimeDir + "/" + compositor.socket; }

std::vector<std::string> ClientEnvironment(const Compositor& compositor) {
  return {"XDG_RUNTIME_DIR=" + compositor.runtimeDir, "WAYLAND_DISPLAY=" + compositor.socket, "DISPLAY"};
}

bool SwayCommand(const Compositor& compositor, const std::string& command) {
  std::vector<unsigned char> reply;
  return RunForOutput({"swaymsg", "-s", IpcSocket(compositor), command}, &reply, milliseconds(10000));
}

bool HasKeyboardFocus(const Compositor& compositor, pid_t pid) {
  return SwayCommand(compositor, "[pid=" + std::to_string(pid) + " con_id=__focused__] nop");
}

bool ParsePpm(const std::vector<unsigned char>& bytes, Screenshot* shot, std::string* error) {
  std::size_t at = 2;
  int width = 0, height = 0, maximum = 0;
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6' || !HeaderNumber(bytes, &at, &width) ||
      !HeaderNumber(bytes, &at, &height) || !HeaderNumber(bytes, &at, &maximum) || at >= bytes.size() ||
      !std::isspace(bytes[at])) {
    *error = "not a binary portable pixmap";
    return false;
  }
  if (maximum != 255) {
    *error = "not 8 bits a channel";
    return false;
  }
  ++at;
  if (bytes.size() - at < std::size_t(width) * height * 3) {
    *error = "image data cut short";
    return false;
  }
  shot->width = width;
  shot->height = height;
  shot->pixels.resize(std::size_t(width) * height);
  for (std::uint32_t& pixel : shot->pixels) {
    pixel = std::uint32_t(bytes[at]) << 16 | std::uint32_t(bytes[at + 1]) << 8 | bytes[at + 2];
    at += 3;
  }
  return true;
}

bool TakeScreenshot(const Compositor& compositor, Screenshot* shot, std::string* error, bool withCursor) {
  std::vector<std::string> command = {"grim", "-t", "ppm", "-"};
  if (withCursor) command.insert(command.begin() + 1, "-c");
  std::vector<unsigned char> pixmap;
  if (!RunForOutput(command, &pixmap, milliseconds(10000), ClientEnvironment(compositor))) {
    *error = "grim failed";
    return false;
  }
  return ParsePpm(pixmap, shot, error);
}

}  // namespace e2e
