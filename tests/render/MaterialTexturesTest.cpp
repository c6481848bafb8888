// The texture slots the program's materials keep beside the engine's, and
// cloning and equality, which copy and compare them.
#include <gtest/gtest.h>

#include <string>

#include "MaterialTestSupport.h"

namespace {

Kiv::Ref<Kiv::MaterialTexture> Texture(const char* name, bool loaded = true) {
  Kiv::Ref<Kiv::MaterialTexture> texture(new Kiv::MaterialTexture);
  texture->name = Kiv::PString(name);
  texture->loaded = loaded;
  return texture;
}

// Slot 8 (bump), 9 (gloss, environment) and 12 (multi-texture): a null or
// unknown texture is refused with 3 and the slot keeps what it held; a
// texture is taken with the material's priority and recorded in the
// texture definitions; by name the alpha hint is to be worked out again;
// an empty or unloaded slot keeps the material loading (4); a slot's
// texture can be duplicated; clones are equal until a slot differs.
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
    EXPECT_EQ(definition.slot, row.slot);
    EXPECT_EQ(definition.name.Str(), "normals.texture");
    EXPECT_EQ(definition.value, 0.75f);

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

// Equality needs the same class and the same settings; the gloss and
// environment amounts count, and clones carry them.
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

  // A clone is made through the manager: where the display no longer
  // offers the material, there is none.
  Kiv::Ref<Kiv::Material> bump = engine.Make("tbumptex");
  engine.display().SetCapability(17, false);
  EXPECT_FALSE(Kiv::Ref<Kiv::Material>(bump->Clone()));
}

}  // namespace
