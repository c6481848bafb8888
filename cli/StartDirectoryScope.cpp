#include "cli/StartDirectoryScope.h"

#include "kiv/File.h"

StartDirectoryScope::StartDirectoryScope(const char* directory) : saved_(Kiv::File::GetCwd()) {
  if (directory == nullptr || directory[0] == '\0') {
    entered_ = true;
    return;
  }
  changed_ = Kiv::File::SetCwd(directory);
  entered_ = changed_;
}

StartDirectoryScope::~StartDirectoryScope() {
  if (changed_ && !saved_.empty()) Kiv::File::SetCwd(saved_);
}
