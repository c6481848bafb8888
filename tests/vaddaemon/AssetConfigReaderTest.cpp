// LoadAssetFolderConfig: which configuration file of an asset folder loads.
#include "vaddaemon/AssetConfigReader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace {

namespace fs = std::filesystem;

struct ConfigFile {
  std::string name;
  std::string username;  // "" for a damaged file
};

// The binary form is written by the soup's own writer; a damaged file of
// either form is a few stray bytes.
void WriteConfig(const std::string& folder, const ConfigFile& file) {
  const std::string path = folder + "/" + file.name;
  if (file.username.empty()) {
    std::ofstream(path, std::ios::binary) << "\x01\x02\x03";
    return;
  }
  Soup soup;
  soup.SetNamedTag(Kiv::PString("username"), file.username);
  std::string lower = file.name;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "config.chump") {
    ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), path, soup)) << path;
  } else {
    std::ofstream(path, std::ios::binary) << "username \"" << file.username << "\"\n";
  }
}

// "config.chump" goes first, "config.txt" when it does not load; either
// name is found in any case; a folder with neither loads nothing.
TEST(AssetConfigReader, TheBinaryConfigurationGoesFirstAndNamesAreFoundInAnyCase) {
  struct Case {
    std::vector<ConfigFile> files;
    std::string loaded;  // the username of what loads; "" for nothing
  };
  const std::vector<Case> cases = {
      {{{"config.txt", "text"}}, "text"},
      {{{"Config.TXT", "text"}}, "text"},
      {{{"config.chump", "binary"}}, "binary"},
      {{{"CONFIG.CHUMP", "binary"}, {"config.txt", "text"}}, "binary"},
      {{{"config.chump", ""}, {"Config.txt", "text"}}, "text"},
      {{{"config.chump", ""}}, ""},
      {{{"notes.txt", "other"}}, ""},
      {{}, ""},
  };
  char pattern[] = "/tmp/vu-config-reader-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string work = pattern;
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string folder = work + "/" + std::to_string(i);
    fs::create_directories(folder);
    for (const ConfigFile& file : cases[i].files) WriteConfig(folder, file);
    Soup config;
    const bool loaded = LoadAssetFolderConfig(folder, &config);
    EXPECT_EQ(loaded, !cases[i].loaded.empty()) << i;
    if (loaded) {
      EXPECT_EQ(config.GetNamedTag(Kiv::PString("username")).Str(), cases[i].loaded) << i;
    }
  }
  // A folder that cannot be listed loads nothing either.
  Soup config;
  EXPECT_FALSE(LoadAssetFolderConfig(work + "/missing", &config));
  fs::remove_all(work);
}

}  // namespace
