// InFlightRecord (see InFlightRecord.h).
#include "vaddaemon/InFlightRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string_view>

#include "foundation/base/FdTransfer.h"
#include "foundation/base/OwnFile.h"

namespace {

constexpr std::string_view kBorn = "born=";

// "<what> <path>: <the system's reason, or `why` of OpenOwnFile>".
std::string Why(const std::string& what, const std::string& path, const std::string& why) {
  return what + " " + path + ": " + (why.empty() ? std::strerror(errno) : "it " + why);
}

// One line of the file as a folder; false when it does not read as one.
bool ParseLine(const std::string& line, InFlightFolder* folder) {
  std::istringstream in(line);
  if (!(in >> folder->place >> folder->device >> folder->inode) || in.get() != ' ') return false;
  if (line.compare(size_t(in.tellg()), kBorn.size(), kBorn) == 0) {
    in.ignore(kBorn.size());
    if (!(in >> folder->born) || folder->born <= 0 || in.get() != ' ') return false;
  }
  std::getline(in, folder->name);
  return !folder->name.empty();
}

std::string Line(const InFlightFolder& folder) {
  std::string line =
      folder.place + " " + std::to_string(folder.device) + " " + std::to_string(folder.inode) + " ";
  if (folder.born != 0) line += std::string(kBorn) + std::to_string(folder.born) + " ";
  return line + folder.name + "\n";
}

// Reads the record's text from `fd` (up to its first NUL byte, or the
// end) into `*text`, no more than kMaxBytes: "" when read, else why not.
std::string ReadText(int fd, std::string* text) {
  std::string chunk(64 * 1024, '\0');
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::strerror(errno);
    const void* end = std::memchr(chunk.data(), '\0', size_t(got));
    const size_t size =
        end != nullptr ? size_t(static_cast<const char*>(end) - chunk.data()) : size_t(got);
    text->append(chunk.data(), size);
    if (text->size() > InFlightRecord::kMaxBytes)
      return "it is longer than the store writes (" + std::to_string(InFlightRecord::kMaxBytes) +
             " bytes)";
    if (end != nullptr || got == 0) return std::string();
  }
}

}  // namespace

bool InFlightRecord::Load(std::vector<InFlightFolder>* folders, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string why;
  const int fd = OpenOwnFile(path_, O_RDONLY, 0, &why);
  if (fd < 0) {
    if (why.empty() && errno == ENOENT) return true;
    *error = Why("cannot read", path_, why);
    return false;
  }
  std::string text;
  why = ReadText(fd, &text);
  ::close(fd);
  if (!why.empty()) {
    *error = "cannot read " + path_ + ": " + why;
    return false;
  }
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
        at->second.inode == folder.inode && at->second.born == folder.born)
      folders_.erase(at);
  }
  return folders_.size() == before || Write(error);
}

bool InFlightRecord::Write(std::string* error) {
  std::string text;
  for (const auto& [key, folder] : folders_) text += Line(folder);
  if (text.size() > kMaxBytes) {
    *error =
        "cannot write " + path_ + ": the record would pass " + std::to_string(kMaxBytes) + " bytes";
    return false;
  }
  text += '\0';
  // Opened without O_TRUNC, the write goes over the record's first bytes.
  std::string why;
  const int fd = OpenOwnFile(path_, O_WRONLY | O_CREAT, 0644, &why);
  if (fd < 0) {
    *error = Why("cannot write", path_, why);
    return false;
  }
  const bool wrote = WriteFd(fd, text.data(), text.size());
  if (::close(fd) != 0 || !wrote) {
    *error = Why("cannot write", path_, std::string());
    return false;
  }
  return true;
}
