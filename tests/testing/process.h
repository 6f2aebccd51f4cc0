#pragma once
// Programs run as a script runs them: a shell command run to its end, with what it
// printed and its exit status; or a program in the background, its output read as
// it comes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

namespace tarnwick::testing {

struct CliRun {
  std::string out;
  int status = -1;
};

// What a shell command printed to standard output, and its exit status.
inline CliRun RunShell(const std::string& command) {
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.out += buffer.data();
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A program started in the background through the shell, its standard output read
// as it comes, so that a test acts once the program has shown where it is. The
// command should exec the program, so that signals reach it.
class Process {
 public:
  explicit Process(const std::string& command) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) < 0) return;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    if (::posix_spawn(&pid_, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    out_ = pipe[0];
  }
  ~Process() {
    Kill();
    if (out_ >= 0) ::close(out_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t Pid() const { return pid_; }
  const std::string& Output() const { return output_; }
  // Reads output until ready() holds; false when the program ended or a minute passed first.
  bool ReadUntil(const std::function<bool(const std::string& output)>& ready) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!ready(output_)) {
      if (std::chrono::steady_clock::now() > giveUp || !ReadSome(10)) return false;
    }
    return true;
  }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // SIGKILL ends the program as a crash would.
  void Kill(int signal = SIGKILL) {
    if (pid_ > 0) ::kill(pid_, signal), ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // The rest of the output, and the exit status once the program ended.
  CliRun Finish() {
    while (ReadSome(-1)) {
    }
    int status = 0;
    ::waitpid(std::exchange(pid_, -1), &status, 0);
    return {output_, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }

 private:
  // False at the end of the output.
  bool ReadSome(int waitMs) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return p.revents == 0;
    std::array<char, 512> buffer{};
    const ssize_t got = ::read(out_, buffer.data(), buffer.size());
    if (got > 0) output_.append(buffer.data(), static_cast<std::size_t>(got));
    return got > 0;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

}  // namespace tarnwick::testing
