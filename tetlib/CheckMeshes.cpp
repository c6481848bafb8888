// The data manager's meshes loaded for checks: LoadMeshForCheck, the mesh
// registry and the LOD performance checks (see tetlib/DataManager.h).
#include <string>

#include "kiv/ResourceDatabase.h"
#include "kiv/String.h"
#include "kiv/scene/Particle.h"
#include "render/instances/VandruIndexedMeshInstance.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MeshData.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"

namespace TETLib {
namespace {

constexpr int32_t kFirstCurrentBuild = 290;
// Particle flag of the current check mesh.
constexpr uint8_t kCurrentFlag = 2;

bool IsExt(std::string_view name, std::string_view extension) {
  if (name.size() <= extension.size()) return false;
  const std::string_view tail = name.substr(name.size() - extension.size() - 1);
  return tail[0] == '.' && Kiv::EqualsIgnoreCase(tail.substr(1), extension);
}

// An absolute name below the asset folder made relative to it; any other
// name as it is (the mesh database refuses rooted names).
Kiv::PString RelativeName(const Kiv::PString& name, const std::string& folder) {
  std::string text = name.Str();
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  if (!folder.empty() && text.size() > folder.size() && text.rfind(folder, 0) == 0)
    return Kiv::PString(text.substr(folder.size()));
  return Kiv::PString(text);
}

bool SkipsPerformanceChecks(const Container& container) {
  const std::string kind = container.Root().GetSoup().GetNamedTag(Names::Get().kind).Str();
  for (const char* exempt : {"traincar", "bogey", "interior", "pantograph", "drivercharacter"}) {
    if (Kiv::EqualsIgnoreCase(kind, exempt)) return true;
  }
  return false;
}

}  // namespace

const Kiv::PString& DataManager::kMeshRoot() {
  static const Kiv::PString root("tetlib-asset");
  return root;
}

Kiv::ResourceDatabase* DataManager::GetMeshDatabase() {
  if (!meshDatabase_) meshDatabase_ = std::make_unique<Kiv::ResourceDatabase>(kMeshRoot());
  return meshDatabase_.get();
}

MeshData* DataManager::FindMesh(const Container* container) const {
  const auto found = meshRegistry_.find(container);
  return found == meshRegistry_.end() ? nullptr : found->second.get();
}

void DataManager::UnregisterMesh(const Container* container) {
  const auto found = meshRegistry_.find(container);
  if (found == meshRegistry_.end()) return;
  if (currentMesh_ == found->second.get()) currentMesh_ = nullptr;
  if (checkScene_) checkScene_->RemoveChild(found->second.get());
  meshRegistry_.erase(found);
}

void DataManager::RegisterMesh(std::unique_ptr<MeshData> mesh, Container* container) {
  if (currentMesh_ != nullptr) currentMesh_->SetFlags(currentMesh_->GetFlags() & ~kCurrentFlag);
  UnregisterMesh(container);
  currentMesh_ = mesh.get();
  currentMesh_->SetFlags(currentMesh_->GetFlags() | kCurrentFlag);
  if (checkScene_) checkScene_->AddChild(currentMesh_);
  if (checkLight_ && currentMesh_->GetInstance() != nullptr) {
    currentMesh_->GetInstance()->SetSceneLights(&checkLights_);
    currentMesh_->GetInstance()->SetUpdateLighting(true);
  }
  meshRegistry_[container] = std::move(mesh);
}

void DataManager::CheckLODPerformance(MeshData& mesh, Container& container) {
  auto& lod = static_cast<LODMeshData&>(mesh);
  ErrorHandler& findings = Findings();
  const Kiv::PString& name = mesh.GetMeshPath();
  if (lod.GetAttachmentPointCount() == 0 && lod.GetFurtherList().empty())
    findings.ReportWarning(TetMessage("$tet_lm_performance_no_attachments", {name}), container);
  if (lod.GetLevelCount() == 1)
    findings.ReportWarning(TetMessage("$tet_lm_performance_single_lod", {name}), container);
  if (lod.GetPolygonCount() < 300)
    findings.ReportWarning(TetMessage("$tet_lm_performance_low_poly", {name}), container);
}

MeshData* DataManager::LoadMeshForCheck(const Kiv::PString& name, Container* container) {
  if (name.Empty() || name.Length() == 0) return nullptr;
  const Kiv::PString path = RelativeName(name, assetFolder_.Str());
  const std::string_view text = path.View();
  std::unique_ptr<MeshData> mesh;
  bool performance = false;
  if (IsExt(text, "im")) {
    mesh = std::make_unique<MeshData>();
  } else if (IsExt(text, "lm")) {
    mesh = std::make_unique<LODMeshData>();
    performance = container != nullptr && container->GetParent() != nullptr &&
                  !SkipsPerformanceChecks(*container);
  } else if (IsExt(text, "txt")) {
    if (!IsExt(text.substr(0, text.size() - 4), "lm")) return nullptr;
    mesh = std::make_unique<LODMeshData>();
  } else if (IsExt(text, "pm")) {
    meshFailureReported_ = true;
    const Kiv::PString message = TetMessage("$tet_dm_unsupportedformat");
    if (static_cast<int32_t>(double(assetBuild_) * 100.0 + 0.1) < kFirstCurrentBuild) {
      if (container != nullptr) Findings().ReportWarning(message, *container);
    } else if (container != nullptr) {
      Findings().ReportError(message, *container);
    }
    MeshData findingsOnly;
    findingsOnly.Load(path, container, 0);
    return nullptr;
  } else if (IsExt(text, "kin")) {
    // The container's own mesh, else the last one loaded.
    MeshData* target = FindMesh(container);
    if (target == nullptr) target = currentMesh_;
    if (target == nullptr || !target->IsLoaded()) {
      if (meshFailureReported_ || reportSuppression_) return nullptr;
      meshFailureReported_ = true;
      if (container != nullptr)
        Findings().ReportError(TetMessage("$tet_dm_animationfailed"), *container);
      return nullptr;
    }
    target->LoadAnimation(path);
    return nullptr;
  } else {
    return nullptr;
  }
  if (!mesh->Load(path, container, 0)) {
    meshFailureReported_ = true;
    return nullptr;
  }
  MeshData* loaded = mesh.get();
  RegisterMesh(std::move(mesh), container);
  if (performance) CheckLODPerformance(*loaded, *container);
  return loaded;
}

}  // namespace TETLib
