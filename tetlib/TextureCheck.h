// The texture folder check: the texture files of an asset's folder tree.
//
// CheckAssetTextures(assetFolder, folder) walks `folder` (the asset folder
// or a folder below it) and every folder below it, and reports through the
// error handler, without owner, with paths relative to the asset folder:
//   - a compiled texture ("x.texture") without its source ("x.texture.txt")
//     beside it: "$tet_duplicatetexture", an error from build 2.9, a
//     warning before;
//   - a leftover of a failed conversion ("x.convert-tex.txt"):
//     "$tet_texture_failedload";
//   - for each texture source ("x.texture.txt", tetlib/TextureSource.h):
//     a byte of 128 or more ("$tet_non_ansi_texture"); for the primary and
//     the alpha image it names, an image that does not exist
//     ("$tet_texture_missing_primary" / "_alpha"), cannot be read
//     ("$tet_texture_failedload") or whose width or height is not a power of
//     two ("$tet_texture_notpower2"); primary and alpha images of different
//     sizes ("$tet_primaryalpha_notsamesize"); and, when the data manager's
//     conversion flag is set, a missing compiled texture
//     ("$tet_binary_texture_conversion_failed").
// All but the warning are errors. The answer is false when anything was
// reported.
//
// Names: entries are visited in the order of their names without regard to
// case (names equal but for case in byte order). Files named by the check
// or by a texture source are found with their exact name, else without
// regard to case (the first match in byte order), so the result does not
// depend on how the file system orders or cases names. An image name may
// hold "/" or "\" and ".." but must stay inside the asset folder; one that
// does not, or an absolute one, counts as missing.
//
// Bounds: folders reached through a symbolic link are not entered (a link
// cannot make the walk loop), nor folders more than 256 levels below
// `folder`. Only image headers are read. A folder that cannot be listed,
// and a source that cannot be opened, are passed over without a report.
//
// Threads: the validating thread (it reads the data manager's asset build
// and conversion flag, and reports to the process's error handler).
#pragma once

#include "kiv/File.h"

namespace TETLib {

bool CheckAssetTextures(const Kiv::File::Path& assetFolder, const Kiv::File::Path& folder);

}  // namespace TETLib
