// Compiles GameScript sources in a scratch folder through the driver with
// the compiler's own back end (semantic pass, code generator, library
// writer) and reads the written library back.
//
// Mnemonics(code): the mnemonics of the disassembly, in order.
#pragma once

#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "gscompiler/bytecode/GSDisassembler.h"
#include "gscompiler/bytecode/GslLibraryReader.h"

namespace GSTest {

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

class CompileFixture : public ScratchFolder {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes `source` as `name` and compiles it with GSCompileFile.
  CompiledUnit Compile(const std::string& source, const std::string& name = "t.gs");
};

}  // namespace GSTest
