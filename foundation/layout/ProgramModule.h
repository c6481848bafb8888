// ProgramModule: one of the program's own shared modules (libvu_*.so), which
// carry the libraries that few commands use, so that a command that never
// needs them never maps them. A module is installed beside the program (in
// bin/). A program that runs from the build tree, or from a copy of it that
// the tests make, also looks in the module folder of the build that made it
// (<build>/modules) when its own folder has none; an installed program
// looks in its own folder only, so that it never runs code from a build
// tree that may be gone, moved or writable by others. The two are told
// apart by the program's run path (ProgramRunPath.h): the build sets it to
// that module folder and `cmake --install` removes it.
//
// LoadProgramModule(file, symbol) opens `file` (a plain file name) from
// those folders in that order with dlopen (RTLD_NOW | RTLD_LOCAL), and
// answers the address of its exported `symbol`. A module stays loaded for
// the rest of the process. On failure `entry` is null and `error` says why
// in one line: "<file> was not found" when no folder has a readable file of
// that name, the loader's own text when it cannot load one (a library the
// module needs is missing, for instance), or "<path> has no <symbol>". Each
// call loads anew (dlopen counts the uses): callers keep the answer, once
// per process. Thread-safe.
#pragma once

#include <string>

struct ProgramModule {
  void* entry = nullptr;
  std::string error;
};

ProgramModule LoadProgramModule(const char* file, const char* symbol);
