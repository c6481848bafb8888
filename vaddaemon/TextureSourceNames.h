// TextureSourceNames: texture sources left under the converter's temporary
// name, and the converter's temporary files.
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
// file of that name (found without regard to case) is there
// (GiveLeftoverTextureSourcesBack, foundation/layout/
// LeftoverTextureSources.h); it logs each and answers how many it renamed.
// A folder that cannot be read is left as it is.
//
// The converter writes each compiled texture "<name>.texture" whole or not
// at all: into a new file "<name>.texture.<pid>-<n>.tmp" (its process id
// and a count, kiv/basics/ReplaceFile.h), renamed over the texture once
// written. A host killed while it writes leaves that file behind.
// ConversionTemporaries(folder) answers the paths of the files below
// `folder` with such names (any case of ".texture"; sub-folders as above);
// RemoveConversionTemporaries(folder, kept) removes each of them that is
// not in `kept`, logs each and answers how many it removed. A conversion
// takes the first before it starts and the second after it was cut short,
// so that only the files it made go, never a file of that name that was
// there before (a user's, copied in with the asset).
//
// Threads: any; the caller keeps others (the converter) out of the folder.
#pragma once

#include <cstdint>
#include <set>
#include <string>

uint32_t GiveTextureSourceNamesBack(const std::string& folder);
std::set<std::string> ConversionTemporaries(const std::string& folder);
uint32_t RemoveConversionTemporaries(const std::string& folder, const std::set<std::string>& kept);
