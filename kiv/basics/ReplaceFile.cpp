#include "kiv/basics/ReplaceFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

#include "kiv/File.h"

namespace Kiv {

namespace {

// Reserves a free temporary name beside `path`; "" after 100 tries.
String ReserveTemporary(const String& path) {
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const String name =
        StringPrintf("%s.%d-%u.tmp", path.c_str(), int(::getpid()), counter.fetch_add(1));
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return String();
  }
  return String();
}

}  // namespace

bool ReplaceFile(const String& path, const std::function<bool(File&)>& write) {
  const String temporary = ReserveTemporary(path);
  if (temporary.empty()) return false;
  File file;
  bool ok = file.Open(temporary, File::kCreate | 1) && write(file);
  ok = file.Close() && ok;
  ok = ok && File::Rename(temporary, path);
  if (!ok) File::Unlink(temporary);
  return ok;
}

}  // namespace Kiv
