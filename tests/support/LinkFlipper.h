// LinkFlipper: a thread that keeps swapping one entry of a folder between a
// plain file, a link to a file inside the folder and a link to a file
// outside it, each put in place by rename() so the entry is never missing;
// and OpenWatch, which tells whether any process opened a file.
//
// It cycles through the three states until Stop (or destruction). A plain
// state is a hard link to `plainSource`, which must lie on the same file
// system. Flips() counts the renames done.
//
// OpenWatch watches one file with inotify (IN_OPEN): Opened() is true once
// any process has opened it since the watch began. A file that is only
// looked at (stat, realpath) is not opened.
//
// Test-only; each object belongs to the test's thread.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace VUTest {

class LinkFlipper {
 public:
  // `entry`: the path that flips. `insideTarget`: the link text of the
  // inside state (relative to the entry's folder). `outsidePath`: the
  // absolute path of the outside file. `plainSource`: hard-linked for the
  // plain state ("" leaves that state out). `spare`: an empty folder
  // outside the asset folder, on its file system, where each new entry is
  // made before it is renamed into place (so nothing else ever shows in
  // the asset folder).
  // `pauseMicros`: the pause after each flip (0: none, for a folder in
  // memory; a disk's folder lock would be held by the flips alone).
  LinkFlipper(std::string entry, std::string insideTarget, std::string outsidePath,
              std::string plainSource, std::string spare, int pauseMicros = 50)
      : entry_(std::move(entry)),
        inside_(std::move(insideTarget)),
        outside_(std::move(outsidePath)),
        plain_(std::move(plainSource)),
        spare_(std::move(spare)),
        pauseMicros_(pauseMicros) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~LinkFlipper() { Stop(); }
  LinkFlipper(const LinkFlipper&) = delete;
  LinkFlipper& operator=(const LinkFlipper&) = delete;

  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  uint64_t Flips() const { return flips_.load(); }

 private:
  void Loop() {
    const std::string next = spare_ + "/next";
    for (unsigned state = 0; !stop_.load(); state = (state + 1) % 3) {
      ::unlink(next.c_str());
      bool made = false;
      if (state == 0) made = ::symlink(inside_.c_str(), next.c_str()) == 0;
      if (state == 1) made = ::symlink(outside_.c_str(), next.c_str()) == 0;
      if (state == 2) made = !plain_.empty() && ::link(plain_.c_str(), next.c_str()) == 0;
      if (made && std::rename(next.c_str(), entry_.c_str()) == 0) flips_.fetch_add(1);
      // Paced (some thousands of flips a second, as a busy writer would
      // manage), so that the folder's lock is not held by the flips alone.
      if (pauseMicros_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros_));
    }
  }

  std::string entry_;
  std::string inside_;
  std::string outside_;
  std::string plain_;
  std::string spare_;
  int pauseMicros_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> flips_{0};
  std::thread thread_;
};

class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path)
      : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
        watch_(fd_ >= 0 ? ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) : -1) {}
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  bool Watching() const { return watch_ >= 0; }
  // True once an open of the file was reported (the events so far are read).
  bool Opened() {
    alignas(inotify_event) char buffer[4096];
    while (::read(fd_, buffer, sizeof buffer) > 0) opened_ = true;
    return opened_;
  }

 private:
  int fd_;
  int watch_;
  bool opened_ = false;
};

}  // namespace VUTest
