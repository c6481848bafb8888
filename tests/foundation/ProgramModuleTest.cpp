// Loading the program's own shared modules: found beside the program or in
// the build's module folder, and a clear reason when one cannot be had.
#include "foundation/layout/ProgramModule.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// The module the build always makes (assetdb/client/sslmodule/) and its entry.
constexpr const char* kBuiltModule = "libvu_ssl.so";
constexpr const char* kBuiltEntry = "VuSslModuleFunctions";

TEST(ProgramModule, ABuiltModuleAnswersItsEntry) {
  const ProgramModule module = LoadProgramModule(kBuiltModule, kBuiltEntry);
  EXPECT_NE(module.entry, nullptr) << module.error;
  EXPECT_EQ(module.error, "");
}

TEST(ProgramModule, EveryFailureIsNamedInOneLine) {
  // A file beside this test program that is not a library.
  const fs::path folder = fs::canonical("/proc/self/exe").parent_path();
  const std::string junk = "libvu_junk_" + std::to_string(::getpid()) + ".so";
  std::ofstream(folder / junk) << "not a shared library";
  struct Case {
    const char* file;
    const char* symbol;
    std::string error;  // a part of the answer's error
  };
  const Case cases[] = {
      {"libvu_absent.so", kBuiltEntry, "libvu_absent.so was not found"},
      {kBuiltModule, "NoSuchEntry", std::string(kBuiltModule) + " has no NoSuchEntry"},
      {junk.c_str(), kBuiltEntry, junk},
  };
  for (const Case& c : cases) {
    const ProgramModule module = LoadProgramModule(c.file, c.symbol);
    EXPECT_EQ(module.entry, nullptr) << c.file;
    EXPECT_NE(module.error.find(c.error), std::string::npos) << module.error;
    EXPECT_EQ(module.error.find('\n'), std::string::npos) << module.error;
  }
  fs::remove(folder / junk);
}

}  // namespace
