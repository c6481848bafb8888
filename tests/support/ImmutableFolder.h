// ImmutableFolder: sets the file system's immutable attribute on a folder
// for the life of the object, so that a test can make writes into the
// folder fail even when it runs as root (where permission bits do not stop
// them). Made() is false when the file system or the process's privileges
// do not allow the attribute; the test should then skip. The attribute is
// cleared again by the destructor.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <utility>

class ImmutableFolder {
 public:
  explicit ImmutableFolder(std::string path) : path_(std::move(path)) {
    made_ = SetImmutable(true);
  }
  ~ImmutableFolder() {
    if (made_) SetImmutable(false);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;

  bool Made() const { return made_; }

 private:
  bool SetImmutable(bool on) const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }

  std::string path_;
  bool made_ = false;
};
