// MeshData and LODMeshData (see tetlib/MeshData.h).
#include "tetlib/MeshData.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "foundation/threads/TCXCallbackCPPVoidPtr.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/File.h"
#include "kiv/RenderKernel.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/display/Material.h"
#include "kiv/scene/Animator.h"
#include "kiv/scene/SkeletonModifier.h"
#include "kiv/store/ResourceType.h"
#include "render/instances/VandruIndexedMeshInstance.h"
#include "render/instances/VandruIndexedMeshLODInstance.h"
#include "render/meshes/VandruIndexedMeshLODResource.h"
#include "render/meshes/VandruIndexedMeshResource.h"
#include "render/meshes/VandruProgressiveMeshResource.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"

namespace TETLib {
namespace {

std::atomic<int32_t> liveMeshes{0};

// The mesh resource types, registered once for the process (the plug-in
// entry registers the same names; the first registration is the one used).
void EnsureMeshTypes() {
  static std::once_flag once;
  std::call_once(once, [] {
    new Kiv::ResourceType<VandruIndexedMeshResource>("im");
    new Kiv::ResourceType<VandruProgressiveMeshResource>("pm");
    new Kiv::ResourceType<VandruIndexedMeshLODResource>("lm");
    new Kiv::ResourceType<VandruIndexedMeshLODResource>("lm.txt");
  });
}

// Runs `method` of `mesh` through the worker queue and waits for it.
template <class T>
void PostAndWait(T* mesh, void (T::*method)(void*)) {
  auto* callback = new TCXCallbackCPPVoidPtr<T>(mesh, method);
  WorkerThread::Get().Post(callback, 0, mesh);
}

bool HasExtension(std::string_view name, std::string_view extension) {
  if (name.size() <= extension.size() + 1) return false;
  const std::string_view tail = name.substr(name.size() - extension.size() - 1);
  return tail[0] == '.' && Kiv::EqualsIgnoreCase(tail.substr(1), extension);
}

// The first "Primary=" image of a texture description, lower-cased; empty
// when there is none. Only a regular file is read (a pipe never blocks),
// and only its first kMaxDescriptionBytes.
std::string PrimaryImage(const std::string& path) {
  constexpr uint32_t kMaxDescriptionBytes = 1u << 20;
  Kiv::File file;
  if (!file.Open(path, Kiv::File::kRead | Kiv::File::kRegularOnly)) return std::string();
  std::string text;
  char buffer[16384];
  for (uint32_t count;
       text.size() < kMaxDescriptionBytes && (count = file.Read(buffer, 1, sizeof buffer)) > 0;) {
    text.append(buffer, count);
  }
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + 1;
    if (line.rfind("Primary=", 0) != 0) continue;
    std::string image(line.substr(8));
    image.erase(std::remove(image.begin(), image.end(), '\r'), image.end());
    return Kiv::AsciiLower(image);
  }
  return std::string();
}

// True when `name` below the asset folder names a file (found without
// regard to case; no rooted or climbing names).
bool AssetFileExists(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.find("..") != std::string::npos) return false;
  return Kiv::File::Exists(DataManager::kMeshRoot(), name);
}

}  // namespace

MeshData::MeshData() {
  ++liveMeshes;
}

MeshData::~MeshData() {
  animator_.reset();
  skeleton_.reset();
  instance_.reset();
  if (resource_ != nullptr) {
    resource_->Unlock();
    resource_->ReleaseReference();
  }
  --liveMeshes;
}

int32_t MeshData::LiveCount() {
  return liveMeshes.load();
}

bool MeshData::Load(const Kiv::PString& path, Container* owner, uint32_t flag) {
  owner_ = owner;
  flag_ = flag;
  meshPath_ = path;
  result_ = false;
  PostAndWait(this, &MeshData::RunLoad);
  return result_;
}

bool MeshData::LoadAnimation(const Kiv::PString& path) {
  animationPath_ = path;
  result_ = false;
  PostAndWait(this, &MeshData::RunAnimation);
  return result_;
}

