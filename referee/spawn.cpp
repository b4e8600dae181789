#include "referee/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace Kelp::Referee {
namespace {

void closeAll(int (&fds)[3][2]) {
  for (auto& pair : fds) {
    for (int& fd : pair) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }
}

}  // namespace

std::optional<Spawned> spawnProcess(const std::vector<std::string>& argv,
                                    const SpawnOptions& options, std::string& error) {
  if (argv.empty()) {
    error = "cannot start a program without a name";
    return std::nullopt;
  }
  // Standard input, output and error; the child's end of each is
  // fds[i][i > 0] (the read end of its input, the write end of its outputs).
  int fds[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
  if (options.pipes) {
    for (auto& pair : fds) {
      if (::pipe2(pair, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        closeAll(fds);
        return std::nullopt;
      }
    }
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (options.pipes) {
    for (int i = 0; i < 3; ++i) posix_spawn_file_actions_adddup2(&fa, fds[i][i > 0], i);
  } else {
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  }
  if (!options.workDir.empty()) {
    posix_spawn_file_actions_addchdir_np(&fa, options.workDir.c_str());
  }
  // Whatever the caller blocks or ignores (the referee and the tests ignore
  // SIGPIPE, so that a write to a dead child fails instead of killing them),
  // the child starts with nothing blocked and SIGPIPE at its default.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t set;
  sigemptyset(&set);
  posix_spawnattr_setsigmask(&attr, &set);
  sigaddset(&set, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &set);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.ownProcessGroup) {
    posix_spawnattr_setpgroup(&attr, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attr, flags);
  Spawned child;
  // A failed exec (or chdir) comes back as the error, with no child left.
  const int rc = ::posix_spawnp(&child.pid, args[0], &fa, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    closeAll(fds);
    return std::nullopt;
  }
  if (options.pipes) {
    for (int i = 0; i < 3; ++i) ::close(fds[i][i > 0]);
    child.in = fds[0][1];
    child.out = fds[1][0];
    child.err = fds[2][0];
  }
  return child;
}

}  // namespace Kelp::Referee
