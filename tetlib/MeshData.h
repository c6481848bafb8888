// MeshData and LODMeshData: one mesh of an asset loaded for checking, as a
// particle of the check scene.
//
// Load(path, owner, flag): `path` names the mesh below the asset folder (the
// data manager's), `owner` is the container on whose behalf it is checked
// (null for the upgrade, whose loads report nothing). The load is posted to
// the worker queue and waited for (a post the validating thread may run
// itself runs in place, so it cannot deadlock). It requests the resource
// from the data manager's mesh database, refuses a progressive mesh
// ("$tet_mesh_initialise_mesh") and anything that is not a geometry
// resource or does not load ("$tet_mesh_load_mesh", with the path relative
// to the asset folder), locks it and makes the instance (an indexed one;
// LODMeshData: a LOD one), a skeleton modifier and an animator; then it
// copies the attachment points (names cut after their last "/"), lists the
// named particles and checks the materials' textures ("$tet_mesh_
// failedmaterial", "$tet_mesh_load_texture"). A file that fails to load is
// a finding, never a crash. `flag` is kept for the caller's use.
//
// Accessors: GetClassName is the class's name ("MeshData", "LODMeshData");
// GetMeshDefinition the definition the mesh's resource loaded (a LOD one
// for LODMeshData; null before a load) and GetDefinitionData the same seen
// through the definition accessors; GetOtherEntries the chunk names of
// that definition (files that name their chunks; LOD files keep none),
// copied at load.
// ForwardRenderCall draws the instance (false, nothing drawn, without one).
//
// LoadAnimation(path): adds the animation to the loaded mesh's animator;
// "$tet_mesh_animationfailed*" when there is no mesh or the animator refuses
// it. Findings go to the owner when there is one, else without owner.
//
// Ownership: the mesh owns its instance, skeleton modifier and animator,
// and holds one lock and one reference of its resource until it is
// destroyed; the resource goes with the last reference, so nothing of a
// checked mesh outlives it. Threads: one validation at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/PString.h"
#include "kiv/scene/Particle.h"

class VandruGeometryBaseResource;
class VandruIndexedMeshDefinition;
class VandruIndexedMeshInstance;
class VandruIndexedMeshLODDefinition;
class VandruIndexedMeshLODInstance;

namespace Kiv {
class Animator;
class Display;
class MeshFileSupport;
class SkeletonModifier;
struct Matrix4;
struct ViewPort;
}  // namespace Kiv

namespace TETLib {

class Container;

struct AttachmentPoint {
  std::array<float, 12> transform{};
  Kiv::PString name;
};

struct NamedParticle {
  Kiv::PString name;
  std::array<float, 3> position{};
};

class MeshData : public Kiv::Particle {
 public:
  MeshData();
  ~MeshData() override;
  MeshData(const MeshData&) = delete;
  MeshData& operator=(const MeshData&) = delete;

  static int32_t LiveCount();

  virtual bool Load(const Kiv::PString& path, Container* owner, uint32_t flag);
  bool LoadAnimation(const Kiv::PString& path);
  virtual uint32_t GetPolygonCount() const;
  virtual const Kiv::PString& GetClassName() const;
  virtual const Kiv::MeshFileSupport* GetDefinitionData() const;
  virtual const VandruIndexedMeshDefinition* GetMeshDefinition() const;
  size_t GetOtherEntryCount() const { return otherEntries_.size(); }
  const std::vector<Kiv::PString>& GetOtherEntries() const { return otherEntries_; }
  virtual bool ForwardRenderCall(Kiv::Display* display, Kiv::ViewPort* viewport,
                                 const Kiv::Matrix4& matrix);

  bool IsLoaded() const { return loaded_; }
  const Kiv::PString& GetMeshPath() const { return meshPath_; }
  Container* GetOwner() const { return owner_; }
  VandruIndexedMeshInstance* GetInstance() const { return instance_.get(); }
  size_t GetAttachmentPointCount() const { return attachmentPoints_.size(); }
  const std::vector<AttachmentPoint>& GetAttachmentPoints() const { return attachmentPoints_; }
  bool HasAttachmentPoint(std::string_view name) const;
  // The reference points of the loaded instance (its named particles).
  size_t GetNamedParticleCount() const { return namedParticles_.size(); }
  const std::vector<NamedParticle>& GetNamedParticles() const { return namedParticles_; }
  const std::vector<Kiv::PString>& GetFurtherList() const { return furtherList_; }
  // The path relative to the asset folder, for messages.
  Kiv::PString RelativePath() const;

 protected:
  // Takes the instance the resource made; false when it is of the wrong
  // kind (the instance is then deleted).
  virtual bool TakeInstance(VandruIndexedMeshInstance* made);

 private:
  void RunLoad(void* argument);
  void RunAnimation(void* argument);
  bool LoadResource();
  void CopyAttachmentPoints();
  void CheckTextures();
  void Report(const Kiv::PString& text) const;

  std::unique_ptr<VandruIndexedMeshInstance> instance_;
  VandruGeometryBaseResource* resource_ = nullptr;  // Locked, one reference.
  Kiv::PString meshPath_;
  Kiv::PString animationPath_;
  Kiv::PString resolvedPath_;
  std::vector<AttachmentPoint> attachmentPoints_;
  std::vector<NamedParticle> namedParticles_;
  std::vector<Kiv::PString> otherEntries_;
  std::vector<Kiv::PString> furtherList_;
  std::unique_ptr<Kiv::SkeletonModifier> skeleton_;
  std::unique_ptr<Kiv::Animator> animator_;
  Container* owner_ = nullptr;
  uint32_t flag_ = 0;
  bool loaded_ = false;
  bool result_ = false;
};

class LODMeshData : public MeshData {
 public:
  // The number of levels of the LOD instance (0 before a load).
  uint32_t GetLevelCount() const;
  // The faces of the lowest level (the last one), selected for it.
  uint32_t GetPolygonCount() const override;
  const Kiv::PString& GetClassName() const override;
  const VandruIndexedMeshDefinition* GetMeshDefinition() const override;
  const VandruIndexedMeshLODDefinition* GetLODDefinition() const;
  VandruIndexedMeshLODInstance* GetLODInstance() const;

 protected:
  bool TakeInstance(VandruIndexedMeshInstance* made) override;
};

}  // namespace TETLib
