#include "render/materials/TextureArgsPresets.h"

namespace Kiv {

namespace {
constexpr TexArg kUnused{0, 3, 3};
}  // namespace

const TextureArgs GlossRustColourArgs1(0, 2, 0, 1, {0, 0, 0}, {0, 0, 2}, kUnused, kUnused);
const TextureArgs GlossRustAlphaArgs1(0, 1, 1, 0, {0, 1, 0}, kUnused, kUnused, kUnused);
const TextureArgs GlossRustColourArgs2(1, 1, 0, 7, {0, 0, 2}, {0, 0, 0}, {0, 0, 3}, kUnused);
const TextureArgs GlossRustAlphaArgs2(1, 1, 1, 0, {0, 1, 1}, kUnused, kUnused, kUnused);
const TextureArgs GlossRustColourArgs3(0, 2, 0, 1, {0, 0, 0}, {0, 0, 2}, kUnused, kUnused);
const TextureArgs GlossRustAlphaArgs3(0, 1, 1, 1, {1, 1, 2}, {0, 1, 3}, kUnused, kUnused);
const TextureArgs GlossRustColourArgs4(1, 1, 0, 7, {0, 0, 3}, {0, 0, 0}, {0, 1, 0}, kUnused);
const TextureArgs GlossRustAlphaArgs4(1, 1, 1, 0, {0, 1, 1}, kUnused, kUnused, kUnused);
const TextureArgs MultiPFXColourArgs1(0, 2, 0, 1, {0, 0, 2}, {0, 0, 0}, kUnused, kUnused);
const TextureArgs MultiPFXAlphaArgs1(0, 1, 1, 1, {0, 1, 2}, {0, 1, 0}, kUnused, kUnused);
const TextureArgs MultiPFXColourArgs2(1, 1, 0, 0, {0, 0, 0}, kUnused, kUnused, kUnused);
const TextureArgs MultiPFXAlphaArgs2(1, 1, 1, 1, {0, 1, 0}, {0, 1, 2}, kUnused, kUnused);

}  // namespace Kiv
