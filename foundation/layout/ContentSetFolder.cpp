#include "foundation/layout/ContentSetFolder.h"

#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"

ContentSetFolder ContentSetFolder::Adopt(VandruResourceDatabase* database) {
  ContentSetFolder folder;
  folder.database_ = database;
  return folder;
}

ContentSetFolder::ContentSetFolder(const ContentSetFolder& other) : database_(other.database_) {
  if (database_) AddTrackedRef(database_);
}

ContentSetFolder& ContentSetFolder::operator=(const ContentSetFolder& other) {
  if (other.database_) AddTrackedRef(other.database_);
  Release();
  database_ = other.database_;
  return *this;
}

ContentSetFolder& ContentSetFolder::operator=(ContentSetFolder&& other) noexcept {
  if (this == &other) return *this;
  Release();
  database_ = std::exchange(other.database_, nullptr);
  return *this;
}

void ContentSetFolder::Release() {
  if (database_) ReleaseTrackedRef(std::exchange(database_, nullptr));
}

namespace {

Kiv::File::Path ContentSetPath(const Kiv::PString& contentSet) {
  const Kiv::File::Path install = GetInstallPath();
  if (install.Empty()) return install;
  const char* fixed = nullptr;
  if (contentSet.View() == "base") fixed = "Base";
  if (contentSet.View() == "data") fixed = "Data";
  if (!fixed) return GetContentFolderPath(contentSet);
  Kiv::File::Path path = install;
  path.AddPath(fixed);
  return path;
}

}  // namespace

ContentSetFolder AcquireContentSetFolder(const Kiv::PString& contentSet, bool* found) {
  bool ignored = false;
  bool& had = found ? *found : ignored;
  had = true;
  if (contentSet.Empty()) return ContentSetFolder();
  const Kiv::File::Path path = ContentSetPath(contentSet);
  had = false;
  if (path.Empty()) return ContentSetFolder();
  ContentSetFolder folder = ContentSetFolder::Adopt(AcquireSharedEntry(contentSet, path));
  had = static_cast<bool>(folder);
  return folder;
}
