#include "render/materials/BumpMaterialPlugins.h"

#include "kiv/RenderKernel.h"
#include "render/materials/MaterialPluginNames.h"
#include "render/materials/ProgramTexts.h"
#include "render/materials/VandruBumpEnvMaterial.h"
#include "render/materials/VandruBumpGlossMaterial.h"

namespace Kiv {

namespace {

constexpr uint32_t kCapabilityPixelPrograms = 21;
constexpr uint32_t kCapabilityVertexPrograms = 17;
constexpr uint32_t kVertexProgramType = 99;

constexpr VandruBumpFamilyPlugin::ProgramNames kGlossNames{
    "VandruBumpGloss_ParallelLight", "VandruBumpGlossMat_ParallelLight",
    "VandruBumpGloss_SpotLight", "VandruBumpGlossMat_SpotLight"};
constexpr VandruBumpFamilyPlugin::ProgramNames kRustNames{
    "VandruBump_ParallelLight", "VandruBumpRustMat_ParallelLight", "VandruBump_SpotLight",
    "VandruBumpRustMat_ParallelLight"};
constexpr VandruBumpFamilyPlugin::ProgramNames kBumpNames{
    "VandruBump_ParallelLight", "VandruBumpMat_ParallelLight", "VandruBump_SpotLight",
    "VandruBumpMat_ParallelLight"};
constexpr VandruBumpFamilyPlugin::ProgramNames kEnvNames{
    "VandruBumpEnv_ParallelLight", "VandruBumpEnvMat_ParallelLight", "VandruBumpEnv_SpotLight",
    "VandruBumpEnvMat_SpotLight"};

}  // namespace

VandruBumpFamilyPlugin::VandruBumpFamilyPlugin(const char* typeName, const char* uid,
                                               const char* fallback, const ProgramNames& names,
                                               const ProgramNames* rustNames,
                                               std::initializer_list<const char*> pixelTexts)
    : MaterialPlugin(PString(typeName), PString(uid)),
      fallback_(fallback),
      names_(names),
      rustNames_(rustNames) {
  size_t i = 0;
  for (const char* text : pixelTexts) {
    if (i < std::size(pixelTexts_)) pixelTexts_[i++] = text;
  }
}

VandruBumpFamilyPlugin::~VandruBumpFamilyPlugin() {
  ReleaseRef(alphaBlend_);
  ReleaseRef(materialChunks_);
  ReleaseRef(alphaMask_);
  ReleasePrograms();
}

bool VandruBumpFamilyPlugin::IsSupported(Display* display, PString& fallback) {
  if (display != nullptr && display->GetCapability(kCapabilityPixelPrograms) &&
      display->GetCapability(kCapabilityVertexPrograms))
    return true;
  fallback = PString(fallback_);
  return false;
}

Material* VandruBumpFamilyPlugin::CreateInstance(MaterialManager* manager, RenderKernel* kernel) {
  if (!AcquireSharedResources(kernel)) return nullptr;
  return NewMaterial(manager);
}

bool VandruBumpFamilyPlugin::AcquireSharedResources(RenderKernel* kernel) {
  if (!AcquireRenderingCaches(kernel)) return false;
  if (CreatePrograms(kernel)) return true;
  ReleasePrograms();
  return false;
}

bool VandruBumpFamilyPlugin::AcquireRenderingCaches(RenderKernel* kernel) {
  if (kernel == nullptr) return false;
  RenderingCacheManager& manager = *kernel->GetRenderingCacheManager();
  if (alphaBlend_ == nullptr)
    alphaBlend_ =
        AcquireRenderingCache<AlphaBlendCache>(manager, AlphaBlendCache::AlphaBlendCacheID);
  if (alphaMask_ == nullptr)
    alphaMask_ = AcquireRenderingCache<AlphaMaskCache>(manager, AlphaMaskCache::AlphaMaskCacheID);
  if (materialChunks_ == nullptr)
    materialChunks_ = AcquireRenderingCache<MaterialChunkCache>(
        manager, MaterialChunkCache::MaterialChunkCacheID);
  return true;
}

void VandruBumpFamilyPlugin::BuildPrograms() {
  VertexProgramManager::RegisterBuiltInPrograms(PString(kBumpVertexProgramSet),
                                                GetBumpVertexProgramText());
  for (const char* name : pixelTexts_) {
    if (name != nullptr)
      TextureCombinerManager::RegisterBuiltInPrograms(PString(name), GetPixelProgramText(name));
  }
}

bool VandruBumpFamilyPlugin::CreatePrograms(RenderKernel* kernel) {
  if (programs_.parallelVertex && programs_.parallelPixel && programs_.spotVertex &&
      programs_.spotPixel)
    return true;
  if (kernel == nullptr || kernel->GetDisplay() == nullptr) return false;
  BuildPrograms();
  Display& display = *kernel->GetDisplay();
  if (display.GetVertexProgramManager() == nullptr ||
      display.GetTextureCombinerManager() == nullptr)
    return false;
  if (!CreateSet(kernel, display, names_, programs_)) return false;
  return rustNames_ == nullptr || CreateSet(kernel, display, *rustNames_, rustPrograms_);
}

// Creation order: parallel vertex, spot vertex, parallel pixel, spot pixel.
bool VandruBumpFamilyPlugin::CreateSet(RenderKernel* kernel, Display& display,
                                       const ProgramNames& names, ProgramSet& set) {
  VertexProgramManager& vertex = *display.GetVertexProgramManager();
  TextureCombinerManager& pixel = *display.GetTextureCombinerManager();
  const PString setName(kBumpVertexProgramSet);
  set.parallelVertex.reset(vertex.CreateVertexProgram(setName, PString(names.parallelVertex),
                                                      kernel, kVertexProgramType, 0));
  if (!set.parallelVertex) return false;
  set.spotVertex.reset(vertex.CreateVertexProgram(setName, PString(names.spotVertex), kernel,
                                                  kVertexProgramType, 0));
  if (!set.spotVertex) return false;
  set.parallelPixel.reset(pixel.CreateTextureCombiner(PString(names.parallelPixel), kernel, 0));
  if (!set.parallelPixel) return false;
  set.spotPixel.reset(pixel.CreateTextureCombiner(PString(names.spotPixel), kernel, 0));
  return static_cast<bool>(set.spotPixel);
}

void VandruBumpFamilyPlugin::ReleasePrograms() {
  programs_ = ProgramSet{};
  rustPrograms_ = ProgramSet{};
}

VandruBumpGlossMaterialPlugin::VandruBumpGlossMaterialPlugin()
    : VandruBumpFamilyPlugin(kBumpGlossType.type, kBumpGlossType.uid, kGlossRustType.type,
                             kGlossNames, &kRustNames,
                             {"VandruBumpGlossMat_ParallelLight", "VandruBumpGlossMat_SpotLight",
                              "VandruBumpRustMat_ParallelLight"}) {}

VandruBumpMaterialPlugin::VandruBumpMaterialPlugin()
    : VandruBumpFamilyPlugin(kBumpType.type, kBumpType.uid,
                             OneTextureMaterialPlugin::UNDECORATED_TYPE, kBumpNames, nullptr,
                             {"VandruBumpMat_ParallelLight"}) {}

VandruBumpEnvMaterialPlugin::VandruBumpEnvMaterialPlugin()
    : VandruBumpFamilyPlugin(kBumpEnvType.type, kBumpEnvType.uid, kOneTexNoAlphaType.type,
                             kEnvNames, nullptr,
                             {"VandruBumpEnvMat_ParallelLight", "VandruBumpEnvMat_SpotLight"}) {}

Material* VandruBumpGlossMaterialPlugin::NewMaterial(MaterialManager* manager) {
  return new VandruBumpGlossMaterial(manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                     GetAlphaBlendCache(), GetPrograms(), GetRustPrograms());
}

Material* VandruBumpMaterialPlugin::NewMaterial(MaterialManager* manager) {
  return new VandruBumpMaterial(manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                GetAlphaBlendCache(), GetPrograms());
}

Material* VandruBumpEnvMaterialPlugin::NewMaterial(MaterialManager* manager) {
  return new VandruBumpEnvMaterial(manager, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                   GetAlphaBlendCache(), GetPrograms());
}

}  // namespace Kiv
