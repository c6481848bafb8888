#include "gscompiler/ReplaceFile.h"

#include "foundation/stream/TemporaryFile.h"

bool ReplaceFile(const Kiv::File::Path& target, uint32_t mode,
                 std::initializer_list<FileBytes> parts) {
  Kiv::File::Path path = target;
  path.ReplaceForwardSlashes();
  if (path.Empty() || path.Name().empty()) return false;
  Kiv::File::Path folder = path;
  folder.DelName();
  if (folder.Empty()) folder = Kiv::File::Path(".");
  const Kiv::String existingFolder = Kiv::File::Find::ResolveCase(folder.Str());
  if (existingFolder.empty() || !Kiv::File::IsDirectory(existingFolder)) return false;
  Kiv::File::Path finalPath(existingFolder);
  finalPath.AddPath(path.Name());

  Kiv::File::Path temporary;
  if (!CreateTemporaryFilePath(Kiv::File::Path(existingFolder), &temporary)) return false;
  Kiv::File file;
  bool ok = file.Open(temporary.Str(), mode);
  for (const FileBytes& part : parts) {
    if (!ok) break;
    if (part.size != 0) ok = file.Write(part.data, 1, part.size) == part.size;
  }
  if (ok) ok = file.Sync();
  file.Close();
  if (ok) ok = Kiv::File::Rename(temporary.Str(), finalPath.Str());
  if (!ok) Kiv::File::Unlink(temporary.Str());
  return ok;
}
