#include "tetlib/DataManager.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"
#include "kiv/RenderKernel.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/scene/ParallelLight.h"
#include "kiv/scene/Particle.h"
#include "tetlib/Container.h"
#include "tetlib/MeshData.h"
#include "tetlib/TETLib.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

DataManager* gDataManager = nullptr;

// What tells a file's versions apart: device, inode, size, modification
// and change times; empty when the file cannot be looked at.
std::vector<int64_t> FileStamp(const Kiv::String& path) {
  struct stat info = {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {int64_t(info.st_dev),          int64_t(info.st_ino),         int64_t(info.st_size),
          int64_t(info.st_mtim.tv_sec),  int64_t(info.st_mtim.tv_nsec), int64_t(info.st_ctim.tv_sec),
          int64_t(info.st_ctim.tv_nsec)};
}

template <typename T>
void Erase(std::vector<T*>& list, const T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

DataManager::DataManager(const char* dataFolder) : dataFolder_(dataFolder ? dataFolder : "") {}

DataManager::~DataManager() {
  Kiv::File::Subst(kMeshRoot(), std::string());
}

bool DataManager::CreateInstance(const char* dataFolder) {
  if (gDataManager != nullptr) return true;
  gDataManager = new (std::nothrow) DataManager(dataFolder);
  return gDataManager != nullptr;
}

void DataManager::DestroyInstance() {
  if (gDataManager == nullptr) return;
  gDataManager->Shutdown();
  delete gDataManager;
  gDataManager = nullptr;
}

DataManager* DataManager::Instance() {
  if (gDataManager == nullptr) FatalError("DataManager::Instance> datamanger not initialised");
  if (!gDataManager->personalDetailsLoaded_) {
    gDataManager->personalDetailsLoaded_ = true;
    gDataManager->EnsureLanguageData();
  }
  return gDataManager;
}

DataManager* DataManager::Existing() {
  return gDataManager;
}

Kiv::String DataManager::PersonalDetailsPath() const {
  return dataFolder_.Str() + "personalDetails.txt";
}

bool DataManager::EnsureLanguageData() {
  if (dataFolder_.Empty()) return false;
  // The stamp is taken before the read, so a change made while it reads is
  // read at the next call. A file unchanged since it was read shows that
  // its folder is still there.
  std::vector<int64_t> stamp = FileStamp(PersonalDetailsPath());
  if (!stamp.empty() && stamp == personalDetailsStamp_) return true;
  if (!Kiv::File::Exists(dataFolder_.Str())) return false;
  personalDetailsStamp_.clear();
  const PersonalDetails::LoadResult result = personalDetails_.Load(PersonalDetailsPath());
  if (result == PersonalDetails::LoadResult::kLoaded) personalDetailsStamp_ = std::move(stamp);
  if (result == PersonalDetails::LoadResult::kUnreadable) {
    personalDetailsUnreadable_ = true;
    LogMessage("DataManager::EnsureLanguageData> '%s' could not be read; it will not be rewritten",
               PersonalDetailsPath().c_str());
  }
  return true;
}

void DataManager::Shutdown() {
  if (personalDetailsUnreadable_) {
    LogMessage("DataManager::Shutdown> '%s' left as it was", PersonalDetailsPath().c_str());
  } else if (!dataFolder_.Empty() && !personalDetails_.Save(PersonalDetailsPath())) {
    LogMessage("DataManager::Shutdown> unable to write '%s'", PersonalDetailsPath().c_str());
  }
  if (renderer_ != nullptr && checkScene_)
    renderer_->GetSceneGraph()->UnlinkScene(checkScene_.get());
  ReleaseTrackedRef(sharedEntry_);
  sharedEntry_ = nullptr;
  ClearAssetRegistries();
  PurgeUnusedResources();
  ReleaseCheckScene();
}

bool DataManager::AttachEngine(const RenderContext& context) {
  engine_ = context.engine;
  return InitRenderGlobals(context);
}

VandruResourceDatabase* DataManager::SetAssetFolder(const Kiv::PString& location,
                                                    const Kiv::File::Path& folder) {
  ReleaseTrackedRef(sharedEntry_);
  sharedEntry_ = nullptr;
  ClearAssetRegistries();
  meshFailureReported_ = false;
  reportSuppression_ = false;
  assetName_ = location;
  assetFolder_ = folder;
  assetFolder_.ReplaceForwardSlashes();
  Kiv::File::Subst(kMeshRoot(), assetFolder_.Str());
  if (location.Empty()) return nullptr;
  const Kiv::File::Path locationFolder = GetContentFolderPath(location);
  if (locationFolder.Empty()) return nullptr;
  sharedEntry_ = AcquireSharedEntry(location, locationFolder);
  return sharedEntry_;
}

int32_t DataManager::GetAssetBuildNumber() const {
  return static_cast<int32_t>(assetBuild_ * 100.0f);
}

void DataManager::AddToKeyedListA(const Kiv::PString& key, Tag* tag) {
  keyedListA_[key].push_back(tag);
}

void DataManager::AddToKeyedListB(const Kiv::PString& key, Container* container) {
  keyedListB_[key].push_back(container);
}

void DataManager::AddToItemSet(Tag* tag) {
  if (std::find(itemSet_.begin(), itemSet_.end(), tag) == itemSet_.end()) itemSet_.push_back(tag);
}

void DataManager::AddToItemList2(Tag* tag) {
  itemList2_.push_back(tag);
}

bool DataManager::IsNameRegistered(const Kiv::PString& name, const Kiv::PString& key) const {
  const auto found = keyedListB_.find(key);
  if (found != keyedListB_.end()) {
    for (const Container* container : found->second) {
      if (container->GetName() == name) return true;
    }
  }
  // An attachment point of any mesh loaded for the asset is a name too.
  return std::any_of(meshRegistry_.begin(), meshRegistry_.end(), [&name](const auto& entry) {
    return entry.second->HasAttachmentPoint(name.View());
  });
}

const std::vector<Tag*>* DataManager::FindKeyedListA(const Kiv::PString& key) const {
  const auto found = keyedListA_.find(key);
  return found == keyedListA_.end() ? nullptr : &found->second;
}

void DataManager::ForgetContainer(const Container* container) {
  UnregisterMesh(container);
  for (auto& [key, list] : keyedListB_) Erase(list, container);
}

void DataManager::ForgetTag(const Tag* tag) {
  for (auto& [key, list] : keyedListA_) Erase(list, tag);
  Erase(itemSet_, tag);
  Erase(itemList2_, tag);
}

void DataManager::ClearAssetRegistries() {
  currentMesh_ = nullptr;
  if (checkScene_) {
    for (const auto& [container, mesh] : meshRegistry_) checkScene_->RemoveChild(mesh.get());
  }
  meshRegistry_.clear();
  keyedListA_.clear();
  keyedListB_.clear();
  itemSet_.clear();
  itemList2_.clear();
}

bool DataManager::RegistriesEmpty() const {
  const auto empty = [](const auto& map) {
    return std::all_of(map.begin(), map.end(),
                       [](const auto& entry) { return entry.second.empty(); });
  };
  return empty(keyedListA_) && empty(keyedListB_) && itemSet_.empty() && itemList2_.empty() &&
         meshRegistry_.empty();
}

}  // namespace TETLib
