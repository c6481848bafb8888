// A fresh installation root for each test of the folder layout, with its
// "bin" folder; the layout and the registry are reset when the test ends.
#pragma once

#include <filesystem>
#include <string>

#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"
#include "tests/support/FileTestDir.h"

class LayoutTestRoot : public FileTestDir {
 protected:
  void SetUp() override {
    FileTestDir::SetUp();
    root_ = dir_;
    temp_.MakeFolder("bin");
  }
  void TearDown() override { ResetFolderLayoutForTests(); }

  // DetermineInstallPath and CreateUserDataFolders on the test's root.
  void StartLayout() {
    ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(root_)));
    CreateUserDataFolders();
  }

  // The folder the file roots map `name` to, or "<none>".
  static Kiv::String RootOf(const char* name) {
    Kiv::String folder;
    return Kiv::File::LookupRoot(Kiv::PString(name), &folder) ? folder : "<none>";
  }
  bool IsDir(const std::string& relative) const {
    return std::filesystem::is_directory(At(relative));
  }
  bool IsThere(const std::string& relative) const {
    return std::filesystem::exists(std::filesystem::symlink_status(At(relative)));
  }

  std::string root_;
};
