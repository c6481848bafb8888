// File operations addressed by a content location and a path.
//
// A location-addressed path is a pair (location, path). With a location,
// the real path is GetContentFolderPath(location) (foundation/
// FolderLayout.h) joined with `path`, and `path` must stay inside that
// folder: a rooted path, or one whose ".." climbs above its start, is
// refused. Without a location (an empty PString), `path` must be rooted
// ("/..."). "\" counts as "/" and paths are normalised before use. Every
// operation below answers false for a path it refuses, except PathExists
// (see there).
//
// Nothing here throws. Threads: as the underlying Kiv::File calls.
#pragma once

#include <cstdint>

#include "foundation/stream/TStream.h"
#include "kiv/File.h"
#include "kiv/PString.h"

// Creates the folder and its parents (Kiv::File::Md); its result.
bool MakeDirectories(const Kiv::PString& location, const Kiv::File::Path& path);

// Renames `from` to `to`, both in the same location or both rooted
// (Kiv::File::Rename, which replaces an existing file at `to`).
bool RenameContentFile(const Kiv::PString& location, const Kiv::File::Path& from,
                       const Kiv::File::Path& to);

// True when the file or folder exists. A relative path without a location
// counts as existing (true); a refused path with a location does not.
bool PathExists(const Kiv::PString& location, const Kiv::File::Path& path);

// Deletes a folder tree (Kiv::File::Prune, which never follows links) or,
// when that fails, one file (Kiv::File::Unlink). Refused: an empty path, a
// path whose normalised form is the location's folder itself, and a rooted
// path without a location that does not lie strictly below the content
// area (IsInContentArea, after normalising, so ".." cannot lead out).
bool DeleteContentPath(const Kiv::PString& location, const Kiv::File::Path& path);

// Copies one file in pieces of at most 32 KiB. True only when both files
// opened, the source could be measured, every byte of it was read and
// every byte written. Copying a file onto itself is refused (it would
// empty the file). A failed copy may leave a partial destination behind.
bool CopyContentFile(const Kiv::PString& sourceLocation, const Kiv::File::Path& source,
                     const Kiv::PString& destinationLocation, const Kiv::File::Path& destination);

// The copy loop of CopyContentFile: moves `size` bytes from `source` to
// `destination` through a buffer of min(size, 32768) bytes. False at the
// first short read (a source that shrank) or short write; it never reads
// past `size` bytes, so it ends whatever the source does.
bool CopyStreamBytes(TStream& source, TStream& destination, uint32_t size);

// Forms a free temporary file path in the user-data root, as the folder form
// in foundation/TemporaryFile.h does (the file is created exclusively; the
// caller owns and removes it). Temporary files always go in the user-data
// root; `location` does not move them. False while the installation root is
// unset, or after 100 tries (logged).
bool CreateTemporaryFilePath(const Kiv::PString& location, Kiv::File::Path* out);
