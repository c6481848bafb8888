#include "kiv/ResourceDatabase.h"

#include "kiv/File.h"
#include "kiv/store/Resource.h"
#include "kiv/store/ResourceType.h"

namespace Kiv {

namespace {

// The real path of an existing plain file at `path` (any case); "" when
// there is none.
String ExistingFile(const String& path) {
  const String found = File::Find::ResolveCase(path);
  if (found.empty() || File::IsDirectory(found)) return String();
  return found;
}

}  // namespace

ResourceDatabase::ResourceDatabase(const PString& name) : name_(name) {}

// Out of line, so that the class's virtual table lives in one object file.
ResourceDatabase::~ResourceDatabase() = default;

Resource* ResourceDatabase::Get(const PString& name, uint32_t /*mode*/) {
  if (name.Empty()) return nullptr;
  String path;
  if (name_.Empty()) {
    File::Path plain(name.View());
    plain.ReplaceForwardSlashes();
    path = plain.Str();
  } else if (!File::ResolveRooted(name_, String(name.View()), &path)) {
    return nullptr;
  }
  String file = ExistingFile(path);
  if (file.empty()) file = ExistingFile(path + ".txt");
  if (file.empty()) return nullptr;
  ResourceTypeBase* type = ResourceTypeBase::FindForFile(file);
  if (type == nullptr) return nullptr;
  Resource* resource = type->CreateResource(name, this);
  if (resource == nullptr) return nullptr;
  resource->SetFilePath(file);
  resource->AddReference();
  return resource;
}

}  // namespace Kiv
