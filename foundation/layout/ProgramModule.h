// ProgramModule: one of the program's own shared modules (libvu_*.so), which
// carry the libraries that few commands use, so that a command that never
// needs them never maps them. A module is installed beside the program (in
// bin/); when the program's folder has none, the module folder of the build
// that made the program (<build>/modules) is looked in, so that programs run
// from the build tree, or copied out of it by the tests, find them.
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
