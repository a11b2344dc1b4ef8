#include "platform/unfinished_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>

namespace platform {
namespace {

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Read inside the signal handler: fixed storage, no allocation.
char unfinishedName[PATH_MAX];
volatile std::sig_atomic_t unfinished = 0;
struct sigaction previous[std::size(kEndSignals)];
bool caught[std::size(kEndSignals)];

void OnEndSignal(int signal) {
  if (unfinished) unlink(unfinishedName);
  unfinished = 0;
  // The program then ends as it would have without this handler: the signal, blocked
  // while the handler runs, comes again on return under the action from before.
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i)
    if (kEndSignals[i] == signal) sigaction(signal, &previous[i], nullptr);
  std::raise(signal);
}

// The end signals held back, so the handler never sees a name half recorded.
sigset_t HoldEndSignals() {
  sigset_t held, old;
  sigemptyset(&held);
  for (int signal : kEndSignals) sigaddset(&held, signal);
  pthread_sigmask(SIG_BLOCK, &held, &old);
  return old;
}

}  // namespace

int CreateUnfinishedFile(const char* name) {
  if (std::strlen(name) >= sizeof unfinishedName) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const sigset_t old = HoldEndSignals();
  int descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  const int error = errno;
  if (descriptor >= 0) {
    std::strcpy(unfinishedName, name);
    unfinished = 1;
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
      if (caught[i]) continue;
      sigaction(kEndSignals[i], nullptr, &previous[i]);
      // A signal the program ignores (SIGHUP under nohup) stays ignored.
      caught[i] = previous[i].sa_handler != SIG_IGN;
      if (caught[i]) sigaction(kEndSignals[i], &action, nullptr);
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return descriptor;
}

void ForgetUnfinishedFile(const char* name) {
  if (!unfinished || std::strcmp(name, unfinishedName) != 0) return;
  const sigset_t old = HoldEndSignals();
  unfinished = 0;
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    if (caught[i]) sigaction(kEndSignals[i], &previous[i], nullptr);
    caught[i] = false;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace platform
