// Every interface text tag that the sources use ("$name" string literals) has
// a text in the repository's English interface text, data/InterfaceText.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace {

namespace fs = std::filesystem;

fs::path RepositoryRoot() { return VU_SOURCE_DIR; }

// The folders whose sources print interface texts (those not written yet are
// skipped).
constexpr const char* kSourceFolders[] = {"foundation", "kiv",        "cli",
                                          "assetdb",    "gscompiler", "gsruntime",
                                          "gsnative",   "render",     "tetlib"};

bool IsSource(const fs::path& path) {
  const std::string ext = path.extension().string();
  return ext == ".h" || ext == ".cpp" || ext == ".hpp" || ext == ".cc";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Tags are lower-case (the text form lowers names as it reads them); a name
// in capitals only, such as "$ORIGIN", is a loader or shell variable.
bool IsTagName(const std::string& name) {
  for (char c : name) {
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

// Tag -> the first file that uses it.
std::map<std::string, std::string> TagsUsedBySources(const fs::path& root) {
  static const std::regex kTagLiteral("\"(\\$[A-Za-z_][A-Za-z0-9_]*)\"");
  std::map<std::string, std::string> tags;
  for (const char* folder : kSourceFolders) {
    const fs::path dir = root / folder;
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file() || !IsSource(entry.path())) continue;
      const std::string text = ReadAll(entry.path());
      for (std::sregex_iterator it(text.begin(), text.end(), kTagLiteral), end; it != end; ++it) {
        const std::string tag = (*it)[1].str();
        if (IsTagName(tag)) tags.emplace(tag, entry.path().lexically_relative(root).string());
      }
    }
  }
  return tags;
}

class InterfaceTextTags : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = RepositoryRoot();
    const fs::path file = root_ / "data" / "InterfaceText.txt";
    ASSERT_TRUE(fs::is_regular_file(file)) << file;
    ASSERT_TRUE(Soup::LoadFromFile(Kiv::PString(), file.string(), texts_, true));
    ASSERT_GT(texts_.CountTags(), 0u);
  }

  fs::path root_;
  Soup texts_;
};

TEST_F(InterfaceTextTags, EveryTagTheSourcesUseHasAText) {
  ASSERT_TRUE(fs::is_directory(root_ / "foundation"));
  for (const auto& [tag, where] : TagsUsedBySources(root_)) {
    EXPECT_FALSE(texts_.GetNamedTag(Kiv::PString(tag)).Empty()) << tag << " used in " << where;
  }
}

TEST_F(InterfaceTextTags, EveryTagOfTheFileHasAText) {
  for (uint32_t i = 0; i < texts_.CountTags(); ++i) {
    const Kiv::PString name = texts_.GetIndexedTagName(i);
    if (name.View().substr(0, 1) != "$") continue;
    EXPECT_FALSE(texts_.GetNamedTag(name).Empty()) << name.View();
  }
}

}  // namespace
