// The texture-argument presets from which the material plug-ins make their
// texture-stage states: one colour and one alpha preset per stage state.
// Built once (constant initialisation) and shared by the whole process.
#pragma once

#include "kiv/display/TextureArgs.h"

namespace Kiv {

extern const TextureArgs GlossRustColourArgs1;
extern const TextureArgs GlossRustAlphaArgs1;
extern const TextureArgs GlossRustColourArgs2;
extern const TextureArgs GlossRustAlphaArgs2;
extern const TextureArgs GlossRustColourArgs3;
extern const TextureArgs GlossRustAlphaArgs3;
extern const TextureArgs GlossRustColourArgs4;
extern const TextureArgs GlossRustAlphaArgs4;
extern const TextureArgs MultiPFXColourArgs1;
extern const TextureArgs MultiPFXAlphaArgs1;
extern const TextureArgs MultiPFXColourArgs2;
extern const TextureArgs MultiPFXAlphaArgs2;

}  // namespace Kiv
