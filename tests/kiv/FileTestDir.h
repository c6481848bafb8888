// A fresh folder under /tmp for each test that touches files, removed again
// (without following links) when the test ends. Capitals in its name catch
// any lower-casing of paths.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class FileTestDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vu-Test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // `relative` under the test's folder.
  std::string At(const std::string& relative) const { return dir_ + "/" + relative; }

  // Writes `text` to `relative`, creating its folders.
  void Put(const std::string& relative, const std::string& text) const {
    const std::filesystem::path path = At(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  // The whole content of `relative` ("<missing>" when it cannot be read).
  std::string Get(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
};
