// Shared support of the validation library's tests.
//
// TetTest gives each test a fresh folder (TempFolderTest), an error handler, a
// data manager over the folder's "defs/" (written by the test with
// PutDefinitions, or the project's own set with UseOwnDefinitions), the
// interface text of the source tree, and helpers to build soups from text,
// write BMP images and read the findings as "E text" / "W text" / "M text"
// lines. The data manager and error handler are destroyed when the test
// ends. A headless render kernel stands for the run's while a test runs.
#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/File.h"
#include "kiv/RenderKernel.h"
#include "tests/support/TempFolder.h"
#include "tetlib/Container.h"
#include "tetlib/MessageText.h"
#include "tetlib/TETLib.h"
#include "tetlib/Tag.h"

class TetTest : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    Kiv::SetRenderKernel(&kernel_);
    Kiv::File::Subst(Kiv::PString("data"), std::string(VU_SOURCE_DIR) + "/data");
    std::filesystem::create_directories(At("defs"));
    TETLib::ErrorHandler::CreateInstance();
    TETLib::DataManager::CreateInstance((At("defs") + "/").c_str());
  }
  void TearDown() override {
    TETLib::DataManager::DestroyInstance();
    TETLib::ErrorHandler::DestroyInstance();
    Kiv::SetRenderKernel(nullptr);
    TempFolderTest::TearDown();
  }

  // The headless render kernel that meshes loaded for checks use.
  Kiv::RenderKernel kernel_{nullptr, 8.0f};

  TETLib::DataManager& Manager() { return *TETLib::DataManager::Instance(); }
  TETLib::ErrorHandler& Findings() { return TETLib::Findings(); }

  // Writes the three definition files (empty texts are left out) and loads
  // them.
  void PutDefinitions(const std::string& inheritance, const std::string& kind,
                      const std::string& container) {
    if (!inheritance.empty()) Put("defs/inheritance.txt", inheritance);
    if (!kind.empty()) Put("defs/kind.txt", kind);
    if (!container.empty()) Put("defs/container.txt", container);
    ASSERT_TRUE(Manager().LoadDefinitions());
  }

  // Loads the definition files of a folder of the source tree: the
  // project's own set, or one of tests/tetlib/definitions.
  void UseDefinitions(const std::string& folder) {
    std::filesystem::copy(std::string(VU_SOURCE_DIR) + "/" + folder, At("defs"),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(Manager().LoadDefinitions());
  }
  void UseOwnDefinitions() { UseDefinitions("tetlib/TETData"); }

  // The text of a finding: the key's interface text with its parameters.
  static std::string Msg(const char* key, std::initializer_list<TETLib::MessageArg> args = {}) {
    return TETLib::TetMessage(key, args).Str();
  }

  // A soup read from its text form.
  Soup Parse(const std::string& text) {
    Put("soup.txt", text);
    Soup soup;
    EXPECT_TRUE(Soup::LoadFromFile(Kiv::PString(), At("soup.txt"), soup, true));
    return soup;
  }

  // A black-and-white BMP image of `width` x `height` pixels.
  void PutBmp(const std::string& relative, uint32_t width, uint32_t height) {
    const uint32_t row = (width + 31) / 32 * 4;
    const uint32_t offset = 14 + 40 + 8;
    std::string bytes = "BM";
    const auto u32 = [&bytes](uint32_t v) {
      for (int i = 0; i < 4; ++i) bytes.push_back(char((v >> (8 * i)) & 0xFF));
    };
    const auto u16 = [&bytes](uint16_t v) {
      bytes.push_back(char(v & 0xFF));
      bytes.push_back(char(v >> 8));
    };
    u32(offset + row * height);
    u32(0);
    u32(offset);
    u32(40);
    u32(width);
    u32(height);
    u16(1);
    u16(1);
    for (uint32_t v : {0u, row * height, 2835u, 2835u, 2u, 2u}) u32(v);
    bytes += std::string("\0\0\0\0\xFF\xFF\xFF\0", 8);
    bytes += std::string(size_t{row} * height, '\0');
    Put(relative, bytes);
  }

  // A list of one finding ("E", "W" or "M") with the key's text.
  static std::vector<std::string> Found(const char* level, const char* key,
                                        std::initializer_list<TETLib::MessageArg> args = {}) {
    return {std::string(level) + " " + Msg(key, args)};
  }

  // The line of a finding written in a data file as "LEVEL KEY PARAMETER..."
  // ("#" marks a number, "#1.5" a real one).
  static std::string FindingLine(const std::string& written) {
    std::istringstream words(written);
    std::string level, key;
    words >> level >> key;
    std::vector<std::string> texts;
    std::vector<TETLib::MessageArg> args;
    for (std::string word; words >> word;) texts.push_back(word);
    for (const std::string& text : texts) {
      if (text[0] != '#')
        args.emplace_back(text);
      else if (text.find('.') != std::string::npos)
        args.emplace_back(std::stod(text.substr(1)));
      else
        args.emplace_back(int32_t(std::stoi(text.substr(1))));
    }
    args.resize(3, TETLib::MessageArg(""));
    const char* k = key.c_str();
    const std::string text = texts.empty()       ? Msg(k)
                             : texts.size() == 1 ? Msg(k, {args[0]})
                             : texts.size() == 2 ? Msg(k, {args[0], args[1]})
                                                 : Msg(k, {args[0], args[1], args[2]});
    return level + " " + text;
  }

  // The fields of a data file's line, between " | ".
  static std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    for (size_t start = 0, end; start <= line.size(); start = end + 3) {
      end = std::min(line.find(" | ", start), line.size());
      std::string field = line.substr(start, end - start);
      for (size_t at; (at = field.find("\\n")) != std::string::npos;) field.replace(at, 2, "\n");
      fields.push_back(field);
    }
    return fields;
  }

  // The findings, one line each: "E ", "W " or "M " and the text.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const TETLib::ErrorHandler::Record& record : Findings().GetList()) {
      const char* level = record.level == TETLib::ErrorHandler::kError ? "E "
                          : record.level == 2                          ? "W "
                                                                       : "M ";
      lines.push_back(level + record.text.Str());
    }
    return lines;
  }

  // A tag of `owner` with a value, validated by `definition` (text form of
  // the tag definition, with its "validation" container).
  TETLib::Tag& AddTag(TETLib::Container& owner, const char* name, const char* value,
                      const std::string& definition) {
    std::unique_ptr<TETLib::Tag> tag = TETLib::Container::CreateTag(1, &owner, Kiv::PString(name));
    tag->value = Kiv::PString(value);
    tag->BuildValidators(Parse(definition));
    TETLib::Tag& added = *tag;
    owner.AddTag(std::move(tag));
    return added;
  }
};
