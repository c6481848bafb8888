// InstallTestAssets: installs assets into the asset store of an
// installation root before its daemon starts, one folder per
// configuration text (the folder holds only "config.txt");
// InstallTestAssetFolder installs one asset whose folder holds other files
// besides (name, text). Failures are test failures. Not thread-safe.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/InstallRoot.h"
#include "vaddaemon/AssetStore.h"

inline void InstallTestAssets(AssetStore& store, const VUTest::InstallRoot& root,
                              const std::vector<std::string>& configs) {
  for (size_t i = 0; i < configs.size(); ++i) {
    const std::filesystem::path folder =
        std::filesystem::path(root.Path()) / "sources" / std::to_string(i);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "config.txt") << configs[i];
    AssetStore::InstallOutcome outcome;
    EXPECT_EQ(store.InstallFolder(folder.string(), {}, &outcome).code, StoreCode::kOk) << configs[i];
  }
}

inline void InstallTestAssetFolder(
    AssetStore& store, const VUTest::InstallRoot& root, const std::string& name,
    const std::string& config, const std::vector<std::pair<std::string, std::string>>& files) {
  const std::filesystem::path folder = std::filesystem::path(root.Path()) / "sources" / name;
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "config.txt") << config;
  for (const auto& [file, text] : files) std::ofstream(folder / file) << text;
  AssetStore::InstallOutcome outcome;
  EXPECT_EQ(store.InstallFolder(folder.string(), {}, &outcome).code, StoreCode::kOk) << config;
}

inline AssetStore::Options StoreOptions(const VUTest::InstallRoot& root) {
  AssetStore::Options options;
  options.indexPath = root.AssetIndex();
  options.userDataPath = root.UserData();
  return options;
}
