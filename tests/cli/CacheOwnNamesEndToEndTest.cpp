// Names the tool makes and names content gives, through the installed tool:
// the compiled-script cache takes only files of its own exact (lower-case
// hex) names, while scripts named in another case are still found.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "kiv/String.h"
#include "tests/cli/ToolFixture.h"

namespace {

namespace fs = std::filesystem;

const char kOk[] = "OK (0 Errors, 0 Warnings)\n";

class CacheOwnNamesEndToEnd : public ToolFixture {
 protected:
  static std::string CacheFolder() { return UserDataPath() + "/cache/libraries"; }

  static std::string Validate(const std::string& kuid) {
    const ToolResult r = Run({"validate", kuid});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
};

// A script and its include named in another case than their files are
// found, from the cache too; cache files renamed to another case are not
// the cache's: each library is compiled again under its own name and the
// renamed files are left as they were.
TEST_F(CacheOwnNamesEndToEnd, OwnNamesAreExactContentNamesAnyCase) {
  const ToolResult installed = InstallScenery(
      "<kuid:175:1>", "script \"Main.gs\"\nclass \"Crate\"\n",
      {{"MAIN.GS", "include \"gs.gs\"\ninclude \"Helper.gs\"\nclass Crate isclass Base {\n};\n"},
       {"helper.GS", "include \"gs.gs\"\nclass Base isclass GameObject {\n};\n"}});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  ASSERT_EQ(Validate("<kuid:175:1>"), kOk);
  ASSERT_EQ(Validate("<kuid:175:1>"), kOk) << "from the cache";

  std::map<std::string, std::string> renamed;  // own name -> its bytes
  for (const auto& entry : fs::directory_iterator(CacheFolder())) {
    const std::string name = entry.path().filename().string();
    renamed[name] = ReadFile(entry.path().string());
  }
  ASSERT_EQ(renamed.size(), 4u) << "two libraries and their records";
  for (const auto& [name, bytes] : renamed)
    fs::rename(CacheFolder() + "/" + name, CacheFolder() + "/" + Kiv::AsciiUpper(name));

  EXPECT_EQ(Validate("<kuid:175:1>"), kOk);
  for (const auto& [name, bytes] : renamed) {
    EXPECT_TRUE(ReadFile(CacheFolder() + "/" + name) == bytes) << name << " written again";
    EXPECT_TRUE(ReadFile(CacheFolder() + "/" + Kiv::AsciiUpper(name)) == bytes)
        << name << " in another case left as it was";
  }
}

}  // namespace
