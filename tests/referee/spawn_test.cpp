// The clean start every child gets, whatever state the caller is in: the
// referee and the tests ignore SIGPIPE and may run with signals blocked in
// the spawning thread; an engine that inherited either would never see the
// SIGTERM that ends it in order, or would outlive a closed pipe.
#include "referee/spawn.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using Kelp::Referee::SpawnOptions;
using Kelp::Referee::spawnProcess;

std::string readAll(int fd) {
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, n);
  return out;
}

TEST(Spawn, ChildStartsWithNothingBlockedAndSigpipeDefaultInItsOwnGroup) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  ::sigaction(SIGPIPE, &ignore, &before);
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &block, &old);

  SpawnOptions options;
  options.ownProcessGroup = true;
  options.workDir = "/";
  std::string error;
  const auto child = spawnProcess(
      {"sh", "-c", "grep Sig /proc/self/status; echo pgrp $(cut -d' ' -f5 /proc/$$/stat) $$; pwd"},
      options, error);
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ::sigaction(SIGPIPE, &before, nullptr);
  ASSERT_TRUE(child) << error;
  ::close(child->in);
  const std::string out = readAll(child->out);
  int status = 0;
  ASSERT_EQ(::waitpid(child->pid, &status, 0), child->pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readAll(child->err);
  ::close(child->out);
  ::close(child->err);

  // The masks as /proc prints them: sixteen hex digits, SIGPIPE bit 12.
  unsigned long long blocked = ~0ULL, ignored = ~0ULL;
  std::sscanf(out.substr(out.find("SigIgn:")).c_str(), "SigIgn: %llx", &ignored);
  std::sscanf(out.substr(out.find("SigBlk:")).c_str(), "SigBlk: %llx", &blocked);
  EXPECT_EQ(blocked, 0u) << out;
  EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << out;
  // The shell is the spawned process: its group is its own pid.
  const std::string pid = std::to_string(child->pid);
  EXPECT_NE(out.find("pgrp " + pid + " " + pid + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n/\n"), std::string::npos) << "working directory not set:\n" << out;
}

TEST(Spawn, FailureLeavesNoChildAndSaysWhy) {
  std::string error;
  EXPECT_FALSE(spawnProcess({"/nonexistent/engine", "--flag"}, {}, error));
  EXPECT_EQ(error, "cannot start /nonexistent/engine: No such file or directory");
  SpawnOptions badDir;
  badDir.workDir = "/nonexistent-dir";
  EXPECT_FALSE(spawnProcess({"true"}, badDir, error) || spawnProcess({}, {}, error));
  // Nothing to reap: no child was left behind by any failure.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
