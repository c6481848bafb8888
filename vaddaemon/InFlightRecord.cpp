// InFlightRecord (see InFlightRecord.h).
#include "vaddaemon/InFlightRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "foundation/base/FdTransfer.h"


namespace {

std::string Why(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// One line of the file as a folder; false when it does not read as one.
bool ParseLine(const std::string& line, InFlightFolder* folder) {
  std::istringstream in(line);
  if (!(in >> folder->place >> folder->device >> folder->inode) || in.get() != ' ') return false;
  std::getline(in, folder->name);
  return !folder->name.empty();
}

}  // namespace

bool InFlightRecord::Load(std::vector<InFlightFolder>* folders, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::ifstream in(path_, std::ios::binary);
  if (!in.is_open()) {
    if (errno == ENOENT) return true;
    *error = Why("cannot read", path_);
    return false;
  }
  std::string text;
  std::getline(in, text, '\0');
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    InFlightFolder folder;
    if (!ParseLine(line, &folder)) continue;
    folders_[{folder.place, folder.name}] = folder;
    folders->push_back(folder);
  }
  return true;
}

bool InFlightRecord::Add(const std::vector<InFlightFolder>& folders, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto before = folders_;
  for (const InFlightFolder& folder : folders) folders_[{folder.place, folder.name}] = folder;
  if (Write(error)) return true;
  folders_ = before;
  return false;
}

bool InFlightRecord::Drop(const std::vector<InFlightFolder>& folders, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t before = folders_.size();
  for (const InFlightFolder& folder : folders) {
    const auto at = folders_.find({folder.place, folder.name});
    if (at != folders_.end() && at->second.device == folder.device &&
        at->second.inode == folder.inode)
      folders_.erase(at);
  }
  return folders_.size() == before || Write(error);
}

bool InFlightRecord::Write(std::string* error) {
  std::string text;
  for (const auto& [key, folder] : folders_) {
    text += folder.place + " " + std::to_string(folder.device) + " " +
            std::to_string(folder.inode) + " " + folder.name + "\n";
  }
  text += '\0';
  // Opened without O_TRUNC, the write goes over the record's first bytes.
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = Why("cannot write", path_);
    return false;
  }
  const bool wrote = WriteFd(fd, text.data(), text.size());
  if (::close(fd) != 0 || !wrote) {
    *error = Why("cannot write", path_);
    return false;
  }
  return true;
}
