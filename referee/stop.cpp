#include "referee/stop.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace Kelp::Referee {
namespace {

// Only lock-free atomics are touched from the handler.
std::atomic<int> stopCount{0};
std::atomic<int> stopSig{0};
// Two engines per game, up to 64 games at once, with room to spare.
constexpr int MAX_GROUPS = 256;
std::atomic<pid_t> groups[MAX_GROUPS];

void onSignal(int sig) {
  int expected = 0;
  stopSig.compare_exchange_strong(expected, sig);
  if (stopCount.fetch_add(1) == 0) return;
  // The second signal: no more waiting for anyone.
  for (auto& g : groups) {
    const pid_t group = g.load();
    if (group > 0) ::kill(-group, SIGKILL);
  }
  ::_exit(128 + sig);
}

}  // namespace

void installStopHandlers() {
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocking call returns and the flag is read
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

bool stopRequested() {
  return stopCount.load() > 0;
}

int stopSignal() {
  return stopSig.load();
}

void requestStop(int signal) {
  int expected = 0;
  stopSig.compare_exchange_strong(expected, signal);
  stopCount.fetch_add(1);
}

void registerEngineGroup(pid_t group) {
  for (auto& g : groups) {
    pid_t empty = 0;
    if (g.compare_exchange_strong(empty, group)) return;
  }
}

void unregisterEngineGroup(pid_t group) {
  for (auto& g : groups) {
    pid_t mine = group;
    if (g.compare_exchange_strong(mine, 0)) return;
  }
}

}  // namespace Kelp::Referee
