#include "gscompiler/IncludePathList.h"

void IncludePathList::Append(const Kiv::File::Path& path, const Kiv::PString& container) {
  entries_.push_back(IncludePathEntry{path, container});
}

IncludePathList& GSCompilerIncludePaths() {
  static IncludePathList list;
  return list;
}

void GSCompilerAddIncludePath(std::string_view path, const Kiv::PString& container) {
  GSCompilerIncludePaths().Append(Kiv::File::Path(path), container);
}

void GSCompilerAddIncludePath(const Kiv::PString& path, const Kiv::PString& container) {
  GSCompilerAddIncludePath(path.View(), container);
}

void PathListClear(IncludePathList& list) {
  list.Clear();
}
