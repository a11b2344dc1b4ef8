#include "platform/sdl/end_signals.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <csignal>
#include <cstdlib>

namespace platform::sdl {
namespace {

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The backstop fires this long after the first signal; the backend's own path,
// taken at its next call, normally ends the program well before.
constexpr long kBackstopNanoseconds = 300'000'000;

volatile std::sig_atomic_t pendingSignal = 0;
bool installed = false;
timer_t backstop;

void OnEndSignal(int signal) {
  if (pendingSignal) EndBySignal(signal);  // asked twice: no more waiting
  pendingSignal = signal;
  const itimerspec once = {{0, 0}, {0, kBackstopNanoseconds}};
  timer_settime(backstop, 0, &once, nullptr);
}

void OnBackstop(int) { EndBySignal(pendingSignal); }

}  // namespace

void CatchEndSignals() {
  if (installed) return;
  installed = true;
  sigevent onExpiry{};
  onExpiry.sigev_notify = SIGEV_SIGNAL;
  onExpiry.sigev_signo = SIGALRM;
  timer_create(CLOCK_MONOTONIC, &onExpiry, &backstop);

  struct sigaction action{};
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnBackstop;
  sigaction(SIGALRM, &action, nullptr);
  action.sa_handler = OnEndSignal;
  for (int signal : kEndSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kEndSignals) sigaction(signal, &action, nullptr);
}

int PendingEndSignal() { return pendingSignal; }

void EndBySignal(int signal) {
  // signal() and raise() are safe inside a handler; both paths come through here.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  // Reached only while the signal is blocked (inside another handler): unblocking
  // delivers it.
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::_Exit(128 + signal);
}

}  // namespace platform::sdl
