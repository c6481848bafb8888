// A fresh installation root under /tmp for each test of the folder layout,
// with its "bin" folder; the layout and the registry are reset and the root
// removed (without following links) when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/FolderLayout.h"
#include "foundation/ResourceDatabaseRegistry.h"

class LayoutTestRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    // Capitals in the root catch any lower-casing of paths.
    char pattern[] = "/tmp/vu-Layout-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    std::filesystem::create_directories(At("bin"));
  }
  void TearDown() override {
    ResetFolderLayoutForTests();
    SweepUnusedEntries();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // DetermineInstallPath and CreateUserDataFolders on the test's root.
  void StartLayout() {
    ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(root_)));
    CreateUserDataFolders();
  }

  std::string At(const std::string& relative) const { return root_ + "/" + relative; }

  void Put(const std::string& relative, const std::string& text) const {
    const std::filesystem::path path = At(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string Get(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  bool IsDir(const std::string& relative) const { return std::filesystem::is_directory(At(relative)); }
  bool IsThere(const std::string& relative) const {
    return std::filesystem::exists(std::filesystem::symlink_status(At(relative)));
  }

  std::string root_;
};
