#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/posix_call.h"

extern char** environ;

namespace platform {

namespace {

int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& arguments, bool captureOutput,
                                                  std::string& error, const std::vector<std::string>& environment) {
  if (arguments.empty()) {
    error = "no program given";
    return nullptr;
  }
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> mergedEnvironment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    bool overridden = false;
    for (const auto& added : environment) overridden = overridden || added.rfind(name + "=", 0) == 0;
    if (!overridden) mergedEnvironment.push_back(text);
  }
  mergedEnvironment.insert(mergedEnvironment.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (auto& entry : mergedEnvironment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (captureOutput) {
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
      error = std::strerror(errno);
      posix_spawn_file_actions_destroy(&actions);
      return nullptr;
    }
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  }
  // The child starts with no signal blocked, whatever this thread blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t empty;
  sigemptyset(&empty);
  posix_spawnattr_setsigmask(&attributes, &empty);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  pid_t pid = 0;
  const int result = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (captureOutput) ::close(pipeFds[1]);
  if (result != 0) {
    error = std::string("cannot start ") + arguments[0] + ": " + std::strerror(result);
    if (captureOutput) ::close(pipeFds[0]);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, -1, captureOutput ? pipeFds[0] : -1));
}

ChildProcess::~ChildProcess() {
  if (!reaped_) {
    kill();
    wait(-1);
  }
  if (output_ >= 0) ::close(static_cast<int>(output_));
}

std::optional<std::string> ChildProcess::readLine(int timeoutMilliseconds) {
  const std::uint32_t start = tickCount();
  for (;;) {
    if (std::optional<std::string> line = takeLine(buffered_)) return line;
    const int outputFd = static_cast<int>(output_);
    if (outputFd < 0) return std::nullopt;
    const int waited = static_cast<int>(tickCount() - start);
    const int left = timeoutMilliseconds < 0 ? -1 : std::max(0, timeoutMilliseconds - waited);
    pollfd entry{outputFd, POLLIN, 0};
    const int ready = posix::retryOnInterrupt([&] { return ::poll(&entry, 1, left); });
    if (ready <= 0) return std::nullopt;
    char chunk[4096];
    const ssize_t got = posix::retryOnInterrupt([&] { return ::read(outputFd, chunk, sizeof chunk); });
    if (got <= 0) {
      if (buffered_.empty()) return std::nullopt;
      std::string rest;
      rest.swap(buffered_);
      return rest;
    }
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

void ChildProcess::terminate() {
  if (!reaped_) ::kill(pid_, SIGTERM);
}

void ChildProcess::interrupt() {
  if (!reaped_) ::kill(pid_, SIGINT);
}

void ChildProcess::sendUser1Signal() {
  if (!reaped_) ::kill(pid_, SIGUSR1);
}

void ChildProcess::kill() {
  if (!reaped_) ::kill(pid_, SIGKILL);
}

std::optional<int> ChildProcess::wait(int timeoutMilliseconds) {
  if (reaped_) return exitStatusOf(status_);
  const std::uint32_t start = tickCount();
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, timeoutMilliseconds < 0 ? 0 : WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      status_ = status;
      return exitStatusOf(status);
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (timeoutMilliseconds >= 0 && static_cast<int>(tickCount() - start) >= timeoutMilliseconds) return std::nullopt;
    if (timeoutMilliseconds >= 0) sleepMilliseconds(5);
  }
}

}  // namespace platform
