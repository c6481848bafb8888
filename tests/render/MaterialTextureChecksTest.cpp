// Load checks over a list of materials and the textures they hold.
#include "render/meshes/MaterialTextureChecks.h"

#include <gtest/gtest.h>

namespace {

struct TextureState {
  bool loaded;
  bool failed;
  uint32_t resource;
};

// A material in load state `state` with one texture definition per entry
// of `textures` (slot i, or no texture at all for a null entry).
Kiv::Material* MakeMaterial(uint32_t state, const std::vector<const TextureState*>& textures) {
  auto* material = new Kiv::Material(Kiv::PString("tbumptex"));
  material->SetLoadState(state);
  for (uint32_t slot = 0; slot < textures.size(); ++slot) {
    material->AddTextureDefinition(slot, Kiv::PString("t"), 1.0f);
    if (textures[slot] == nullptr) continue;
    auto* texture = new Kiv::MaterialTexture;
    texture->loaded = textures[slot]->loaded;
    texture->failed = textures[slot]->failed;
    texture->resourceState = textures[slot]->resource;
    material->SetTexture(slot, texture, 1.0f);
  }
  return material;
}

TEST(MaterialTextureChecks, StateFollowsTheFirstMaterialThatIsNotReady) {
  const TextureState loaded{true, false, 0}, loading{false, false, 5}, failed{false, true, 5},
      failedResource{false, false, 1};
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, std::vector<const TextureState*>>> materials;
    uint32_t state;
    bool request;
  };
  const Case cases[] = {
      {"no materials", {}, 0, true},
      {"every material ready", {{0, {&failed}}, {0, {}}}, 0, true},
      {"a failed material", {{0, {}}, {2, {}}}, 1, true},
      {"waiting without textures", {{4, {}}}, 1, true},
      {"waiting, all textures loaded", {{4, {&loaded, nullptr}}}, 5, true},
      {"waiting on a loading texture", {{4, {&loaded, &loading}}}, 5, true},
      {"waiting on a failed texture", {{4, {&failed}}}, 1, false},
      {"waiting on a texture whose resource failed", {{4, {&failedResource}}}, 1, true},
      {"the first texture not loaded decides", {{4, {&loading, &failedResource}}}, 5, true},
      {"the first that is not ready decides", {{4, {&loading}}, {2, {}}}, 5, true},
  };
  for (const Case& c : cases) {
    std::vector<Kiv::Ref<Kiv::Material>> list;
    for (const auto& [state, textures] : c.materials)
      list.emplace_back(MakeMaterial(state, textures));
    EXPECT_EQ(MaterialTexturesState(list), c.state) << c.what;
    EXPECT_EQ(RequestMaterialTextures(list), c.request) << c.what;
  }
}

TEST(MaterialTextureChecks, OnlyTexturesOfWaitingMaterialsAreRequested) {
  const TextureState loading{false, false, 5}, loaded{true, false, 0};
  std::vector<Kiv::Ref<Kiv::Material>> list;
  list.emplace_back(MakeMaterial(0, {&loading}));
  list.emplace_back(MakeMaterial(4, {&loaded, &loading}));
  EXPECT_TRUE(RequestMaterialTextures(list));
  EXPECT_EQ(list[0]->GetTexture(0)->loadRequests, 0u) << "a ready material takes none";
  EXPECT_EQ(list[1]->GetTexture(0)->loadRequests, 0u) << "a loaded texture is not asked again";
  EXPECT_EQ(list[1]->GetTexture(1)->loadRequests, 1u);
}

}  // namespace
