// The scratch-folder fixture under its older name, for the tests that still
// use it; `dir_` is the folder's path.
#pragma once

#include <string>

#include "tests/support/TempFolder.h"

class FileTestDir : public VUTest::TempFolderTest {
 protected:
  void SetUp() override {
    VUTest::TempFolderTest::SetUp();
    dir_ = temp_.Path();
  }

  std::string dir_;
};
