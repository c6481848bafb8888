#include "render/instances/VandruIndexedMeshInstance.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "kiv/RenderKernel.h"
#include "kiv/display/Display.h"
#include "kiv/scene/ReferencePoint.h"
#include "kiv/scene/ViewPoint.h"
#include "render/instances/ChunkTriangles.h"
#include "render/instances/MeshInstanceSupport.h"

VandruIndexedMeshInstance::VandruIndexedMeshInstance(Kiv::RenderKernel* context)
    : context_(context) {}

VandruIndexedMeshInstance::~VandruIndexedMeshInstance() {
  if (resource_) resource_->Unlock();
}

Kiv::Display* VandruIndexedMeshInstance::GetDisplay() const {
  return context_ != nullptr ? context_->GetDisplay() : nullptr;
}

void VandruIndexedMeshInstance::SetResource(VandruGeometryBaseResource* resource) {
  if (resource_) resource_->Unlock();
  resource_.reset(resource);
  if (resource_) resource_->Lock();
}

void VandruIndexedMeshInstance::SetDefinition(const VandruIndexedMeshDefinition& definition) {
  chunkCount_ = definition.GetNumChunks();
  chunks_ = ChunkList::Make(chunkCount_);
  materials_ = MaterialList::Make(chunkCount_);
  for (uint32_t i = 0; i < chunkCount_; ++i) {
    chunks_[i].reset(definition.GetChunk(i));
    materials_[i].reset(definition.GetMaterial(i));
  }
  TakeShape(definition);
}

void VandruIndexedMeshInstance::TakeShape(const VandruIndexedMeshDefinition& definition) {
  textureScale_ = definition.GetTextureScale();
  boundsMax_ = definition.GetBoundsMax();
  boundsMin_ = definition.GetBoundsMin();
  orientedBox_ = definition.GetOrientedBox();
  referencePoints_.clear();
  for (const MeshAttachment& attachment : definition.GetAttachments()) {
    const std::string_view name = attachment.name.View();
    if (name.empty() || (name[0] != 'p' && name[0] != 'P')) continue;
    MeshReferencePoint point{attachment.name, Kiv::ReferencePoint::GetSubNames(name),
                             attachment.position, {}};
    point.orientation.Set(attachment.orientation);
    referencePoints_.push_back(point);
  }
  SetName(definition.GetName());
  UpdateBoundingVolume();
}

void VandruIndexedMeshInstance::CreateAttachmentPoints(
    const VandruIndexedMeshDefinition& definition) {
  for (const MeshAttachment& attachment : definition.GetAttachments()) {
    const std::string_view name = attachment.name.View();
    if (name.empty() || (name[0] != 'a' && name[0] != 'A')) continue;
    auto point = std::make_unique<Kiv::ParticleBone>();
    point->name = attachment.name;
    point->position = attachment.position;
    Kiv::Quaternion q;
    q.Set(attachment.orientation);
    point->orientation = q.ToArray();
    if (rootBone_ != nullptr) {
      rootBone_->Add(std::move(point));
    } else {
      AddChild(std::move(point));
    }
  }
}

Kiv::ParticleBone* VandruIndexedMeshInstance::AddChild(std::unique_ptr<Kiv::ParticleBone> child) {
  children_.push_back(std::move(child));
  return children_.back().get();
}

Kiv::ParticleBone* VandruIndexedMeshInstance::FindByName(const Kiv::PString& name) const {
  for (const auto& child : children_) {
    if (Kiv::ParticleBone* found = child->FindByName(name)) return found;
  }
  return nullptr;
}

void VandruIndexedMeshInstance::CloneChildren(const VandruIndexedMeshInstance& source) {
  children_.clear();
  rootBone_ = nullptr;
  for (const auto& child : source.children_) {
    Kiv::ParticleBone* copy = AddChild(child->Clone());
    if (child.get() == source.rootBone_) rootBone_ = copy;
  }
}

VandruIndexedMeshInstance* VandruIndexedMeshInstance::CreateInstance() const {
  auto* copy = new (std::nothrow) VandruIndexedMeshInstance(context_);
  if (copy != nullptr) copy->InitInstance(*this);
  return copy;
}

void VandruIndexedMeshInstance::InitInstance(const VandruIndexedMeshInstance& source) {
  CopyState(source);
  for (uint32_t i = 0; i < chunkCount_; ++i) {
    if (chunks_[i] && (chunks_[i]->GetFlags() & kPerInstanceChunk) != 0) CloneChunk(i);
  }
}

