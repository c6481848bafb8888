// Kiv::Material: how chunks of a mesh are drawn, and the maker of their
// geometry chunks.
//
// A material has a kind (its type name, e.g. "tbumptex"), a request name
// (the decorated name it was asked for: owner "*" folder "*" kind), a
// display material, flags (bit 0 two-sided), a factor (1.0 when new) and
// name/value properties in the order they were added. Materials are counted
// (Kiv::ReferenceCount).
//
// Texture definitions (slot, texture name, value) are kept in the order
// they were added; SetTextureDefinition replaces the one of its slot.
// IsLoaded answers 0 when the material is ready, 4 while it waits for its
// textures, other values when it failed; GetTexture the texture of a slot
// (null when there is none). The base material is ready and holds no
// textures. SetTexture gives a slot a texture (3 for a null texture, the
// slot unchanged; else 0); the by-name form is the one-texture material's
// (the base answers 3). DuplicateTexture gives a slot its texture's own
// copy (3 for an empty slot). Activate and SetResourcePriority pass on to
// the material's textures. GetTypeName is the kind. Equals answers
// whether another material draws the same: same kind, display material,
// flags, factor, properties and texture definitions.
//
// Clone answers a new material of the same kind and settings (null when
// none can be made); CreateInstance makes a material by type name through
// a material manager (null without one). The alpha hint tells whether the
// material blends (1), not (0) or is not worked out yet (-1, when new);
// the base CacheAlphaHint works it out from the diffuse alpha.
//
// Bind and Unbind bracket the draws of one pass (the base does nothing);
// RenderNumChunks draws a list of chunks, each with its lights and matrix
// (the base: RenderChunk for each).
//
// RenderChunk draws a whole chunk, RenderPrimitives `count` indices of
// `indices` (or of the chunk's own index array when null) from `first`,
// as primitives of the kind `primitive` (4 triangle list, 1 line list, 0
// points). The base material records one draw of that range on the
// display and nothing without a display.
//
// SetLightingState hands the display the lights and the material's colours
// for a draw; the null display records "LightingState <lights> <specular
// r g b a>".
//
// CreateGeometryChunk makes a chunk for this material's vertex layout; the
// base material's layout is the standard one of GeometryChunk::Create with
// no further elements. Null when the chunk cannot be made. Not thread-safe.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/display/DisplayLight.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/display/MaterialTexture.h"

namespace Kiv {

class Display;
class GeometryChunk;
class MaterialManager;
class ResourceDatabase;
struct Matrix4;
struct StandardChunkHint;
struct ViewPort;

class Material : public ReferenceCount {
 public:
  static constexpr uint32_t kTwoSided = 1;

  explicit Material(const PString& kind) : kind_(kind) {}
  ~Material() override = default;
  Material(const Material&) = delete;
  Material& operator=(const Material&) = delete;

  const PString& GetKind() const { return kind_; }
  const PString& GetRequestName() const { return requestName_; }
  void SetRequestName(const PString& name) { requestName_ = name; }

  const DisplayMaterial& GetDisplayMaterial() const { return displayMaterial_; }
  void SetDisplayMaterialProperties(const DisplayMaterial& material) {
    displayMaterial_ = material;
  }
  uint32_t GetFlags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  float GetFactor() const { return factor_; }
  void SetFactor(float factor) { factor_ = factor; }
  void AddProperty(const PString& name, const PString& value) {
    properties_.emplace_back(name, value);
  }
  const std::vector<std::pair<PString, PString>>& GetProperties() const { return properties_; }

  struct TextureDefinition {
    uint32_t slot = 0;
    PString name;
    float value = 0.0f;
    bool operator==(const TextureDefinition&) const = default;
  };
  void AddTextureDefinition(uint32_t slot, const PString& name, float value) {
    textures_.push_back(TextureDefinition{slot, name, value});
  }
  const std::vector<TextureDefinition>& GetTextureDefinitions() const { return textures_; }

  void SetTextureDefinition(uint32_t slot, const PString& name, float value);

  virtual uint32_t IsLoaded() const { return loadState_; }
  void SetLoadState(uint32_t state) { loadState_ = state; }
  virtual MaterialTexture* GetTexture(uint32_t slot) const;
  virtual uint32_t SetTexture(uint32_t slot, MaterialTexture* texture, float amount);
  virtual uint32_t SetTexture(uint32_t slot, const ResourceDatabase* database, const PString& name,
                              float amount);
  virtual uint32_t DuplicateTexture(uint32_t slot);
  virtual void Activate(int level);
  virtual void SetResourcePriority(float priority);
  float GetResourcePriority() const { return priority_; }

  const PString& GetTypeName() const { return kind_; }
  virtual bool Equals(const Material& other) const {
    return kind_ == other.kind_ && displayMaterial_ == other.displayMaterial_ &&
           flags_ == other.flags_ && factor_ == other.factor_ && properties_ == other.properties_ &&
           textures_ == other.textures_;
  }
  virtual Material* Clone() const;
  static Material* CreateInstance(const PString& typeName, MaterialManager* manager);

  int32_t GetAlphaHint() const { return alphaHint_; }
  void SetAlphaHint(int32_t hint) { alphaHint_ = hint; }
  virtual void CacheAlphaHint();

  void SetLightingState(Display* display, const DisplayLightList* lights) const;

  virtual void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                           const DisplayLightList* lights, const Matrix4* matrix, int pass);
  virtual void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                const DisplayLightList* lights, const Matrix4* matrix,
                                uint32_t first, const uint16_t* indices, uint32_t count,
                                uint32_t primitive, int pass);
  virtual void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk** chunks,
                               const DisplayLightList** lights, const Matrix4** matrices,
                               uint32_t count, int pass);
  virtual void Bind(Display* /*display*/, ViewPort* /*viewport*/, int /*pass*/) {}
  virtual void Unbind(Display* /*display*/, ViewPort* /*viewport*/, int /*pass*/) {}

  // The chunk flags a material gives a chunk of `kind` made with `hint`:
  // kOwnVertices (0x1000) when the hint asks for lighting on the CPU, whose
  // results belong to the one chunk.
  static constexpr uint32_t kOwnVertices = 0x1000;
  static uint32_t MakeGeometryChunkFlags(uint32_t kind, const StandardChunkHint& hint);

  virtual GeometryChunk* CreateGeometryChunk(uint32_t vertices, uint32_t faces, uint32_t indices,
                                             uint32_t faceNormals, uint32_t kind,
                                             const StandardChunkHint& hint);
  // The vertex type id a chunk made with these arguments would have (its
  // display vertex type's, else its layout's; 0 for the standard chunk or
  // when no chunk can be made). The chunk is made and let go.
  virtual uint32_t QueryVertexType(uint32_t vertices, uint32_t faces, uint32_t indices,
                                   uint32_t faceNormals, uint32_t kind,
                                   const StandardChunkHint& hint);

 protected:
  // Copies the settings of `from` (colours, flags, factor, properties,
  // texture definitions and slot textures) into this material.
  void InitInstance(const Material& from);

 private:
  PString kind_;
  PString requestName_;
  DisplayMaterial displayMaterial_;
  uint32_t flags_ = 0;
  float factor_ = 1.0f;
  std::vector<std::pair<PString, PString>> properties_;
  std::vector<TextureDefinition> textures_;
  uint32_t loadState_ = 0;
  std::vector<std::pair<uint32_t, Ref<MaterialTexture>>> slotTextures_;
  float priority_ = 0.0f;
  int32_t alphaHint_ = -1;
};

}  // namespace Kiv
