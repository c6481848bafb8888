// ReplaceFile: writes a whole file through a temporary file and a rename.
//
// ReplaceFile(target, mode, parts) writes the byte ranges of `parts`, in
// order, to a new temporary file in the target's folder (opened with the
// Kiv::File `mode`, which must create a file), flushes it to the disk and
// renames it over `target`. Every step is checked: on any failure the
// temporary file is removed, an existing target is left as it was and the
// result is false. The folder must exist already; it is found with its
// exact case, else without regard to case, and the file keeps its own
// name. A target without folder lands in the working folder.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kiv/File.h"

struct FileBytes {
  const void* data;
  uint32_t size;
};

bool ReplaceFile(const Kiv::File::Path& target, uint32_t mode,
                 std::initializer_list<FileBytes> parts);
