// Kiv::Display: the null display. It draws nothing; it keeps the render
// states that materials set and records every change, so that code which
// drives a display can run and be checked without one.
//
// Each setter stores the new value and appends one line to the record:
// the state's name, a blank and the value(s), e.g. "CullMode 2",
// "AlphaBlendFunction 5 6", "TexCoordGeneration 1 3" (unit, mode) or
// "FogDensity 0.25" (%g). Getters answer the current value without
// recording. Initial values: blend mode 0, blend function (1, 0), alpha
// test off, depth write on, cull mode 0, fog mode 0, fog density 0, colour
// material mode 0, texture coordinate generation 0 on every unit,
// anti-aliasing off.
//
// Capabilities are answered from a table that starts empty (every query
// false) and that the owner fills (SetCapability). Extensions likewise
// (AddExtension; HasExtension compares names exactly).
//
// ConvertColorArray turns file colours (0xAARRGGBB words) into the display's
// vertex colour form, which for the null display is the same word: the
// array is left as it is.
//
// Texture units: 0 to kMaxTextureUnits - 1; other units are ignored by the
// setter (nothing recorded) and read as 0. The number of texture stages the
// display offers (GetTextureStageCount, 4 when new) is set by its owner.
//
// Programs: the display owns a vertex-program and a texture-combiner
// manager (kiv/display/Programs.h); RemoveProgramManagers takes both away,
// as a display without programmable stages has none. The active pixel
// program is recorded as "PixelProgram <name>" / "PixelProgram none".
//
// Texture-stage states are handles (1, 2, ...; 0 means refused) made from
// one colour and one alpha TextureArgs; the display keeps their arguments
// until they are given back. RefuseStageState(n) makes the n-th creation
// from now fail (1: the next one). Applying a state records
// "ApplyStageState <handle>", an unknown handle records nothing; resetting
// a stage records "ResetTextureStage <stage>".
//
// Transforms and textures: the world transform ("WorldTransform" and 16
// values), the texture transform of a stage ("TextureTransform <stage>" and
// 16 values, "TextureTransform <stage> reset" back to the identity), the
// texture bound to a unit ("Texture <unit> <name>", "Texture <unit> -" for
// an empty unit, "CubeTexture <unit> -" for an empty cube unit), the global
// ambient colour ("GlobalAmbient r g b a") and a stage's constant colour
// ("StageConstant <stage> r g b a"). GetState answers the states a material
// must leave as it found them (blending, alpha test, depth writes, culling,
// fog, colour material, coordinate generation, textures, texture
// transforms and the active pixel program), to compare before and after.
//
// Vertex types registered by materials (RegisterVertexType) are kept
// counted until the display dies and recorded as "RegisterVertexType <id>".
//
// Draws are recorded as a line "Draw <chunk> <vertex program> <pixel
// program> <first> <count>" and as a DrawRecord; chunks are numbered 1, 2,
// ... in the order this display first draws them, programs are named, "-"
// for none. SetRecording(false) stops all recording (lines and draw
// records) until it is turned on again. BeginFrame counts frames. Not thread-safe: a display
// belongs to the thread that renders.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "kiv/PString.h"
#include "kiv/String.h"
#include "kiv/basics/Matrix4.h"
#include "kiv/display/DisplayMaterial.h"
#include "kiv/display/Programs.h"
#include "kiv/display/TextureArgs.h"
#include "kiv/display/VertexType.h"

namespace Kiv {

class Display {
 public:
  static constexpr uint32_t kMaxTextureUnits = 8;

  struct DrawRecord {
    uint32_t chunk = 0;
    PString vertexProgram;
    PString pixelProgram;
    uint32_t first = 0;
    uint32_t count = 0;
  };
  struct State {
    uint32_t blendMode, blendSource, blendDestination;
    bool alphaTest, depthWrite;
    uint32_t cullMode, fogMode, colorMaterialMode;
    std::array<uint32_t, kMaxTextureUnits> texGen;
    std::array<const void*, kMaxTextureUnits> textures;
    std::array<Matrix4, kMaxTextureUnits> textureTransforms;
    const TextureCombiner* combiner;
    bool operator==(const State&) const = default;
  };
  struct StageState {
    TextureArgs colour;
    TextureArgs alpha;
  };

  Display();
  virtual ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  void SetCapability(uint32_t id, bool supported);
  bool GetCapability(uint32_t id) const { return capabilities_.count(id) != 0; }
  void AddExtension(std::string_view name) { extensions_.emplace(name); }
  bool HasExtension(std::string_view name) const { return extensions_.count(String(name)) != 0; }

