#include "foundation/stream/TemporaryFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "foundation/base/LogMessage.h"
#include "kiv/Rand.h"

namespace {

constexpr int kMaxTries = 100;
constexpr const char* kPrefix = "temp-";

std::atomic<uint32_t> g_temporaryFileCounter{0};

Kiv::String RandomName(uint32_t counter) {
  Kiv::String name = kPrefix;
  for (int i = 0; i < 8; ++i) {
    const int32_t digit = Kiv::Rand::Program().NextInt(0, 35);
    name += Kiv::StringPrintf("%c", char(digit < 10 ? '0' + digit : 'a' + (digit - 10)));
  }
  name += Kiv::StringPrintf("%u", counter);
  name += Kiv::StringPrintf(".%s", "tmp");
  return name;
}

// Creates the file only when nothing of that name exists yet; checking
// first and creating after would let two callers take the same name.
bool ReserveFile(const Kiv::File::Path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

bool CreateTemporaryFilePath(const Kiv::File::Path& folder, Kiv::File::Path* out) {
  if (out == nullptr || folder.Empty()) return false;
  const uint32_t counter = g_temporaryFileCounter.fetch_add(1, std::memory_order_relaxed) + 1;
  Kiv::File::Path root = folder;
  root.ReplaceForwardSlashes();
  Kiv::File::Md(root.Str());
  for (int attempt = 0; attempt < kMaxTries; ++attempt) {
    Kiv::File::Path candidate = root;
    candidate.AddPath(RandomName(counter));
    if (!ReserveFile(candidate)) continue;
    *out = candidate;
    return true;
  }
  LogMessage(
      "CreateTemporaryFilePath> unable to form valid temp path in 100 tries, at path '%s' with "
      "prefix '%s'",
      root.c_str(), kPrefix);
  return false;
}