void VandruIndexedMeshInstance::CopyState(const VandruIndexedMeshInstance& source) {
  Kiv::Particle::operator=(source);
  Kiv::LightTarget::operator=(source);
  CloneChildren(source);
  resource_ = source.resource_;
  if (resource_) resource_->Lock();
  chunkCount_ = source.chunkCount_;
  chunks_ = source.chunks_;
  materials_ = source.materials_;
  opacity_ = source.opacity_;
  scale_ = source.scale_;
  scaled_ = source.scaled_;
  boundsMax_ = source.boundsMax_;
  boundsMin_ = source.boundsMin_;
  orientedBox_ = source.orientedBox_;
  boundingVolume_ = source.boundingVolume_;
  textureScale_ = source.textureScale_;
  referencePoints_ = source.referencePoints_;
}

void VandruIndexedMeshInstance::UnshareChunks() {
  ChunkList own = ChunkList::Make(chunks_.Count());
  for (size_t i = 0; i < chunks_.Count(); ++i) own[i] = chunks_[i];
  chunks_ = own;
}

void VandruIndexedMeshInstance::UnshareMaterials() {
  MaterialList own = MaterialList::Make(materials_.Count());
  for (size_t i = 0; i < materials_.Count(); ++i) own[i] = materials_[i];
  materials_ = own;
}

bool VandruIndexedMeshInstance::CloneChunk(uint32_t index) {
  if (index >= chunkCount_ || index >= chunks_.Count() || !chunks_[index]) return false;
  Kiv::Ref<Kiv::GeometryChunk> copy(CloneGeometryChunk(*chunks_[index]));
  if (!copy) return false;
  if (ChunkListShared()) UnshareChunks();
  chunks_[index] = copy;
  return true;
}

bool VandruIndexedMeshInstance::AddChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material) {
  if (chunk == nullptr || !chunks_.HasBlock()) return false;
  if ((chunk->GetFlags() & kSharedOnlyChunk) != 0 || chunk->UseCount() > 0) return false;
  Kiv::Ref<Kiv::GeometryChunk> added(chunk);
  if ((chunk->GetFlags() & kPerInstanceChunk) != 0) added.reset(CloneGeometryChunk(*chunk));
  if (!added) return false;
  ChunkList chunks = ChunkList::Make(chunkCount_ + 1);
  MaterialList materials = MaterialList::Make(chunkCount_ + 1);
  for (uint32_t i = 0; i < chunkCount_; ++i) {
    chunks[i] = chunks_[i];
    if (i < materials_.Count()) materials[i] = materials_[i];
  }
  chunks[chunkCount_] = added;
  materials[chunkCount_].reset(material);
  chunks_ = chunks;
  materials_ = materials;
  ++chunkCount_;
  return true;
}

bool VandruIndexedMeshInstance::CloneMaterial(uint32_t index) {
  if (index >= chunkCount_ || index >= materials_.Count() || !materials_[index]) return false;
  Kiv::Ref<Kiv::Material> copy(materials_[index]->Clone());
  if (!copy) return false;
  if (materials_.Uses() > 1) UnshareMaterials();
  materials_[index] = copy;
  return true;
}

namespace {

bool Mergeable(const Kiv::GeometryChunk& chunk) {
  return (chunk.GetFlags() & Kiv::GeometryChunk::kMergeable) != 0 &&
         (chunk.GetFlags() & Kiv::GeometryChunk::kSharedOnly) == 0 && chunk.GetMergeKind() == 1;
}

}  // namespace

bool VandruIndexedMeshInstance::MergeChunk(Kiv::GeometryChunk* chunk, Kiv::Material* material,
                                           uint32_t index) {
  if (chunk == nullptr || chunk->UseCount() > 0 || !Mergeable(*chunk)) return false;
  if (index >= chunkCount_ || index >= chunks_.Count() || index >= materials_.Count()) return false;
  if (!chunks_[index] || !Mergeable(*chunks_[index])) return false;
  const Kiv::Material* own = materials_[index].get();
  if (own == nullptr || material == nullptr || !own->Equals(*material)) return false;
  Kiv::Ref<Kiv::GeometryChunk> merged(CloneGeometryChunk(*chunks_[index]));
  if (!merged || !merged->AppendChunk(GetDisplay(), *chunk)) return false;
  if (ChunkListShared()) UnshareChunks();
  chunks_[index] = merged;
  return true;
}

