#include "platform/testing.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform::test {
namespace {

struct Fault {
  std::string call;
  int skip;
  int times;  // -1: for ever
};

std::vector<Fault> faults;
std::vector<std::string> callLog;
bool recording = false;
int echo = -1;
bool exitTrapped = false;
void (*dispatchWatch)(UINT, LPARAM) = nullptr;

}  // namespace

bool Refused(std::string_view call) {
  for (Fault& fault : faults) {
    if (fault.call != call || fault.times == 0) continue;
    if (fault.skip > 0) {
      --fault.skip;
      return false;
    }
    if (fault.times > 0) --fault.times;
    return true;
  }
  return false;
}

void Record(std::string_view entry) {
  if (!recording) return;
  callLog.emplace_back(entry);
  if (echo < 0) return;
  const std::string line = callLog.back() + "\n";
  for (std::size_t done = 0; done < line.size();) {
    const ssize_t n = write(echo, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += std::size_t(n);
  }
}

bool Recording() { return recording; }

void Dispatched(UINT message, LPARAM lParam) {
  if (dispatchWatch) dispatchWatch(message, lParam);
}

void RefuseCall(std::string call, int skip, int times) {
  faults.push_back({std::move(call), skip, times});
}

void ClearFaults() { faults.clear(); }

void StartCallLog() {
  callLog.clear();
  recording = true;
}

std::vector<std::string> TakeCallLog() {
  recording = false;
  return std::exchange(callLog, {});
}

void EchoCallLog(int descriptor) { echo = descriptor; }
void WatchDispatch(void (*watch)(UINT message, LPARAM lParam)) { dispatchWatch = watch; }

void TrapExit(bool trapped) { exitTrapped = trapped; }
bool ExitTrapped() { return exitTrapped; }

}  // namespace platform::test