uint32_t MeshData::GetPolygonCount() const {
  return instance_ ? instance_->GetFaceCount() : 0;
}

const Kiv::PString& MeshData::GetClassName() const {
  static const Kiv::PString name("MeshData");
  return name;
}

const VandruIndexedMeshDefinition* MeshData::GetMeshDefinition() const {
  return resource_ != nullptr ? resource_->GetDefinition() : nullptr;
}

const Kiv::MeshFileSupport* MeshData::GetDefinitionData() const {
  return GetMeshDefinition();
}

bool MeshData::ForwardRenderCall(Kiv::Display* display, Kiv::ViewPort* viewport,
                                 const Kiv::Matrix4& matrix) {
  if (!instance_) return false;
  instance_->Render(display, viewport, matrix);
  return true;
}

bool MeshData::HasAttachmentPoint(std::string_view name) const {
  return std::any_of(attachmentPoints_.begin(), attachmentPoints_.end(),
                     [name](const AttachmentPoint& point) { return point.name.View() == name; });
}

Kiv::PString MeshData::RelativePath() const {
  std::string path = resolvedPath_.Str();
  const std::string folder = DataManager::Instance()->GetAssetFolder().Str();
  if (!folder.empty() && path.rfind(folder, 0) == 0) path.erase(0, folder.size());
  return Kiv::PString(path);
}

void MeshData::Report(const Kiv::PString& text) const {
  if (owner_ != nullptr) {
    Findings().ReportError(text, *owner_);
    return;
  }
  Findings().ReportError(text);
}

bool MeshData::TakeInstance(VandruIndexedMeshInstance* made) {
  instance_.reset(made);
  return made != nullptr;
}

bool MeshData::LoadResource() {
  EnsureMeshTypes();
  DataManager& manager = *DataManager::Instance();
  Kiv::Resource* found = manager.GetMeshDatabase()->Get(meshPath_, 2);
  if (dynamic_cast<VandruProgressiveMeshResource*>(found) != nullptr) {
    found->ReleaseReference();
    if (owner_ != nullptr) Report(TetMessage("$tet_mesh_initialise_mesh", {RelativePath()}));
    return false;
  }
  auto* resource = dynamic_cast<VandruGeometryBaseResource*>(found);
  if (resource == nullptr) {
    if (found != nullptr) found->ReleaseReference();
    if (found != nullptr || (owner_ != nullptr && !manager.GetReportSuppression()))
      Report(TetMessage("$tet_mesh_load_mesh", {RelativePath()}));
    return false;
  }
  resource->SetRenderKernel(Kiv::GetRenderKernel());
  if (resource->Lock() != 0) {
    resource->ReleaseReference();
    if (owner_ != nullptr) Report(TetMessage("$tet_mesh_initialise_mesh", {RelativePath()}));
    return false;
  }
  resource_ = resource;
  if (!TakeInstance(resource->CreateMeshInstance())) {
    if (owner_ != nullptr) Report(TetMessage("$tet_mesh_initialise_mesh", {RelativePath()}));
    return false;
  }
  return true;
}

void MeshData::RunLoad(void*) {
  resolvedPath_ = meshPath_;
  if (!LoadResource()) return;
  // The definition's skeleton (none for a mesh without bones, whose
  // animations the animator then refuses).
  const VandruIndexedMeshDefinition* definition = resource_->GetDefinition();
  skeleton_ = std::make_unique<Kiv::SkeletonModifier>(
      definition != nullptr ? definition->GetRootBone() : nullptr);
  animator_ = std::make_unique<Kiv::Animator>(
      instance_->GetDisplay(), DataManager::Instance()->GetMeshDatabase(), skeleton_.get());
  loaded_ = true;
  CopyAttachmentPoints();
  if (definition != nullptr) otherEntries_ = definition->GetChunkNames();
  CheckTextures();
  result_ = true;
}