void VandruIndexedMeshInstance::SetOpacity(float opacity) {
  opacity_ = opacity;
  for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i) {
    if (chunks_[i]) chunks_[i]->SetOpacity(GetDisplay(), opacity);
  }
  Kiv::Particle::SetOpacity(opacity);
}

void VandruIndexedMeshInstance::CollectTransformedVertices(const Kiv::Matrix3& matrix,
                                                           const std::array<float, 2>& offset,
                                                           std::vector<Vector3>* out) const {
  for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i) {
    if (!chunks_[i]) continue;
    const Kiv::StridedArray<float> positions = chunks_[i]->GetVector3Array(Kiv::GeometryChunk::kPosition);
    if (!positions) continue;
    for (uint32_t v = 0; v < chunks_[i]->GetNumVertices(); ++v) {
      const float* p = positions[v];
      Vector3 turned;
      for (int c = 0; c < 3; ++c)
        turned[c] = p[0] * matrix[c] + p[1] * matrix[3 + c] + p[2] * matrix[6 + c];
      turned[0] += offset[0];
      turned[1] += offset[1];
      out->push_back(turned);
    }
  }
}

namespace {

// The display format a bitmap format uploads as; 0 for none.
uint32_t DisplayFormatOf(uint32_t bitmapFormat) {
  constexpr uint32_t kFormats[] = {5, 1, 3, 8};
  return bitmapFormat >= 1 && bitmapFormat <= 4 ? kFormats[bitmapFormat - 1] : 0;
}

}  // namespace

bool VandruIndexedMeshInstance::SetChunkTextureFromFile(uint32_t index, const Kiv::String& name,
                                                        const Kiv::String& path) {
  Kiv::String file = path;
  if (!file.empty() && file.back() != '/') file += "/";
  file += name;
  Kiv::String error;
  std::unique_ptr<Kiv::Bitmap> bitmap = Kiv::Bitmap::Load(file, &error);
  return bitmap != nullptr && SetChunkTexture(index, *bitmap);
}

bool VandruIndexedMeshInstance::SetChunkTexture(uint32_t index, const Kiv::Bitmap& bitmap) {
  if (index >= chunkCount_ || index >= materials_.Count() || !materials_[index]) return false;
  Kiv::MaterialTexture* texture = materials_[index]->GetTexture(0);
  const uint32_t format = DisplayFormatOf(bitmap.GetFormat());
  if (texture == nullptr || format == 0) return false;
  texture->Upload(bitmap.Width(), bitmap.Height(), format);
  return true;
}

void VandruIndexedMeshInstance::SetScale(const std::array<float, 3>& scale) {
  scale_ = scale;
  scaled_ = scale[0] != 1.0f || scale[1] != 1.0f || scale[2] != 1.0f;
  UpdateBoundingVolume();
}

void VandruIndexedMeshInstance::UpdateBoundingVolume() {
  boundingVolume_ = orientedBox_;
  if (!scaled_) return;
  for (int i = 0; i < 3; ++i) boundingVolume_.extents[i] *= scale_[i];
}

uint32_t VandruIndexedMeshInstance::GetFaceCount() const {
  uint32_t faces = 0;
  for (uint32_t i = 0; i < chunkCount_ && i < chunks_.Count(); ++i) {
    if (chunks_[i]) faces += chunks_[i]->GetNumFaces();
  }
  return faces;
}

Kiv::BoundingSphere VandruIndexedMeshInstance::GetBoundingSphere(
    const Kiv::Matrix4& matrix) const {
  Kiv::BoundingSphere sphere;
  std::array<float, 3> centre;
  float squared = 0.0f;
  for (int i = 0; i < 3; ++i) {
    centre[i] = (boundsMax_[i] + boundsMin_[i]) * 0.5f;
    const float half = (boundsMax_[i] - boundsMin_[i]) * 0.5f * std::fabs(scale_[i]);
    squared += half * half;
  }
  sphere.center = Kiv::TransformPoint(matrix, centre);
  sphere.radius = std::sqrt(squared);
  return sphere;
}

