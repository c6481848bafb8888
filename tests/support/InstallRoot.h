// InstallRoot: an installation root in a fresh scratch folder (TempFolder),
// removed with the object: bin/ for the programs, UserData/ for the asset
// database (UserData/assets.tdx). Paths are real paths (no links), as the
// programs see their own location.
//
// PlaceProgram puts a built program into bin/ under its own file name (a
// hard link, or a copy when linking fails), so that it finds the root from
// where it runs. Not thread-safe.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace VUTest {

class InstallRoot {
 public:
  explicit InstallRoot(const char* tag = "Root") : temp_(tag) {
    if (!temp_.Made()) return;
    std::error_code error;
    path_ = std::filesystem::canonical(temp_.Path(), error).string();
    if (error) path_ = temp_.Path();
    std::filesystem::create_directories(Bin(), error);
    std::filesystem::create_directories(UserData(), error);
  }

  // False when the root could not be made.
  bool Made() const { return temp_.Made() && std::filesystem::is_directory(UserData()); }
  const std::string& Path() const { return path_; }
  std::string Bin() const { return path_ + "/bin"; }
  std::string UserData() const { return path_ + "/UserData"; }
  std::string AssetIndex() const { return path_ + "/UserData/assets.tdx"; }
  // The scratch folder itself, for writing and reading files in the root.
  const TempFolder& Files() const { return temp_; }

  // The path of the placed program, or "" when it could not be placed.
  std::string PlaceProgram(const std::string& built) const {
    const std::string target = Bin() + "/" + std::filesystem::path(built).filename().string();
    if (::link(built.c_str(), target.c_str()) == 0) return target;
    std::error_code error;
    std::filesystem::copy_file(built, target, error);
    if (error || ::chmod(target.c_str(), 0755) != 0) return std::string();
    return target;
  }

 private:
  TempFolder temp_;
  std::string path_;
};

}  // namespace VUTest
