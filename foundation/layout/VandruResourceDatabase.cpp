#include "foundation/layout/VandruResourceDatabase.h"

VandruResourceDatabase::VandruResourceDatabase(const Kiv::PString& name,
                                               const Kiv::File::Path& folder, bool mayBeArchive)
    : Kiv::ResourceDatabase(name) {
  Kiv::File::Path root = folder;
  root.ReplaceForwardSlashes();
  root.DelSlash();
  Kiv::File::Path archive(root.Str() + ".ja");
  if (mayBeArchive && !root.Empty() && Kiv::File::Exists(archive.Str()) &&
      !Kiv::File::IsDirectory(archive.Str())) {
    isArchive_ = true;
    Kiv::File::Subst(name, archive.Str());
    return;
  }
  Kiv::File::Subst(name, root.Empty() ? root.Str() : root.Str() + "/");
}

VandruResourceDatabase::~VandruResourceDatabase() {
  Kiv::File::Subst(GetName(), Kiv::String());
}
