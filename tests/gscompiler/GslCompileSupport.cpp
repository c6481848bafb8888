#include "GslCompileSupport.h"

#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"

namespace GSTest {

std::vector<std::string> Mnemonics(const std::vector<uint8_t>& code) {
  std::vector<std::string> out;
  for (const std::string& line : GSByteCode::Disassemble(code)) {
    const size_t a = line.find(' ') + 1;
    const size_t b = line.find(' ', a);
    out.push_back(line.substr(a, b == std::string::npos ? std::string::npos : b - a));
  }
  return out;
}

std::vector<uint8_t> CompiledUnit::Code(const std::string& signature) const {
  const GSLibraryFormat::GslFunction* f = library.FindFunction(signature);
  return f ? f->code : std::vector<uint8_t>{};
}

std::vector<std::string> CompiledUnit::Ops(const std::string& signature) const {
  return Mnemonics(Code(signature));
}

std::vector<std::string> CompiledUnit::Listing(const std::string& signature) const {
  return GSByteCode::Disassemble(Code(signature));
}

void CompileFixture::SetUp() {
  WorkingFolderTest::SetUp();
  GSCompilerSetBackEnd(GSStandardBackEnd());
}

void CompileFixture::TearDown() {
  GSCompilerSetBackEnd(nullptr);
  PathListClear(GSCompilerIncludePaths());
  WorkingFolderTest::TearDown();
}

CompiledUnit CompileFixture::Compile(const std::string& source, const std::string& name) {
  CompiledUnit unit;
  Write(name, source);
  const std::string output = name.substr(0, name.rfind('.')) + ".gsl";
  std::error_code ignored;
  std::filesystem::remove(output, ignored);
  CompileLog log;
  unit.result = GSCompileFile(name.c_str(), nullptr, nullptr, &log);
  for (const char* l = log.TakeLine(); l != nullptr; l = log.TakeLine()) unit.log.emplace_back(l);
  if (!Exists(output)) return unit;
  const std::string bytes = Read(output);
  unit.bytes.assign(bytes.begin(), bytes.end());
  unit.readable = GSLibraryFormat::ReadGsl(unit.bytes, unit.library, unit.readError);
  return unit;
}

}  // namespace GSTest
