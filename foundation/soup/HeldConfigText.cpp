#include "foundation/soup/HeldConfigText.h"

#include <limits>
#include <utility>

#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/File.h"

namespace {

// Opened as Soup::LoadFromFile opens a path: for reading, a regular file only.
constexpr uint32_t kOpenRead = 32 | Kiv::File::kRegularOnly;
constexpr size_t kPiece = 64 * 1024;

thread_local HeldConfigText* t_held = nullptr;

std::string_view WithoutTrailingSlashes(std::string_view folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  return folder;
}

// Reads the whole file at `path` into `out`; false on any failure.
bool ReadWhole(const Kiv::String& path, std::string& out) {
  Kiv::File file;
  if (!file.Open(path, kOpenRead)) return false;
  const int64_t size = file.SizeAtOpen();
  if (size < 0 || uint64_t(size) >= std::numeric_limits<uint32_t>::max()) return false;
  std::string bytes;
  // One byte more than the size, so that a whole file ends in a short read.
  bytes.resize(size_t(size) + 1);
  size_t done = file.Read(bytes.data(), uint32_t(bytes.size()));
  // A file that grew is read on to its end.
  while (done == bytes.size()) {
    if (bytes.size() >= std::numeric_limits<uint32_t>::max() - kPiece) return false;
    bytes.resize(bytes.size() + kPiece);
    const uint32_t got = file.Read(bytes.data() + done, uint32_t(kPiece));
    done += got;
    if (got < kPiece) break;
  }
  // A short read that is not at the end is a failure of the file.
  if (!file.Eof()) return false;
  bytes.resize(done);
  out = std::move(bytes);
  return true;
}

}  // namespace

HeldConfigText::HeldConfigText(const Kiv::String& folder, const Kiv::String& configPath)
    : folder_(WithoutTrailingSlashes(folder)), path_(configPath), outer_(t_held) {
  holding_ = ReadWhole(configPath, bytes_);
  t_held = this;
}

HeldConfigText::~HeldConfigText() {
  t_held = outer_;
}

bool HeldConfigText::Load(Soup& soup, bool utf8) const {
  Kiv::DynamicBuffer data;
  if (data.Write(bytes_.data(), uint32_t(bytes_.size())) != bytes_.size()) return false;
  data.SetPosition(0);
  TBuffer stream(&data, false);
  Soup loaded;
  if (!TextSoup::Parse(loaded, stream, utf8).Ok()) return false;
  soup = std::move(loaded);
  return true;
}

bool HeldConfigText::LoadPath(const Kiv::String& configPath, Soup& soup, bool utf8) {
  const HeldConfigText* held = t_held;
  if (held == nullptr || !held->holding_ || held->path_ != configPath) return false;
  return held->Load(soup, utf8);
}

bool HeldConfigText::LoadFolder(const Kiv::String& folder, Soup& soup, bool utf8) {
  const HeldConfigText* held = t_held;
  if (held == nullptr || !held->holding_ || held->folder_ != WithoutTrailingSlashes(folder))
    return false;
  return held->Load(soup, utf8);
}
