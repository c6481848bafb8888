// LeftoverTextureSources: texture sources that a conversion cut short left
// under the converter's temporary name.
//
// While a conversion compiles "<name>.texture.txt" it holds the file as
// "<name>.convert-tex.txt" (render/textures/VADTextureConvertFileRPC.h) and
// gives the name back when it is done. A process killed meanwhile leaves
// the source under the temporary name, where nothing takes it for a
// texture source.
//
// GiveLeftoverTextureSourcesBack(folder, maxDepth) looks at each regular
// file below `folder` whose name ends in ".convert-tex.txt" (in any case)
// and renames it to "<name>.texture.txt" unless a file of that name (found
// without regard to case) is there; the rename never replaces a file
// (RenameAtNoReplace). It answers one record per such file, in the order
// met: its path, the source's path (the file found, when one is there) and
// 0 when it was given its name back, else the errno (EEXIST when the
// source is there).
//
// ForEachFileBelow(folder, maxDepth, visit) calls `visit` with the folder
// and the name of each regular file below `folder`: sub-folders down to
// `maxDepth` levels, links not followed. A folder that cannot be read is
// passed over.
//
// No shared state; nothing throws. The caller keeps the converter out of
// the folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct LeftoverTextureSource {
  std::string temporary;
  std::string source;
  int error = 0;
};

std::vector<LeftoverTextureSource> GiveLeftoverTextureSourcesBack(const std::string& folder,
                                                                  uint32_t maxDepth);

using FileBelowVisit =
    std::function<void(const std::filesystem::path& folder, const std::string& name)>;
void ForEachFileBelow(const std::filesystem::path& folder, uint32_t maxDepth,
                      const FileBelowVisit& visit);
