// TempFolder: a fresh folder under /tmp, removed again (without following
// links) when the object dies, with small helpers to write, read and list
// files in it. Capitals in its name catch any lower-casing of paths.
//
// Use it as a member of a fixture, or as the fixture itself through
// TempFolderTest. Every test that needs a scratch folder takes it from here.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace VUTest {

class TempFolder {
 public:
  // Under `base` (another folder than /tmp: a memory file system such as
  // /dev/shm, for tests that make many folders quickly).
  explicit TempFolder(const char* tag = "Test", const char* base = "/tmp") {
    std::string pattern = std::string(base) + "/vu-" + tag + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // False when the folder could not be made; At() then names nothing useful.
  bool Made() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

  // `relative` under the folder.
  std::string At(std::string_view relative) const { return path_ + "/" + std::string(relative); }

  // Writes `bytes` to `relative`, creating its folders; answers the full path.
  std::string Put(std::string_view relative, std::string_view bytes) const {
    const std::filesystem::path path = At(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // Makes the folder `relative` (and its parents); answers the full path.
  std::string MakeFolder(std::string_view relative) const {
    const std::string path = At(relative);
    std::filesystem::create_directories(path);
    return path;
  }

  // The whole content of `relative` ("<missing>" when it cannot be read).
  std::string Get(std::string_view relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  bool Exists(std::string_view relative) const { return std::filesystem::exists(At(relative)); }

  // Names of the entries of `relative` (the folder itself when empty),
  // sorted and joined by single spaces.
  std::string Listing(std::string_view relative = "") const {
    std::vector<std::string> names;
    std::error_code error;
    const std::string folder = relative.empty() ? path_ : At(relative);
    for (const auto& e : std::filesystem::directory_iterator(folder, error)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : " ") + n;
    return joined;
  }

 private:
  std::string path_;
};

// A fixture that owns one TempFolder per test.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.Made()); }

  std::string At(std::string_view relative) const { return temp_.At(relative); }
  std::string Put(std::string_view relative, std::string_view bytes) const {
    return temp_.Put(relative, bytes);
  }
  std::string Get(std::string_view relative) const { return temp_.Get(relative); }

  TempFolder temp_;
};

}  // namespace VUTest
