// Kiv::ReflectiveMaterial: the engine's one-texture material with a
// reflection texture blended in by texture-stage states.
//
// It holds the reflection texture (may be null), the gloss amount, the
// reflection mode bits (bit 0 generated sphere coordinates, bit 1
// generated cube coordinates) and the texture-stage states its plug-in made
// (count and handles; not owned). ChangeTexGen switches the display's
// coordinate generation of unit 1 on when the chunk has no vertex program
// (cube reflection for a cube texture, else sphere) and notes it in the
// mode bits; SetSphericalTexureCoordinates computes sphere-map coordinates
// on the chunk, which the null display records as "SphereCoordinates".
// Rendering thread only.
#pragma once

#include <array>
#include <cstdint>

#include "kiv/display/OneTextureMaterial.h"

namespace Kiv {

class ReflectiveMaterial : public OneTextureMaterial {
 public:
  ReflectiveMaterial(const PString& kind, MaterialManager* manager, MaterialChunkCache* chunks,
                     AlphaBlendCache* blend, uint32_t stateCount,
                     const std::array<uint32_t, 4>& states)
      : OneTextureMaterial(kind, manager, chunks, nullptr, blend),
        stateCount_(stateCount),
        states_(states) {}

  MaterialTexture* GetReflectionTexture() const { return reflection_.get(); }
  void SetReflectionTexture(MaterialTexture* texture) { reflection_.reset(texture); }
  float GetGlossAmount() const { return gloss_; }
  void SetGlossAmount(float amount) { gloss_ = amount; }
  uint32_t GetModeFlags() const { return modeFlags_; }
  uint32_t GetStateCount() const { return stateCount_; }
  const std::array<uint32_t, 4>& GetStates() const { return states_; }

  void ChangeTexGen(Display* display, bool noVertexProgram);
  void SetSphericalTexureCoordinates(Display* display, GeometryChunk* chunk, const Matrix4* matrix);

 protected:
  void ClearModeFlags(uint32_t bits) { modeFlags_ &= ~bits; }

 private:
  Ref<MaterialTexture> reflection_;
  float gloss_ = 0.0f;
  uint32_t modeFlags_ = 0;
  uint32_t stateCount_;
  std::array<uint32_t, 4> states_;
};

}  // namespace Kiv
