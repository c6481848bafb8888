#include "render/materials/ProgramTexts.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "kiv/display/Display.h"
#include "kiv/display/Programs.h"

namespace {

using Registers = std::map<uint32_t, std::pair<std::string, Kiv::Vector4>>;

const Kiv::Vector4 kBlack{0, 0, 0, 1};
const Kiv::Vector4 kSpecular{0.9f, 0.9f, 0.9f, 0.75f};
const Kiv::Vector4 kBlue{0, 0, 1, 1};

// Every pixel program declares its registers with these numbers, names and
// defaults; the materials fill them by number.
TEST(ProgramTexts, PixelProgramsDeclareTheirRegisters) {
  // Light colours in 0 and 1, then an extra register if any, then the specular colour.
  const auto registers = [](const char* extra) {
    Registers r = {{0, {"LightDiff", kBlack}}, {1, {"LightAmb", kBlack}}};
    if (extra != nullptr) r[2] = {extra, kBlue};
    r[uint32_t(r.size())] = {"Specular", kSpecular};
    return r;
  };
  const std::map<std::string, Registers> expected = {
      {"VandruBumpMat_ParallelLight", registers(nullptr)},
      {"VandruBumpGlossMat_ParallelLight", registers("Lerp")},
      {"VandruBumpGlossMat_SpotLight", registers("Lerp")},
      {"VandruBumpRustMat_ParallelLight", registers("RustColor")},
      {"VandruBumpEnvMat_ParallelLight", registers(nullptr)},
      {"VandruBumpEnvMat_SpotLight", registers(nullptr)},
  };
  for (const char* name : Kiv::kPixelProgramNames) {
    SCOPED_TRACE(name);
    const std::string text = Kiv::GetPixelProgramText(name);
    EXPECT_EQ(text.rfind(std::string("# ") + name + "_Pxl\nversion 1.1\n", 0), 0u);
    std::map<uint32_t, std::string> names;
    const auto values = Kiv::ParseCombinerRegisters(text, &names);
    Registers found;
    for (const auto& [number, value] : values) found[number] = {names[number], value};
    EXPECT_EQ(found, expected.at(name));
    // Every register the body reads is declared.
    const std::regex use(R"(c\[\^(\w+)\])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), use);
         it != std::sregex_iterator(); ++it) {
      bool declared = false;
      for (const auto& [number, declaredName] : names) declared |= declaredName == (*it)[1].str();
      EXPECT_TRUE(declared) << (*it)[1].str();
    }
    const bool samplesT3 = text.find("tex t3;") != std::string::npos;
    const bool samplesCube = text.find("tex(cube) t3;") != std::string::npos;
    EXPECT_EQ(samplesT3, std::string(name) == "VandruBumpGlossMat_ParallelLight");
    EXPECT_EQ(samplesCube, std::string(name) == "VandruBumpEnvMat_ParallelLight");
  }
  EXPECT_EQ(Kiv::GetPixelProgramText("VandruBumpMat_SpotLight"), nullptr);
}

// The set declares six programs on PNTA; each feature they name has one
// guarded section in the body, and the display makes each program by name.
TEST(ProgramTexts, VertexSetDeclaresSixProgramsWithGuardedFeatures) {
  const std::string text = Kiv::GetBumpVertexProgramText();
  const std::map<std::string, std::string> expected = {
      {"VandruBump_ParallelLight", "ParallelLight, OneTex, Fog"},
      {"VandruBump_SpotLight", "SpotLight, OneTex, Fog"},
      {"VandruBumpGloss_ParallelLight", "ParallelLight, OneTex, SphereMap, Fog"},
      {"VandruBumpGloss_SpotLight", "SpotLight, OneTex, SphereMap, Fog"},
      {"VandruBumpEnv_ParallelLight", "ParallelLight, OneTex, cubeMap, Fog"},
      {"VandruBumpEnv_SpotLight", "SpotLight, OneTex, cubeMap, Fog"},
  };
  const std::regex declaration(R"(program (\w+) +: (\w+) : ([\w, ]+);)");
  std::map<std::string, std::string> found;
  std::set<std::string> features;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration);
       it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[2].str(), "PNTA");
    found[(*it)[1].str()] = (*it)[3].str();
    const std::regex word(R"(\w+)");
    const std::string list = (*it)[3].str();
    for (auto w = std::sregex_iterator(list.begin(), list.end(), word); w != std::sregex_iterator();
         ++w)
      features.insert(w->str());
  }
  EXPECT_EQ(found, expected);
  for (const std::string& feature : features) {
    EXPECT_NE(text.find("%ifdef " + feature + "\n"), std::string::npos) << feature;
    EXPECT_NE(text.find("%endif // " + feature + "\n"), std::string::npos) << feature;
  }

  Kiv::Display display;
  const Kiv::PString set(Kiv::kBumpVertexProgramSet);
  Kiv::VertexProgramManager::RegisterBuiltInPrograms(set, text);
  for (const auto& [name, featureList] : expected) {
    Kiv::Ref<Kiv::VertexProgram> program(display.GetVertexProgramManager()->CreateVertexProgram(
        set, Kiv::PString(name), nullptr, 99, 0));
    EXPECT_TRUE(program) << name;
  }
}

}  // namespace
