// The compiled standard script libraries declare every native that the
// native classes bind, by exactly the signature it is bound by; each
// library loads, printing nothing but the natives it cannot bind yet.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "RuntimeTestSupport.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "kiv/File.h"

namespace {

// Natives are registered before the libraries load, so each declared
// native links to the binding of its exact signature, and every binding
// must be linked by some declaration (natives of classes not built yet
// stay unbound).
TEST(ScriptLibrarySignaturesTest, LibrariesDeclareExactlyTheBoundSignatures) {
  GSTest::PrintCapture print;
  GSMachine machine;
  machine.Init();
  for (const NativeClassRegistrar& registrar : NativeClassRegistrars())
    if (registrar.registerNatives != nullptr) registrar.registerNatives(machine);
  const Kiv::PString root("signaturetest");
  Kiv::File::Subst(root, VU_SCRIPT_LIBRARIES_DIR);
  machine.AddLibraryFolder(root);

  std::set<const GSRuntime::GSNativeFunction*> linked;
  for (const auto& entry : std::filesystem::directory_iterator(VU_SCRIPT_LIBRARIES_DIR)) {
    const std::string name = entry.path().filename().string();
    GSRuntime::GSLibrary* library = machine.FindLibraryByName(name);
    ASSERT_NE(library, nullptr) << name;
    for (const GSRuntime::GSClass& cls : library->Classes())
      for (const GSRuntime::GSFunction& function : cls.functions)
        if (function.IsNative() && function.native != nullptr) linked.insert(function.native);
  }
  Kiv::File::Subst(root, Kiv::String());
  // Only natives of classes not built yet may stay unbound.
  for (const std::string& line : print.lines)
    EXPECT_EQ(line.rfind("Could not resolve native link ", 0), 0u) << line;
  EXPECT_EQ(linked.size(), machine.NativeCount()) << "a bound native is declared by nothing";
}

}  // namespace