void MeshData::CopyAttachmentPoints() {
  const VandruIndexedMeshDefinition* definition = resource_->GetDefinition();
  if (definition == nullptr) return;
  for (const MeshAttachment& attachment : definition->GetAttachments()) {
    AttachmentPoint point;
    std::copy(attachment.orientation.begin(), attachment.orientation.end(),
              point.transform.begin());
    std::copy(attachment.position.begin(), attachment.position.end(), point.transform.begin() + 9);
    const std::string_view name = attachment.name.View();
    const size_t cut = name.rfind('/');
    point.name =
        cut == std::string_view::npos ? attachment.name : Kiv::PString(name.substr(cut + 1));
    attachmentPoints_.push_back(point);
  }
  for (const MeshReferencePoint& reference : instance_->GetReferencePoints())
    namedParticles_.push_back({reference.name, reference.position});
}

void MeshData::CheckTextures() {
  const std::string folder = DataManager::Instance()->GetAssetFolder().Str();
  const VandruIndexedMeshInstance::MaterialList& materials = instance_->GetMaterials();
  for (size_t i = 0; i < materials.Count(); ++i) {
    const Kiv::Ref<Kiv::Material>& material = materials[i];
    if (!material) continue;
    if (material->IsLoaded() == 1)
      Report(TetMessage("$tet_mesh_failedmaterial", {material->GetRequestName()}));
    for (const Kiv::Material::TextureDefinition& texture : material->GetTextureDefinitions()) {
      std::string name = texture.name.Str();
      if (HasExtension(name, "texture")) name += ".txt";
      if (!HasExtension(name, "txt")) continue;
      std::replace(name.begin(), name.end(), '\\', '/');
      if (!AssetFileExists(name)) {
        Report(TetMessage("$tet_mesh_load_texture", {name}));
        continue;
      }
      std::string image = PrimaryImage(folder + name);
      const size_t slash = name.rfind('/');
      if (slash != std::string::npos) image = name.substr(0, slash + 1) + image;
      if (!AssetFileExists(image)) Report(TetMessage("$tet_mesh_load_texture", {image}));
    }
  }
}

void MeshData::RunAnimation(void*) {
  if (!animator_) {
    Report(TetMessage("$tet_mesh_animationfailedmesh", {animationPath_}));
    return;
  }
  switch (animator_->Add(animationPath_, 5, 1.0f)) {
    case Kiv::Animator::kNoSkeleton:
      Report(TetMessage("$tet_mesh_animationfailedskeleton", {animationPath_}));
      return;
    case Kiv::Animator::kNoResource:
      Report(TetMessage("$tet_mesh_animationfailedres", {animationPath_}));
      return;
    case Kiv::Animator::kNoObserver:
      Report(TetMessage("$tet_mesh_animationfailedobserver", {animationPath_}));
      return;
    default:
      result_ = true;
  }
}

bool LODMeshData::TakeInstance(VandruIndexedMeshInstance* made) {
  if (dynamic_cast<VandruIndexedMeshLODInstance*>(made) == nullptr) {
    delete made;
    return false;
  }
  return MeshData::TakeInstance(made);
}

const Kiv::PString& LODMeshData::GetClassName() const {
  static const Kiv::PString name("LODMeshData");
  return name;
}

const VandruIndexedMeshDefinition* LODMeshData::GetMeshDefinition() const {
  return GetLODDefinition();
}

const VandruIndexedMeshLODDefinition* LODMeshData::GetLODDefinition() const {
  return dynamic_cast<const VandruIndexedMeshLODDefinition*>(MeshData::GetMeshDefinition());
}

VandruIndexedMeshLODInstance* LODMeshData::GetLODInstance() const {
  return static_cast<VandruIndexedMeshLODInstance*>(GetInstance());
}

uint32_t LODMeshData::GetLevelCount() const {
  return GetLODInstance() != nullptr ? GetLODInstance()->GetInstanceLevelCount() : 0;
}

uint32_t LODMeshData::GetPolygonCount() const {
  VandruIndexedMeshLODInstance* instance = GetLODInstance();
  if (instance == nullptr || GetLevelCount() == 0) return 0;
  instance->SelectLevel(GetLevelCount() - 1);
  return instance->GetFaceCount();
}

}  // namespace TETLib
