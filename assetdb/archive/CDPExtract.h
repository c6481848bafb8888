// CDPExtract: writing the files of an archive entry to disk.
//
// ExtractFiles(message, folder, root, path, compression, localFiles) writes
// the "files" tree `folder` into the folder `path` under the engine file
// root `root` (see Kiv::File::Subst; an empty root means `path` is a plain
// file-system path). The folder is created first. Then each child, in
// order:
//   - a name that IsValidFileName refuses is left out (so no name can be
//     "..", be empty, hold a separator or a control character, or be
//     absolute);
//   - a container is extracted into path + name, when IsValidRelativePath
//     accepts that path (else left out);
//   - a byte tag is written as the file path + name with WriteContentFile's
//     rules, when IsAllowedFileType accepts it (else left out);
//   - anything else sets "Unknown data type encountered. Content package
//     may be damaged".
// The walk goes on after every failure and `message` is the last one set
// (empty on success). A path that leaves `root` gives "Unable to write
// content files to disk" and writes nothing.
//
// All or nothing: every file is first written whole to a temporary file
// beside its target (foundation/TemporaryFile.h). Only when the whole tree
// was written without a message are the temporary files renamed over their
// targets; otherwise they are all removed, so a failed extraction leaves no
// file behind, partial or whole, and files that existed before keep their
// old content. (Folders it created stay, empty. Should a rename fail half
// way, the files already renamed stay, whole, and the message is "Unable
// to write content files to disk".) Nesting deeper than
// BinarySoup::kMaxDepth levels, which no archive file can hold, gives the
// unknown-data message.
//
// When `leftOut` is given, each file or folder left out is appended to it,
// in tree order: its path below `path` as the archive names it (folders
// joined by "/", nothing escaped) and why. What a left-out folder holds is
// not looked at. LeftOutText gives the warning that names one:
// "The file 'F' is left out of the install: WHY." ("The folder ..." for a
// folder); whoever prints it escapes it (it comes from the archive).
//
// When `fault` is given, a failed extraction also says where: the path of
// the file (or folder) at fault under `path`, and, when its data was read
// in place from a binary soup file (an archive opened with OpenArchive),
// the byte offset of that data in the file (ExtractFault::kNoOffset when
// the data lives in memory). It describes the same failure as `message`.
//
// WriteContentFile(message, data, root, path, compression, localFiles)
// writes one file the same way (temporary file, then rename):
//   - compression empty: the bytes as they are;
//   - "LZSS": a u32 little-endian count of decoded bytes, then a coded
//     stream (Kiv::LZSSCompress). Data under 4 bytes, a stream that does not
//     decode, one that decodes to another count than stored, or a count
//     beyond what the stream could code (more than kMaxLZSSExpansion times
//     its size, so a forged count cannot cause a huge allocation) gives
//     "Failed to decompress data. Content package may be damaged";
//   - "filepath": the data names a local file (two length-prefixed strings:
//     engine file root, then path) to copy. This is refused with "Local
//     file references are only accepted from the local asset database"
//     unless the caller passes LocalFiles::kAllow: only entries that the
//     local daemon produced may name files, never archive files, which
//     could otherwise copy any readable file of the user. Unreadable data
//     gives "Internal error while copying local file.", a failed copy
//     "Failed to copy local file.";
//   - anything else: "Unknown compression format.".
// A target that cannot be created or written gives "Unable to write content
// files to disk". On any failure no file is left at the target.
//
// Threads: one call touches only its own files and its own codec instance.
// Nothing throws (allocation failure is reported as a write failure).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/PString.h"

namespace CDP {

enum class LocalFiles { kRefuse, kAllow };

// The largest ratio of decoded to coded bytes that an LZSS stream can reach
// (a 258-byte match costs at least 13 bits), with room to spare.
inline constexpr uint32_t kMaxLZSSExpansion = 256;

// Where an extraction failed (see ExtractFiles).
struct ExtractFault {
  static constexpr uint32_t kNoOffset = UINT32_MAX;
  std::string file;
  uint32_t byteOffset = kNoOffset;
};

// A file or folder of the tree that an extraction left out (see
// ExtractFiles).
struct LeftOutFile {
  std::string file;
  const char* why = "";
  bool folder = false;
};

std::string LeftOutText(const LeftOutFile& leftOut);

void ExtractFiles(Kiv::PString& message, const Soup& folder, const Kiv::PString& root,
                  const Kiv::File::Path& path, const Kiv::PString& compression,
                  LocalFiles localFiles = LocalFiles::kRefuse, ExtractFault* fault = nullptr,
                  std::vector<LeftOutFile>* leftOut = nullptr);

void WriteContentFile(Kiv::PString& message, const CoreRef& data, const Kiv::PString& root,
                      const Kiv::File::Path& path, const Kiv::PString& compression,
                      LocalFiles localFiles = LocalFiles::kRefuse);

}  // namespace CDP
