// The program materials' own texture slots, cloning and equality.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "MaterialTestSupport.h"

namespace {

Kiv::Ref<Kiv::MaterialTexture> Texture(const char* name, bool loaded = true) {
  Kiv::Ref<Kiv::MaterialTexture> texture(new Kiv::MaterialTexture);
  texture->name = Kiv::PString(name);
  texture->loaded = loaded;
  return texture;
}

// Slots 8 (bump), 9 (gloss, env) and 12 (multi-texture) follow one rule.
TEST(MaterialTextures, OwnSlotsFollowOneRule) {
  const struct {
    const char* type;
    uint32_t slot;
    bool startsShared;  // else empty
  } rows[] = {{"tbumptex", 8, true},
              {"tbumpgloss", 8, true},
              {"tbumpgloss", 9, true},
              {"tbumpenv", 9, true},
              {"tmpfx", 12, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.type) + " slot " + std::to_string(row.slot));
    materialtest::Engine engine;
    engine.manager.RefuseTexture(Kiv::PString("missing.texture"));
    Kiv::Ref<Kiv::Material> material = engine.Make(row.type);
    ASSERT_TRUE(material);
    Kiv::MaterialTexture* start = material->GetTexture(row.slot);
    EXPECT_EQ(start != nullptr, row.startsShared);
    EXPECT_EQ(start == nullptr ? "" : start->name.Str(), row.startsShared ? "(shared 0)" : "");
    EXPECT_EQ(material->IsLoaded(), row.startsShared ? 0u : 4u);
    EXPECT_EQ(material->DuplicateTexture(row.slot), row.startsShared ? 0u : 3u);

    material->SetResourcePriority(2.5f);
    auto texture = Texture("normals.texture");
    EXPECT_EQ(material->SetTexture(row.slot, texture.get(), 0.75f), 0u);
    EXPECT_EQ(material->GetTexture(row.slot), texture.get());
    EXPECT_EQ(texture->priority, 2.5f);
    ASSERT_FALSE(material->GetTextureDefinitions().empty());
    const auto& definition = material->GetTextureDefinitions().back();
    EXPECT_EQ(std::tuple(definition.slot, definition.name.Str(), definition.value),
              std::tuple(row.slot, "normals.texture", 0.75f));

    EXPECT_EQ(material->SetTexture(row.slot, nullptr, 1.0f), 3u);
    EXPECT_EQ(material->SetTexture(row.slot, nullptr, Kiv::PString("missing.texture"), 1.0f), 3u);
    EXPECT_EQ(material->GetTexture(row.slot), texture.get()) << "a refused texture changes nothing";

    Kiv::Ref<Kiv::Material> clone(material->Clone());
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->GetKind(), material->GetKind());
    EXPECT_TRUE(clone->Equals(*material));
    EXPECT_EQ(clone->GetTexture(row.slot), texture.get());

    texture->loaded = false;
    EXPECT_EQ(material->IsLoaded(), 4u);
    material->CacheAlphaHint();
    EXPECT_EQ(material->SetTexture(row.slot, nullptr, Kiv::PString("other.texture"), 1.0f), 0u);
    EXPECT_EQ(material->GetTexture(row.slot)->name.Str(), "other.texture");
    EXPECT_EQ(material->GetAlphaHint(), -1);
    EXPECT_EQ(material->IsLoaded(), 0u);
    EXPECT_FALSE(clone->Equals(*material)) << "the slots differ";

    EXPECT_EQ(material->DuplicateTexture(row.slot), 0u);
    EXPECT_NE(material->GetTexture(row.slot),
              engine.manager.GetTexture(nullptr, Kiv::PString("other.texture")));
    EXPECT_EQ(material->GetTexture(row.slot)->name.Str(), "other.texture");
  }
}

TEST(MaterialTextures, EqualityNeedsTheSameClassAndSettings) {
  materialtest::Engine engine;
  auto gloss = engine.Make<Kiv::VandruBumpExtraMapMaterial>("tbumpgloss");
  auto env = engine.Make<Kiv::VandruBumpExtraMapMaterial>("tbumpenv");
  ASSERT_TRUE(gloss && env);
  EXPECT_FALSE(gloss->Equals(*env));
  auto map = Texture("gloss.texture");
  gloss->SetTexture(9, map.get(), 0.5f);
  EXPECT_EQ(gloss->GetAmount(), 0.5f);
  Kiv::Ref<Kiv::Material> copy(gloss->Clone());
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->Equals(*gloss));
  gloss->SetAmount(0.25f);
  EXPECT_FALSE(copy->Equals(*gloss));

  for (const char* type : {"tbumptex", "tglossrust", "tonetexnoalpha", "nofogtex", "tmpfx"}) {
    SCOPED_TRACE(type);
    Kiv::Ref<Kiv::Material> material = engine.Make(type);
    Kiv::Ref<Kiv::Material> clone(material->Clone());
    ASSERT_TRUE(clone);
    EXPECT_TRUE(clone->Equals(*material));
    EXPECT_FALSE(clone->Equals(*gloss));
    clone->SetFlags(clone->GetFlags() ^ Kiv::Material::kTwoSided);
    EXPECT_FALSE(clone->Equals(*material));
  }

  // Clones are made through the manager: none where the display lost it.
  Kiv::Ref<Kiv::Material> bump = engine.Make("tbumptex");
  engine.display().SetCapability(17, false);
  EXPECT_FALSE(Kiv::Ref<Kiv::Material>(bump->Clone()));
}

}  // namespace
