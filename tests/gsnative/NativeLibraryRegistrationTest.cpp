// RegisterNativeLibraries' steps over copies of the built standard script
// libraries, with a machine of the test's own and registrars that count
// their calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RuntimeTestSupport.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "kiv/File.h"
#include "tests/support/InstallRoot.h"

namespace {

int registrarCalls = 0;
void CountCall(GSMachine&) {
  ++registrarCalls;
}

// An installation root holding copies of the built libraries, named as a
// file root of its own, with a machine of its own.
struct Scene {
  Scene() {
    registrarCalls = 0;
    if (!root.Made()) return;
    std::error_code error;
    std::filesystem::copy(VU_SCRIPT_LIBRARIES_DIR, Libraries(), error);
    Kiv::File::Subst(rootName, Libraries());
    machine.Init();
  }
  ~Scene() { Kiv::File::Subst(rootName, Kiv::String()); }

  std::string Libraries() const { return root.Path() + "/libraries"; }

  // A registration whose registrars count their calls and whose lookups
  // keep their classes in `found`.
  NativeLibraryRegistration Registration() {
    std::vector<NativeClassRegistrar> registrars = NativeClassRegistrars();
    for (NativeClassRegistrar& registrar : registrars) registrar.registerNatives = CountCall;
    std::vector<ScriptClassLookup> lookups = ScriptClassLookups();
    found.assign(lookups.size(), nullptr);
    for (size_t i = 0; i < lookups.size(); ++i) lookups[i].found = &found[i];
    return NativeLibraryRegistration(machine, rootName, registrars, lookups);
  }

  size_t Found() const {
    size_t n = 0;
    for (const GSRuntime::GSClass* cls : found) n += cls != nullptr;
    return n;
  }

  VUTest::InstallRoot root{"NativeLibs"};
  const Kiv::PString rootName{"nativelibtest"};
  GSMachine machine;
  std::vector<GSRuntime::GSClass*> found;
};

class NativeLibraryRegistrationTest : public ::testing::Test {
 protected:
  GSTest::PrintCapture print_;
};

TEST_F(NativeLibraryRegistrationTest, AnswersByTheLibrariesPresentAndNeverRepeatsItsWork) {
  const size_t classes = ScriptClassLookups().size();
  const int natives = static_cast<int>(NativeClassRegistrars().size());
  const struct {
    const char* removed;  // a library taken out of the folder, or null
    bool result;
    int registrarCalls;
    size_t found;
  } cases[] = {
      {nullptr, true, natives, classes},
      {"gs.gsl", false, 0, 0},
      {"Constructors.gsl", false, natives, classes - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.removed != nullptr ? c.removed : "all present");
    Scene scene;
    ASSERT_TRUE(std::filesystem::exists(scene.Libraries() + "/gs.gsl"));
    if (c.removed != nullptr) std::filesystem::remove(scene.Libraries() + "/" + c.removed);
    NativeLibraryRegistration registration = scene.Registration();
    EXPECT_EQ(registration.Run(), c.result);
    EXPECT_EQ(registrarCalls, c.registrarCalls);
    EXPECT_EQ(scene.Found(), c.found);
    // A second call answers the same, announces nothing again and
    // registers no native twice.
    print_.lines.clear();
    EXPECT_EQ(registration.Run(), c.result);
    EXPECT_EQ(registrarCalls, c.registrarCalls);
    EXPECT_EQ(print_.Count("Could not add"), 0u);
    EXPECT_TRUE(!c.result || print_.lines.empty());
  }
}

TEST_F(NativeLibraryRegistrationTest, RetryAfterAFailedLoadSucceedsOnceTheLibraryLoads) {
  Scene scene;
  const VUTest::TempFolder& files = scene.root.Files();
  const std::string whole = files.Get("libraries/Constructors.gsl");
  ASSERT_GT(whole.size(), 24u);
  // The header stays whole, so the library is announced, but it does not load.
  files.Put("libraries/Constructors.gsl", whole.substr(0, 24));
  NativeLibraryRegistration registration = scene.Registration();
  EXPECT_FALSE(registration.Run());
  EXPECT_FALSE(registration.Run());
  files.Put("libraries/Constructors.gsl", whole);
  EXPECT_TRUE(registration.Run());
  EXPECT_TRUE(registration.Run());
  EXPECT_EQ(registrarCalls, static_cast<int>(NativeClassRegistrars().size()));
  EXPECT_EQ(scene.Found(), ScriptClassLookups().size());
  EXPECT_EQ(print_.Count("Could not add"), 0u);
}

}  // namespace
