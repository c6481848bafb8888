// StandInProcess: runs the stand-in online server (online_standin, see its
// source for the command line) for a test, on a port the system picks, and
// reads its event lines.
//
// WaitFor polls the server's output for a line that starts with a prefix,
// calling `pump` (the client's update) between bounded polls, for at most
// `timeoutMs`. Command writes a line to the server and waits for its
// "done" line. The destructor asks the server to quit, waits for it a
// bounded time and kills it if it has not ended; the process never
// outlives the test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

class StandInProcess {
 public:
  explicit StandInProcess(std::vector<std::string> arguments) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) return;
    if (::pipe2(fromChild, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    arguments.insert(arguments.begin(), {VU_ONLINE_STANDIN, "--port", "0"});
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, VU_ONLINE_STANDIN, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
    std::string ready;
    if (WaitFor("ready ", 10000, [] {}, &ready)) port_ = static_cast<uint16_t>(std::atoi(ready.c_str() + 6));
  }

  ~StandInProcess() {
    if (input_ >= 0) {
      Write("quit\n");
      ::close(input_);
    }
    if (pid_ > 0) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      int status = 0;
      while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          ::kill(pid_, SIGKILL);
          ::waitpid(pid_, &status, 0);
          break;
        }
        ::poll(nullptr, 0, 10);
      }
    }
    if (output_ >= 0) ::close(output_);
  }

  uint16_t Port() const { return port_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  size_t Count(const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& line : lines_) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  // True once a line (read after the `from`-th line) starts with `prefix`.
  bool WaitFor(const std::string& prefix, int timeoutMs, const std::function<void()>& pump,
               std::string* line = nullptr, size_t from = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (size_t i = from; i < lines_.size(); ++i) {
        if (lines_[i].rfind(prefix, 0) != 0) continue;
        if (line != nullptr) *line = lines_[i];
        return true;
      }
      if (std::chrono::steady_clock::now() > deadline || output_ < 0) return false;
      pump();
      ReadLines(5);
    }
  }

  bool Command(const std::string& command, const std::function<void()>& pump) {
    const size_t from = lines_.size();
    Write(command + "\n");
    return WaitFor("done " + command.substr(0, command.find(' ')), 10000, pump, nullptr, from);
  }

 private:
  void Write(const std::string& text) {
    if (::write(input_, text.data(), text.size()) < 0) return;
  }

  void ReadLines(int waitMs) {
    pollfd fd{output_, POLLIN, 0};
    if (::poll(&fd, 1, waitMs) <= 0) return;
    char chunk[4096];
    const ssize_t got = ::read(output_, chunk, sizeof chunk);
    if (got <= 0) {
      ::close(output_);
      output_ = -1;
      return;
    }
    pending_.append(chunk, static_cast<size_t>(got));
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      lines_.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  uint16_t port_ = 0;
  std::string pending_;
  std::vector<std::string> lines_;
};
