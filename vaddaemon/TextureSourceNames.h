// TextureSourceNames: texture sources left under the converter's temporary
// name.
//
// While the converter compiles a texture source "<name>.texture.txt" it
// holds it under the name "<name>.convert-tex.txt"
// (render/textures/VADTextureConvertFileRPC.h), and gives the name back when
// it is done. A conversion cut short (its command host or daemon killed)
// leaves the source under the temporary name, where nothing takes it for a
// texture source.
//
// GiveTextureSourceNamesBack(folder) renames each file below `folder` whose
// name ends in ".convert-tex.txt" (in any case; sub-folders down to
// kMaxFolderDepth, links not followed) to "<name>.texture.txt", unless a
// file of that name (found without regard to case) is there; it logs each
// and answers how many it renamed. A folder that cannot be read is left as
// it is.
//
// Threads: any; the caller keeps others (the converter) out of the folder.
#pragma once

#include <cstdint>
#include <string>

uint32_t GiveTextureSourceNamesBack(const std::string& folder);