  void SetAlphaBlendMode(uint32_t mode);
  uint32_t GetAlphaBlendMode() const { return blendMode_; }
  void SetAlphaBlendFunction(uint32_t source, uint32_t destination);
  uint32_t GetAlphaBlendSource() const { return blendSource_; }
  uint32_t GetAlphaBlendDestination() const { return blendDestination_; }
  void SetAlphaTest(bool enabled);
  bool GetAlphaTest() const { return alphaTest_; }
  void SetDepthWrite(bool enabled);
  bool GetDepthWrite() const { return depthWrite_; }
  void SetCullMode(uint32_t mode);
  uint32_t GetCullMode() const { return cullMode_; }
  void SetFogMode(uint32_t mode);
  uint32_t GetFogMode() const { return fogMode_; }
  void SetFogDensity(float density);
  float GetFogDensity() const { return fogDensity_; }
  void SetColorMaterialMode(uint32_t mode);
  uint32_t GetColorMaterialMode() const { return colorMaterialMode_; }
  void SetTexCoordGeneration(uint32_t unit, uint32_t mode);
  uint32_t GetTexCoordGeneration(uint32_t unit) const {
    return unit < kMaxTextureUnits ? texGen_[unit] : 0;
  }
  void SetAntiAliasing(bool enabled);
  bool GetAntiAliasing() const { return antiAliasing_; }

  void ConvertColorArray(uint32_t* colors, uint32_t count) const;

  void SetWorldTransform(const Matrix4& matrix);
  const Matrix4& GetWorldTransform() const { return world_; }
  void SetTextureTransform(uint32_t stage, const Matrix4& matrix);
  void ResetTextureTransform(uint32_t stage);
  // `texture` identifies the texture; `name` is what the record shows.
  void SetTexture(uint32_t unit, const void* texture, const PString& name);
  void SetEmptyTexture(uint32_t unit);
  void SetEmptyCubeTexture(uint32_t unit);
  const void* GetTexture(uint32_t unit) const {
    return unit < kMaxTextureUnits ? textures_[unit] : nullptr;
  }
  void SetGlobalAmbient(const Color& colour);
  const Color& GetGlobalAmbient() const { return globalAmbient_; }
  void SetTextureStageConstant(uint32_t stage, const Color& colour);
  State GetState() const;

  uint32_t GetTextureStageCount() const { return textureStages_; }
  void SetTextureStageCount(uint32_t count) { textureStages_ = count; }

  // Null after RemoveProgramManagers.
  VertexProgramManager* GetVertexProgramManager() const { return vertexPrograms_.get(); }
  TextureCombinerManager* GetTextureCombinerManager() const { return combiners_.get(); }
  void RemoveProgramManagers();
  // Null deactivates.
  void ActivateTextureCombiner(const TextureCombiner* combiner);
  const TextureCombiner* GetActiveTextureCombiner() const { return activeCombiner_; }

  uint32_t CreateTextureStageState(const TextureArgs& colour, const TextureArgs& alpha);
  void ReleaseTextureStageState(uint32_t handle);
  void RefuseStageState(uint32_t nth) { refuseStageIn_ = nth; }
  // Null for a handle not (or no longer) issued.
  const StageState* GetStageState(uint32_t handle) const;
  size_t GetLiveStageStateCount() const { return stageStates_.size(); }
  void ApplyTextureStageState(uint32_t handle);
  void ResetTextureStage(uint32_t stage);

  void RegisterVertexType(VertexType* type);
  size_t GetVertexTypeCount() const { return vertexTypes_.size(); }

  void BeginFrame() { ++frames_; }
  uint64_t GetFrameCount() const { return frames_; }

  void RecordDraw(const void* chunk, const VertexProgram* program, uint32_t first, uint32_t count);
  const std::vector<DrawRecord>& GetDraws() const { return draws_; }

  const std::vector<String>& GetRecord() const { return record_; }
  void ClearRecord() {
    record_.clear();
    draws_.clear();
  }
  void RecordLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void SetRecording(bool on) { recording_ = on; }

 private:
  std::set<uint32_t> capabilities_;
  std::set<String> extensions_;
  uint32_t blendMode_ = 0;
  uint32_t blendSource_ = 1;
  uint32_t blendDestination_ = 0;
  bool alphaTest_ = false;
  bool depthWrite_ = true;
  uint32_t cullMode_ = 0;
  uint32_t fogMode_ = 0;
  float fogDensity_ = 0.0f;
  uint32_t colorMaterialMode_ = 0;
  std::array<uint32_t, kMaxTextureUnits> texGen_{};
  bool antiAliasing_ = false;
  Matrix4 world_;
  std::array<Matrix4, kMaxTextureUnits> textureTransforms_{};
  std::array<const void*, kMaxTextureUnits> textures_{};
  Color globalAmbient_{0, 0, 0, 1};
  uint32_t textureStages_ = 4;
  std::unique_ptr<VertexProgramManager> vertexPrograms_;
  std::unique_ptr<TextureCombinerManager> combiners_;
  const TextureCombiner* activeCombiner_ = nullptr;
  std::map<uint32_t, StageState> stageStates_;
  uint32_t nextStageState_ = 1;
  uint32_t refuseStageIn_ = 0;
  uint64_t frames_ = 0;
  std::vector<Ref<VertexType>> vertexTypes_;
  std::map<const void*, uint32_t> chunkNumbers_;
  std::vector<DrawRecord> draws_;
  std::vector<String> record_;
  bool recording_ = true;
};

}  // namespace Kiv
