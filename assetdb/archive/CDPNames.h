// CDPNames: which names and paths of an archive's "files" tree are written
// to disk.
//
// IsValidFileName: not empty; the first character is none of space, '.'
// and '~'; the last is not a space; every character is an ASCII letter or
// digit or one of  - & , + ' . _ $ space ( ) ~  (so no separator, no ':'
// and no byte of 0x80 or above). Such a name is always one path component
// other than "." and "..".
//
// IsValidRelativePath: refuses a path in which a '/' or '\' follows an
// empty or dots-only component (the start of the path counts as a
// component boundary, so a leading separator is refused); the text after
// the last separator is not judged.
//
// IsAllowedFileType: the file's extension (ignoring ASCII case, see
// Kiv::File::Path::IsExt) is one of the 33 content types: txt bmp tga chump
// pm im kin wav jpg jpeg gnd ref tso obs trk texture bmk dat gs gse html htm
// evt lm mp3 lst pfx tfx avi wmv lyr trc srt.
//
// Pure functions of their argument; nothing fails.
#pragma once

#include <string_view>

namespace CDP {

bool IsValidFileName(std::string_view name);
bool IsValidRelativePath(std::string_view path);
bool IsAllowedFileType(std::string_view path);

}  // namespace CDP