bool VandruIndexedMeshInstance::IsCulledThisFrame(const Kiv::ViewPoint& viewPoint) const {
  return GetLastCulledFrame() != 0 && GetLastCulledFrame() == viewPoint.GetFrame();
}

void VandruIndexedMeshInstance::Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4& matrix) {
  Kiv::Particle::Cull(viewPoint, matrix);
  if (!(opacity_ > 0.0f) || HasZeroScale(scale_)) return;
  // The stand-in's textures hold every level, so the wanted level is only
  // asked for.
  Kiv::ViewPoint::CalcWantedMipLevelsForCull(viewPoint, *this, textureScale_);
  storedMatrix_ = matrix;
  viewPoint.Add(this, matrix);
}

Kiv::Matrix4 VandruIndexedMeshInstance::ScaleRows(const Kiv::Matrix4& matrix,
                                                  const std::array<float, 3>& scale) {
  Kiv::Matrix4 scaled = matrix;
  for (int row = 0; row < 3; ++row) {
    for (int c = 0; c < 4; ++c) scaled.m[row * 4 + c] *= scale[row];
  }
  return scaled;
}

void VandruIndexedMeshInstance::Render(Kiv::Display* display, Kiv::ViewPort* viewport,
                                       const Kiv::Matrix4& matrix) {
  CalculateLighting(false);
  DrawChunks(display, viewport, scaled_ ? ScaleRows(matrix, scale_) : matrix, chunkCount_,
             chunks_, materials_);
}

void VandruIndexedMeshInstance::DrawChunks(Kiv::Display* display, Kiv::ViewPort* viewport,
                                           const Kiv::Matrix4& matrix, uint32_t count,
                                           const ChunkList& chunks,
                                           const MaterialList& materials) {
  for (uint32_t i = 0; i < count && i < chunks.Count() && i < materials.Count(); ++i) {
    Kiv::GeometryChunk* chunk = chunks[i].get();
    Kiv::Material* material = materials[i].get();
    if (chunk == nullptr || material == nullptr || chunk->GetNumFaces() == 0) continue;
    material->RenderChunk(display, viewport, chunk, &GetLights(), &matrix, 0);
  }
}

void VandruIndexedMeshInstance::DrawGeometry(Kiv::Display* display, Kiv::ViewPort* viewport,
                                             const Kiv::Matrix4& matrix,
                                             const Kiv::DisplayLightList* lights, bool lit) {
  if (!(opacity_ > 0.0f) || HasZeroScale(scale_)) return;
  DrawChunkGeometry(display, viewport, matrix, lights, lit, chunkCount_, chunks_, materials_);
}

void VandruIndexedMeshInstance::DrawChunkGeometry(Kiv::Display* display, Kiv::ViewPort* viewport,
                                                  const Kiv::Matrix4& matrix,
                                                  const Kiv::DisplayLightList* lights, bool lit,
                                                  uint32_t count, const ChunkList& chunks,
                                                  const MaterialList& materials) {
  if (display == nullptr) return;
  for (uint32_t i = 0; i < count && i < chunks.Count() && i < materials.Count(); ++i) {
    Kiv::GeometryChunk* chunk = chunks[i].get();
    if (chunk == nullptr || chunk->GetNumFaces() == 0) continue;
    display->SetWorldTransform(matrix);
    if (lit && materials[i]) materials[i]->SetLightingState(display, lights);
    chunk->RenderGeometry(display, viewport, nullptr, lit, 0);
  }
}

bool VandruIndexedMeshInstance::TestCollisionGeometry(const MeshRay& ray, float* distance,
                                                      CollisionResult* result) {
  if (!(opacity_ > 0.0f) || HasZeroScale(scale_)) return false;
  MeshRay local = ray;
  if (scaled_) {
    for (int i = 0; i < 3; ++i) {
      local.point[i] /= scale_[i];
      local.direction[i] /= scale_[i];
    }
  }
  if (!LineMeetsBox(orientedBox_, local.point, local.direction)) return false;
  TriangleKey key;
  const uint32_t count = std::min<uint32_t>(chunkCount_, uint32_t(chunks_.Count()));
  const auto& materials = materials_.Items();
  if (!TestRayAgainstChunks(count, chunks_.Items().data(),
                            materials.size() >= count ? materials.data() : nullptr, local.point,
                            local.direction, distance, &key)) {
    return false;
  }
  *result = {this, key.triangle, key.chunk};
  return true;
}
