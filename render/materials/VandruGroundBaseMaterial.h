// Kiv::VandruGroundBaseMaterial ("groundbase"): a one-texture material
// with its own depth-write (on when new) and alpha-test (off when new)
// settings, built with the material-chunk and alpha-blend caches only.
//
// SetDisplayState: the one-texture material's, then the alpha test as the
// material's flag (the display's mode saved) and depth writes as its flag.
// ClearDisplayState: the one-texture material's, the alpha test put back,
// depth writes on. Bind and Unbind run them for pass 0 only. Clone copies
// the two flags; Equals needs the same class and flags and the one-texture
// material's equality. Rendering thread only.
#pragma once

#include "kiv/display/OneTextureMaterial.h"

namespace Kiv {

class VandruGroundBaseMaterial : public OneTextureMaterial {
 public:
  VandruGroundBaseMaterial(MaterialManager* manager, MaterialChunkCache* chunks,
                           AlphaBlendCache* blend);

  Material* Clone() const override;
  bool Equals(const Material& other) const override;
  void Bind(Display* display, ViewPort* viewport, int pass) override;
  void Unbind(Display* display, ViewPort* viewport, int pass) override;
  void SetDisplayState(Display* display) override;
  void ClearDisplayState(Display* display) override;

  bool GetDepthWrite() const { return depthWrite_; }
  bool GetAlphaTest() const { return alphaTest_; }

 protected:
  VandruGroundBaseMaterial(const PString& kind, MaterialManager* manager,
                           MaterialChunkCache* chunks, AlphaBlendCache* blend);
  void CopyFlags(VandruGroundBaseMaterial& copy) const {
    copy.depthWrite_ = depthWrite_;
    copy.alphaTest_ = alphaTest_;
  }

 private:
  bool depthWrite_ = true;
  bool alphaTest_ = false;
  bool savedAlphaTest_ = true;
};

}  // namespace Kiv
