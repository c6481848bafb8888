#include "kiv/display/Display.h"

#include <cstdarg>

namespace Kiv {

Display::Display()
    : vertexPrograms_(std::make_unique<VertexProgramManager>(this)),
      combiners_(std::make_unique<TextureCombinerManager>(this)) {}

Display::~Display() = default;

void Display::RecordLine(const char* format, ...) {
  if (!recording_) return;
  va_list args;
  va_start(args, format);
  record_.push_back(StringPrintfV(format, args));
  va_end(args);
}

void Display::SetCapability(uint32_t id, bool supported) {
  if (supported) {
    capabilities_.insert(id);
    return;
  }
  capabilities_.erase(id);
}

void Display::SetAlphaBlendMode(uint32_t mode) {
  blendMode_ = mode;
  RecordLine("AlphaBlendMode %u", mode);
}

void Display::SetAlphaBlendFunction(uint32_t source, uint32_t destination) {
  blendSource_ = source;
  blendDestination_ = destination;
  RecordLine("AlphaBlendFunction %u %u", source, destination);
}

void Display::SetAlphaTest(bool enabled) {
  alphaTest_ = enabled;
  RecordLine("AlphaTest %d", enabled ? 1 : 0);
}

void Display::SetDepthWrite(bool enabled) {
  depthWrite_ = enabled;
  RecordLine("DepthWrite %d", enabled ? 1 : 0);
}

void Display::SetCullMode(uint32_t mode) {
  cullMode_ = mode;
  RecordLine("CullMode %u", mode);
}

void Display::SetFogMode(uint32_t mode) {
  fogMode_ = mode;
  RecordLine("FogMode %u", mode);
}

void Display::SetFogDensity(float density) {
  fogDensity_ = density;
  RecordLine("FogDensity %g", double(density));
}

void Display::SetColorMaterialMode(uint32_t mode) {
  colorMaterialMode_ = mode;
  RecordLine("ColorMaterialMode %u", mode);
}

void Display::SetTexCoordGeneration(uint32_t unit, uint32_t mode) {
  if (unit >= kMaxTextureUnits) return;
  texGen_[unit] = mode;
  RecordLine("TexCoordGeneration %u %u", unit, mode);
}

void Display::SetAntiAliasing(bool enabled) {
  antiAliasing_ = enabled;
  RecordLine("AntiAliasing %d", enabled ? 1 : 0);
}

void Display::RemoveProgramManagers() {
  vertexPrograms_.reset();
  combiners_.reset();
}

void Display::ActivateTextureCombiner(const TextureCombiner* combiner) {
  activeCombiner_ = combiner;
  RecordLine("PixelProgram %s", combiner != nullptr ? combiner->GetName().c_str() : "none");
}

uint32_t Display::CreateTextureStageState(const TextureArgs& colour, const TextureArgs& alpha) {
  if (refuseStageIn_ != 0 && --refuseStageIn_ == 0) return 0;
  const uint32_t handle = nextStageState_++;
  stageStates_.emplace(handle, StageState{colour, alpha});
  return handle;
}

void Display::ReleaseTextureStageState(uint32_t handle) {
  stageStates_.erase(handle);
}

const Display::StageState* Display::GetStageState(uint32_t handle) const {
  const auto found = stageStates_.find(handle);
  return found == stageStates_.end() ? nullptr : &found->second;
}

void Display::ApplyTextureStageState(uint32_t handle) {
  if (stageStates_.count(handle) == 0) return;
  RecordLine("ApplyStageState %u", handle);
}

void Display::RegisterVertexType(VertexType* type) {
  if (type == nullptr) return;
  vertexTypes_.emplace_back(type);
  RecordLine("RegisterVertexType %u", type->GetId());
}

void Display::ResetTextureStage(uint32_t stage) {
  RecordLine("ResetTextureStage %u", stage);
}

void Display::RecordDraw(const void* chunk, const VertexProgram* program, uint32_t first,
                         uint32_t count) {
  if (!recording_) return;
  const auto number =
      chunkNumbers_.emplace(chunk, static_cast<uint32_t>(chunkNumbers_.size() + 1)).first->second;
  DrawRecord draw;
  draw.chunk = number;
  if (program != nullptr) draw.vertexProgram = program->GetName();
  if (activeCombiner_ != nullptr) draw.pixelProgram = activeCombiner_->GetName();
  draw.first = first;
  draw.count = count;
  RecordLine("Draw %u %s %s %u %u", number,
             draw.vertexProgram.Empty() ? "-" : draw.vertexProgram.c_str(),
             draw.pixelProgram.Empty() ? "-" : draw.pixelProgram.c_str(), first, count);
  draws_.push_back(std::move(draw));
}

namespace {

String MatrixText(const Matrix4& matrix) {
  String text;
  for (float v : matrix.m) text += StringPrintf(" %g", double(v));
  return text;
}

}  // namespace

void Display::SetWorldTransform(const Matrix4& matrix) {
  world_ = matrix;
  RecordLine("WorldTransform%s", MatrixText(matrix).c_str());
}

void Display::SetTextureTransform(uint32_t stage, const Matrix4& matrix) {
  if (stage >= kMaxTextureUnits) return;
  textureTransforms_[stage] = matrix;
  RecordLine("TextureTransform %u%s", stage, MatrixText(matrix).c_str());
}

void Display::ResetTextureTransform(uint32_t stage) {
  if (stage >= kMaxTextureUnits) return;
  textureTransforms_[stage] = Matrix4();
  RecordLine("TextureTransform %u reset", stage);
}

void Display::SetTexture(uint32_t unit, const void* texture, const PString& name) {
  if (unit >= kMaxTextureUnits) return;
  textures_[unit] = texture;
  RecordLine("Texture %u %s", unit, texture != nullptr && !name.Empty() ? name.c_str() : "-");
}

void Display::SetEmptyTexture(uint32_t unit) {
  if (unit >= kMaxTextureUnits) return;
  textures_[unit] = nullptr;
  RecordLine("Texture %u -", unit);
}

void Display::SetEmptyCubeTexture(uint32_t unit) {
  if (unit >= kMaxTextureUnits) return;
  textures_[unit] = nullptr;
  RecordLine("CubeTexture %u -", unit);
}

void Display::SetGlobalAmbient(const Color& colour) {
  globalAmbient_ = colour;
  RecordLine("GlobalAmbient %g %g %g %g", double(colour.r), double(colour.g), double(colour.b),
             double(colour.a));
}

void Display::SetTextureStageConstant(uint32_t stage, const Color& colour) {
  RecordLine("StageConstant %u %g %g %g %g", stage, double(colour.r), double(colour.g),
             double(colour.b), double(colour.a));
}

Display::State Display::GetState() const {
  return State{blendMode_,  blendSource_, blendDestination_,  alphaTest_,
               depthWrite_, cullMode_,    fogMode_,           colorMaterialMode_,
               texGen_,     textures_,    textureTransforms_, activeCombiner_};
}

void Display::ConvertColorArray(uint32_t* /*colors*/, uint32_t /*count*/) const {}

}  // namespace Kiv
