// A script library's native plug-in: calls through the echo plug-in
// (plugin/EchoPlugin.c), the line printed without a plug-in, and names that
// would reach outside the plug-in folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "NativeCallFrame.h"
#include "RuntimeTestSupport.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/vni/VniObjects.h"
#include "gsnative/LibraryPlugin.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSString.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/TempFolder.h"

namespace {

using GSRuntime::GSArray;
using GSRuntime::GSObjectReference;

// One installation root for the suite, holding "bin/plugins/echo.so" and,
// beside the plug-in folder, "bin/echo.so" that "../echo" would load. A
// loaded plug-in stays loaded, so the files stay until the suite ends.
class LibraryPluginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new VUTest::TempFolder("LibraryPlugin");
    namespace fs = std::filesystem;
    fs::create_directories(folder_->Path() + "/bin/plugins");
    const std::string built = std::string(VU_ECHO_PLUGIN_DIR) + "/echo.so";
    fs::copy_file(built, folder_->Path() + "/bin/plugins/echo.so");
    fs::copy_file(built, folder_->Path() + "/bin/echo.so");
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(folder_->Path()))); }
  void TearDown() override {
    for (GSObjectReference* object : held_) GSObjectReference::Release(object->GetScriptInstance());
    ResetFolderLayoutForTests();
  }

  // A script array of strings; null entries stay empty.
  GSArray* Strings(std::initializer_list<const char*> texts) {
    GSArray* array = GSArray::Create(nullptr, true);
    held_.push_back(array);
    int32_t index = 0;
    for (const char* text : texts) {
      GSRuntime::GSString* element = text ? GSRuntime::GSString::Create(text, nullptr) : nullptr;
      GSArray::SetElement(*array, index++, element ? element->GetScriptInstance() : 0, false,
                          nullptr);
    }
    return array;
  }

  static VUTest::TempFolder* folder_;
  VNIContext context_{};
  std::vector<GSObjectReference*> held_;
};

VUTest::TempFolder* LibraryPluginTest::folder_ = nullptr;

TEST_F(LibraryPluginTest, EchoPlugInAnswersTheCalls) {
  const size_t objects = VniObjectCount();
  LibraryPlugin plugin;
  ASSERT_TRUE(plugin.Load(&context_, "echo"));
  const struct {
    const char* function;
    GSArray* arguments;
    const char* expected;
  } cases[] = {
      {"Echo", Strings({"x"}), "x"},
      {"Echo", Strings({"a", nullptr, "b"}), "a,,b"},
      {"Count", nullptr, "0"},  // A null array is an empty one.
      {"Count", Strings({}), "0"},
      {"Array", Strings({"x"}), ""},    // A result that is not a string.
      {"Missing", Strings({"x"}), ""},  // No result at all.
  };
  for (const auto& c : cases)
    EXPECT_EQ(plugin.Call(c.function, c.arguments, "lib"), c.expected) << c.function;
  plugin.Release();
  EXPECT_EQ(plugin.Handle(), 0u);
  EXPECT_EQ(VniObjectCount(), objects);  // Every array, string and result went back.
}

TEST_F(LibraryPluginTest, WithoutAPlugInTheCallPrintsUnknownFunction) {
  GSTest::PrintCapture print;
  VUTest::CapturedLog log;
  LibraryPlugin plugin;
  EXPECT_FALSE(plugin.Load(&context_, "../echo"));
  EXPECT_FALSE(plugin.Load(&context_, ""));
  EXPECT_EQ(plugin.Handle(), 0u);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_NE(log.Lines()[0].find("LoadVniPlugin> refused plug-in name '../echo'"),
            std::string::npos);

  EXPECT_EQ(plugin.Call("Echo", Strings({"x"}), "<kuid:1:2> \"Lib\""), "");
  ASSERT_EQ(print.lines.size(), 1u);
  EXPECT_EQ(print.lines[0],
            "Library.LibraryCall> unknown function 'Echo' was called on object '<kuid:1:2> "
            "\"Lib\"'");
}

// The native's body: the function name must be a non-empty string; the
// answer is pushed as a new string.
TEST_F(LibraryPluginTest, NativeChecksTheNameAndPushesTheAnswer) {
  GSTest::PrintCapture print;
  LibraryPlugin plugin;
  ASSERT_TRUE(plugin.Load(&context_, "echo"));
  GSRuntime::GSString* echo = GSRuntime::GSString::Create("Echo", nullptr);
  held_.push_back(echo);
  GSArray* arguments = Strings({"x"});
  const struct {
    GSRuntime::GSValue function;
    const char* pushed;  // null: nothing
  } cases[] = {{echo->GetScriptInstance(), "x"}, {0, nullptr}};
  for (const auto& c : cases) {
    GSTest::NativeCallFrame frame(0, {c.function, arguments->GetScriptInstance(), 0});
    LibraryCallNative(frame.Stack(), plugin, "lib");
    const std::optional<GSRuntime::GSValue> pushed = frame.Pushed();
    if (c.pushed == nullptr) {
      EXPECT_FALSE(pushed.has_value());
      continue;
    }
    ASSERT_TRUE(pushed.has_value());
    GSRuntime::GSString* answer = GSRuntime::GSString::FromRef(*pushed);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->text, c.pushed);
    GSObjectReference::Release(*pushed);
  }
  EXPECT_EQ(print.Count("null string at parameter 1"), 1u);
}

}  // namespace
