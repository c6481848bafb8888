#include "foundation/layout/ContentPath.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TFile.h"
#include "foundation/stream/TemporaryFile.h"

namespace {

constexpr uint32_t kCopyPiece = 32768;

// The real path of (location, path); false when the path is refused or the
// location has no folder.
bool Resolve(const Kiv::PString& location, const Kiv::File::Path& path, Kiv::File::Path* out) {
  Kiv::File::Path part = path;
  part.ReplaceForwardSlashes();
  if (location.Empty()) {
    if (!part.IsAbsolute()) return false;
    part.Normalize();
    *out = part;
    return true;
  }
  if (!part.StaysInside()) return false;
  part.Normalize();
  Kiv::File::Path folder = GetContentFolderPath(location);
  if (folder.Empty()) return false;
  folder.AddPath(part.Str());
  *out = folder;
  return true;
}

// True when `path` lies below (not at) one of the roots of the content area.
bool StrictlyInContentArea(const Kiv::File::Path& path) {
  if (!IsInContentArea(path)) return false;
  for (const Kiv::File::Path& root :
       {GetUserDataPath(), GetLibraryCachePath(), GetLibrariesPath()}) {
    Kiv::File::Path below;
    if (IsPathUnder(root, path, &below) && below.Empty()) return false;
  }
  return true;
}

bool SameFile(const Kiv::String& a, const Kiv::String& b) {
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

bool MakeDirectories(const Kiv::PString& location, const Kiv::File::Path& path) {
  Kiv::File::Path real;
  return Resolve(location, path, &real) && Kiv::File::Md(real.Str());
}

bool RenameContentFile(const Kiv::PString& location, const Kiv::File::Path& from,
                       const Kiv::File::Path& to) {
  Kiv::File::Path realFrom, realTo;
  if (!Resolve(location, from, &realFrom) || !Resolve(location, to, &realTo)) return false;
  return Kiv::File::Rename(realFrom.Str(), realTo.Str());
}

bool PathExists(const Kiv::PString& location, const Kiv::File::Path& path) {
  Kiv::File::Path part = path;
  part.ReplaceForwardSlashes();
  if (location.Empty() && !part.IsAbsolute()) return true;
  Kiv::File::Path real;
  return Resolve(location, path, &real) && Kiv::File::Exists(real.Str());
}

bool DeleteContentPath(const Kiv::PString& location, const Kiv::File::Path& path) {
  if (path.Empty()) return false;
  Kiv::File::Path real;
  if (!Resolve(location, path, &real)) return false;
  if (location.Empty() && !StrictlyInContentArea(real)) return false;
  if (!location.Empty()) {
    // "a/.." names the location's folder itself.
    Kiv::File::Path below;
    if (!IsPathUnder(GetContentFolderPath(location), real, &below) || below.Empty()) return false;
  }
  return Kiv::File::Prune(real.Str()) || Kiv::File::Unlink(real.Str());
}

bool CopyStreamBytes(TStream& source, TStream& destination, uint32_t size) {
  std::vector<uint8_t> buffer(std::min(size, kCopyPiece));
  uint32_t remaining = size;
  while (remaining > 0) {
    const uint32_t piece = std::min(remaining, kCopyPiece);
    if (source.Read(buffer.data(), piece) != piece) return false;
    if (destination.Write(buffer.data(), piece) != piece) return false;
    remaining -= piece;
  }
  return true;
}

bool CopyContentFile(const Kiv::PString& sourceLocation, const Kiv::File::Path& source,
                     const Kiv::PString& destinationLocation, const Kiv::File::Path& destination) {
  Kiv::File::Path from, to;
  if (!Resolve(sourceLocation, source, &from) || !Resolve(destinationLocation, destination, &to))
    return false;
  // Opening the destination empties it: when it is the source, the data
  // would be gone before it was read.
  if (SameFile(from.Str(), to.Str())) return false;
  TFile in;
  if (!in.Open(from.Str(), Kiv::File::kRead)) return false;
  TFile out;
  if (!out.Open(to.Str(), Kiv::File::kCreate | 0x01)) return false;
  const uint32_t size = in.GetSize();
  if (in.GetError() != TStream::kErrorNone) return false;
  const bool copied = CopyStreamBytes(in, out, size);
  return copied && in.GetError() == TStream::kErrorNone && out.GetError() == TStream::kErrorNone;
}

bool CreateTemporaryFilePath(const Kiv::PString& /*location*/, Kiv::File::Path* out) {
  const Kiv::File::Path folder = GetUserDataPath();
  if (folder.Empty()) return false;
  return CreateTemporaryFilePath(folder, out);
}
