// The plug-in of "tmpfx": supported on a display with at least two
// texture stages, else the undecorated one-texture type.
//
// AcquireRenderingCaches takes the material-chunk, alpha-mask and
// alpha-blend caches (found by engine id or made), then makes the stage-0
// state (MultiPFXColourArgs1 and MultiPFXAlphaArgs1) and the stage-1 state
// (MultiPFXColourArgs2 and MultiPFXAlphaArgs2) with the kernel's display
// once. Without a kernel or display, or when either state is refused, it
// answers false and holds no state (a stage-0 state made before a refused
// stage-1 state is given back). CreateInstance makes a
// VandruMultiPFXMaterial with the caches and both states, or null when
// AcquireRenderingCaches fails. The destructor releases the caches and
// gives the states back to the display that made them, which must outlive
// the plug-in. Rendering thread only.
#pragma once

#include <cstdint>

#include "kiv/display/MaterialPlugin.h"

namespace Kiv {

class VandruMultiPFXMaterialPlugin : public MaterialPlugin {
 public:
  VandruMultiPFXMaterialPlugin();
  ~VandruMultiPFXMaterialPlugin() override;

  bool IsSupported(Display* display, PString& fallback) override;
  bool AcquireRenderingCaches(RenderKernel* kernel);
  Material* CreateInstance(MaterialManager* manager, RenderKernel* kernel) override;

  uint32_t GetStage0State() const { return stage0_; }
  uint32_t GetStage1State() const { return stage1_; }
  MaterialChunkCache* GetMaterialChunkCache() const { return materialChunks_; }
  AlphaMaskCache* GetAlphaMaskCache() const { return alphaMask_; }
  AlphaBlendCache* GetAlphaBlendCache() const { return alphaBlend_; }

 private:
  MaterialChunkCache* materialChunks_ = nullptr;
  AlphaMaskCache* alphaMask_ = nullptr;
  AlphaBlendCache* alphaBlend_ = nullptr;
  uint32_t stage0_ = 0;
  uint32_t stage1_ = 0;
  Display* display_ = nullptr;
};

}  // namespace Kiv
