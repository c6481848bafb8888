#include "tetlib/PersonalDetails.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"

namespace TETLib {
namespace {

constexpr int kLockWaitMs = 10000;
constexpr int kLockPollMs = 5;

// Takes an exclusive advisory lock on the folder that holds `path`, so that
// processes saving into that folder take turns (they share the temporary
// name of Soup::SaveToFile). Answers the descriptor that holds the lock
// (closing it releases the lock), or -1 when the folder cannot be opened or
// the lock is still held by another after kLockWaitMs.
int LockFolderOf(const Kiv::String& path) {
  Kiv::File::Path folder(path);
  folder.DelName();
  const Kiv::String name = folder.Empty() ? Kiv::String(".") : folder.Str();
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  for (int waited = 0; waited <= kLockWaitMs;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) break;
    ::usleep(kLockPollMs * 1000);
    waited += kLockPollMs;
  }
  ::close(fd);
  return -1;
}

// True when the file at `path` holds exactly the text soup `soup` (the
// bytes SaveToFile would write for a ".txt" path).
bool FileHolds(const Kiv::String& path, const Soup& soup) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  TextSoup::Write(stream, soup);
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string present((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return present.size() == data.DataLength() &&
         std::equal(present.begin(), present.end(), reinterpret_cast<const char*>(data.Data()));
}

}  // namespace

PersonalDetails::LoadResult PersonalDetails::Load(const Kiv::String& path) {
  if (!Kiv::File::Exists(path)) return LoadResult::kMissing;
  Soup soup;
  if (!Soup::LoadFromFile(Kiv::PString(), path, soup, true)) return LoadResult::kUnreadable;
  author = soup.GetNamedTag(Kiv::PString("author"));
  organisation = soup.GetNamedTag(Kiv::PString("organisation"));
  email = soup.GetNamedTag(Kiv::PString("email"));
  website = soup.GetNamedTag(Kiv::PString("website"));
  license = soup.GetNamedTag(Kiv::PString("license"));
  isInputBoxOn = soup.GetNamedTagAsInt(Kiv::PString("isinputboxon"), 0) != 0;
  return LoadResult::kLoaded;
}

bool PersonalDetails::Save(const Kiv::String& path) const {
  Soup soup;
  soup.Create();
  soup.SetNamedTag(Kiv::PString("author"), author);
  soup.SetNamedTag(Kiv::PString("organisation"), organisation);
  soup.SetNamedTag(Kiv::PString("email"), email);
  soup.SetNamedTag(Kiv::PString("website"), website);
  soup.SetNamedTag(Kiv::PString("license"), license);
  soup.SetNamedInt(Kiv::PString("isinputboxon"), isInputBoxOn ? 1 : 0);
  const int lock = LockFolderOf(path);
  if (lock < 0) return false;
  // A file that already holds these details is left as it is (no second
  // write and flush of the same bytes at every shut-down).
  const bool saved = (path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0 &&
                      FileHolds(path, soup)) ||
                     Soup::SaveToFile(Kiv::PString(), path, soup);
  ::close(lock);
  return saved;
}

}  // namespace TETLib
