// ProgramRunPath: the run path (DT_RUNPATH, else DT_RPATH) that an ELF
// executable carries in its dynamic section.
//
// The build gives the programs it links the build's module folder as their
// run path, and `cmake --install` removes it from the programs it installs
// (their install run path is empty). So the run path tells a program that
// runs from the build tree, or from a copy of it that the tests make, from
// one that was installed (ProgramModule.h).
//
// ReadRunPath(file) answers the folders of the run path of the 64-bit ELF
// file `file`, in order, empty items left out; an empty list when the file
// has none, cannot be read or is not such a file. Every offset and size
// read from the file is checked against what the file holds and against
// small bounds (header and entry counts, 4096 bytes of path), so a damaged
// file gives an empty list, never a crash or a long read. ReadProgramRunPath
// reads the running program's own file (/proc/self/exe). Thread-safe.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ReadRunPath(const std::string& file);
std::vector<std::string> ReadProgramRunPath();
