// Compiles GameScript sources in a scratch folder through the driver with
// the compiler's own back end (semantic pass, code generator, library
// writer) and reads the written library back.
//
// Mnemonics(code): the mnemonics of the disassembly, in order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "gscompiler/bytecode/GSDisassembler.h"
#include "gscompiler/bytecode/GslLibraryReader.h"
#include "tests/support/TempFolder.h"

namespace GSTest {

// A TempFolder that is the working folder while a test runs (the compiler
// resolves relative paths against it).
class WorkingFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(temp_.Path());
    root_ = temp_.Path();
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  void Write(const std::string& path, std::string_view bytes) { temp_.Put(path, bytes); }
  std::string Read(const std::string& path) const { return temp_.Get(path); }
  bool Exists(const std::string& path) const { return temp_.Exists(path); }
  std::string Listing(const std::string& folder = "") const { return temp_.Listing(folder); }

  VUTest::TempFolder temp_;
  std::filesystem::path root_;  // the folder's path

 private:
  std::filesystem::path previous_;
};

std::vector<std::string> Mnemonics(const std::vector<uint8_t>& code);

struct CompiledUnit {
  int result = -1;
  std::vector<std::string> log;
  std::vector<uint8_t> bytes;  // empty when no library was written
  GSLibraryFormat::GslLibrary library;
  bool readable = false;
  std::string readError;

  // The code of the function with that signature ("$void@A::F()"); empty
  // when there is none.
  std::vector<uint8_t> Code(const std::string& signature) const;
  std::vector<std::string> Ops(const std::string& signature) const;
  std::vector<std::string> Listing(const std::string& signature) const;
};

class CompileFixture : public WorkingFolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes `source` as `name` and compiles it with GSCompileFile.
  CompiledUnit Compile(const std::string& source, const std::string& name = "t.gs");
};

}  // namespace GSTest
