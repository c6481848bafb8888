#include "assetdb/protocol/DaemonStartRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

const char* const kWords[] = {"starting", "serving", "ending", "failed"};

// The whole of a small file, read without following a link; false on failure.
bool ReadSmallFile(const std::string& path, std::string* text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  char buffer[4096];
  text->clear();
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof(buffer))) > 0 && text->size() < 65536)
    text->append(buffer, size_t(got));
  ::close(fd);
  return got == 0;
}

}  // namespace

std::string FormatDaemonStartRecord(const DaemonStartRecord& record) {
  std::ostringstream out;
  out << kWords[record.stage] << '\n'
      << record.pid << '\n'
      << record.started << '\n'
      << record.progress << '\n'
      << record.device << ' ' << record.inode << '\n'
      << record.reason;
  return out.str();
}

bool ParseDaemonStartRecord(const std::string& text, DaemonStartRecord* record) {
  std::istringstream in(text);
  std::string word;
  DaemonStartRecord read;
  if (!(in >> word >> read.pid >> read.started >> read.progress >> read.device >> read.inode))
    return false;
  bool known = false;
  for (int stage = DaemonStartRecord::kStarting; stage <= DaemonStartRecord::kFailed; ++stage) {
    if (word != kWords[stage]) continue;
    read.stage = DaemonStartRecord::Stage(stage);
    known = true;
  }
  if (!known || read.pid == 0) return false;
  in.ignore(1);
  std::getline(in, read.reason, '\0');
  *record = read;
  return true;
}

bool ReadDaemonStartRecord(const std::string& userDataPath, DaemonStartRecord* record) {
  std::string text;
  if (!ReadSmallFile(userDataPath + "/" + kDaemonStartRecordName, &text)) return false;
  struct stat folder {};
  DaemonStartRecord read;
  if (!ParseDaemonStartRecord(text, &read) || ::stat(userDataPath.c_str(), &folder) != 0 ||
      read.device != uint64_t(folder.st_dev) || read.inode != uint64_t(folder.st_ino))
    return false;
  *record = read;
  return true;
}

uint64_t ProcessStartTime(uint32_t pid) {
  std::string text;
  if (pid == 0 || !ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", &text)) return 0;
  // The command name may hold spaces and brackets: the fields follow the
  // last ')'. Then the state (field 3) and, 19 fields on, the start time.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream in(text.substr(close + 1));
  std::string field;
  if (!(in >> field) || field == "Z" || field == "X") return 0;
  for (int skip = 0; skip < 18; ++skip) in >> field;
  uint64_t started = 0;
  return in >> started ? started : 0;
}

bool DaemonStartRecordAlive(const DaemonStartRecord& record) {
  return record.started != 0 && ProcessStartTime(record.pid) == record.started;
}
