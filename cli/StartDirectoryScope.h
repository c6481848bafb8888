// StartDirectoryScope: runs a piece of work in the directory the tool was
// started in, and gives the working directory back afterwards.
//
// Start-up makes the program's folder the working directory; commands whose
// tools take relative paths from the working directory ("compile",
// "encrypt") enter the start directory (GetStartDirectory,
// cli/EngineObjects.h) for their work so that a user's relative paths mean
// what they meant in the user's shell. The constructor remembers the
// current directory and enters `directory` (the start directory by
// default); the destructor goes back to the remembered one, whatever
// happened in between.
//
// Failure: Entered() is false when the directory could not be entered
// (then the working directory is unchanged). When `directory` is null or
// empty (no start directory is known: the tool's start-up has not run, as
// in unit tests) nothing is changed and Entered() is true.
//
// Main thread only: the working directory belongs to the whole process.
#pragma once

#include "cli/EngineObjects.h"
#include "kiv/String.h"

class StartDirectoryScope {
 public:
  StartDirectoryScope() : StartDirectoryScope(GetStartDirectory()) {}
  explicit StartDirectoryScope(const char* directory);
  ~StartDirectoryScope();
  StartDirectoryScope(const StartDirectoryScope&) = delete;
  StartDirectoryScope& operator=(const StartDirectoryScope&) = delete;

  bool Entered() const { return entered_; }

 private:
  Kiv::String saved_;
  bool changed_ = false;
  bool entered_ = false;
};
