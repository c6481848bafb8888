#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/layout/FolderLayout.h"
#include "foundation/vni/VniObjects.h"
#include "foundation/vni/VniPlugin.h"
#include "tests/foundation/plugin/TestPluginCounters.h"
#include "tests/support/CapturedLog.h"
#include "tests/support/TempFolder.h"

namespace {

// The folder that holds the test plug-ins built from plugin/TestPlugin.c.
std::string BuiltPluginFolder() {
  return VNI_TEST_PLUGIN_DIR;
}

// True when a line of `log` holds `text`.
bool Logged(const VUTest::CapturedLog& log, const std::string& text) {
  for (const std::string& line : log.Lines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

// One installation root for the whole suite: a loaded plug-in stays loaded,
// and the loader knows a library by its file, so the files must not be
// removed (and their inodes given to new files) while the tests run.
class VniPluginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string built = BuiltPluginFolder();
    if (built.empty()) return;
    folder_ = new VUTest::TempFolder("Plugins");
    if (!folder_->Made()) return;
    root_ = folder_->Path();
    namespace fs = std::filesystem;
    fs::create_directories(root_ + "/bin/plugins");
    // Capitals in the names catch any lower-casing of the path.
    const std::pair<const char*, const char*> copies[] = {
        {"counting", "Counter"}, {"counting", "Racer"},      {"refusing", "Refuser"},
        {"noentry", "Bare"},     {"notlibrary", "Stringer"},
    };
    for (const auto& [from, to] : copies) {
      fs::copy_file(built + "/" + from + ".so", root_ + "/bin/plugins/" + to + ".so");
    }
    // Where "../Outside" would lead from the plug-in folder.
    fs::copy_file(built + "/counting.so", root_ + "/bin/Outside.so");
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
    root_.clear();
  }

  void SetUp() override {
    ASSERT_FALSE(root_.empty()) << "the test plug-ins could not be laid out";
    ASSERT_TRUE(DetermineInstallPath(Kiv::File::Path(root_)));
  }
  void TearDown() override { ResetFolderLayoutForTests(); }

  static std::string PluginPath(const std::string& name) {
    return root_ + "/bin/plugins/" + name + ".so";
  }

  static bool IsLoaded(const std::string& path) {
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) return false;
    ::dlclose(library);
    return true;
  }

  // A copy of the counters of a loaded plug-in (all zero when not loaded).
  static VniTestCounters Counters(const std::string& name) {
    VniTestCounters counters{};
    void* library = ::dlopen(PluginPath(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) return counters;
    auto read =
        reinterpret_cast<VniTestCountersFunction>(::dlsym(library, "VniTestPluginCounters"));
    if (read != nullptr) counters = *read();
    ::dlclose(library);
    return counters;
  }

  static VUTest::TempFolder* folder_;
  static std::string root_;
  VNIContext context_{};
};

VUTest::TempFolder* VniPluginTest::folder_ = nullptr;
std::string VniPluginTest::root_;

TEST_F(VniPluginTest, EachLoadRunsEntryPointAndInitOnce) {
  const VniTestCounters before = Counters("Counter");
  const size_t objects = VniObjectCount();

  const VNIHandle first = LoadVniPlugin(&context_, "Counter");
  ASSERT_NE(first, 0u);
  EXPECT_EQ(VNIGetObjectClass(first), static_cast<uint32_t>(VNI_CLASS_LIBRARY));
  EXPECT_EQ(context_.functions, VniFunctionTable());
  VniTestCounters after = Counters("Counter");
  EXPECT_EQ(after.entries, before.entries + 1);
  EXPECT_EQ(after.inits, before.inits + 1);
  EXPECT_EQ(after.init_argument, 0u);
  EXPECT_EQ(after.missing_functions, 0);
  // Only the library is left: the "Init" name and Init's result are given back.
  EXPECT_EQ(VniObjectCount(), objects + 1);

  const VNIHandle second = LoadVniPlugin(&context_, "Counter");
  ASSERT_NE(second, 0u);
  EXPECT_NE(second, first);
  after = Counters("Counter");
  EXPECT_EQ(after.entries, before.entries + 2);
  EXPECT_EQ(after.inits, before.inits + 2);

  VNIRelease(first);
  VNIRelease(second);
  EXPECT_EQ(VniObjectCount(), objects);
  EXPECT_TRUE(IsLoaded(PluginPath("Counter")));
}

TEST_F(VniPluginTest, RefusesNamesThatAreNotPlainFileNames) {
  const std::string refused[] = {
      "../Outside", "", "..", "a/b", "a\\b", "/Outside", "Coun..ter", std::string("Counter\0x", 9)};
  for (const std::string& name : refused) {
    VUTest::CapturedLog log;
    EXPECT_EQ(LoadVniPlugin(&context_, name), 0u) << name;
    EXPECT_TRUE(Logged(log, "LoadVniPlugin> refused plug-in name")) << name;
  }
  EXPECT_FALSE(IsLoaded(root_ + "/bin/Outside.so"));
}

// A plug-in that cannot be used is reported, unloaded, and leaves no object.
TEST_F(VniPluginTest, UnusablePlugInIsReportedAndUnloaded) {
  const struct {
    const char* name;
    const char* before;
    const char* after;
  } cases[] = {
      {"Refuser", "LoadVniPlugin> VNIEntryPoint of '", "' gave no library"},
      {"Stringer", "VNIEntryPoint of '", "' gave an object that is not a library"},
      {"Bare", "LoadVniPlugin> '", "' has no VNIEntryPoint"},
      {"Absent", "LoadVniPlugin> unable to load '", "'"},
  };
  const size_t objects = VniObjectCount();
  for (const auto& c : cases) {
    VUTest::CapturedLog log;
    EXPECT_EQ(LoadVniPlugin(&context_, c.name), 0u) << c.name;
    EXPECT_TRUE(Logged(log, c.before + PluginPath(c.name) + c.after)) << c.name;
    EXPECT_FALSE(IsLoaded(PluginPath(c.name))) << c.name;
  }
  EXPECT_EQ(VniObjectCount(), objects);  // The string "Stringer" gave is released.
}

TEST_F(VniPluginTest, NoContextOrNoInstallationGivesZero) {
  VUTest::CapturedLog log;
  EXPECT_EQ(LoadVniPlugin(nullptr, "Counter"), 0u);
  EXPECT_TRUE(Logged(log, "LoadVniPlugin> no context for plug-in 'Counter'"));
  ResetFolderLayoutForTests();
  EXPECT_EQ(LoadVniPlugin(&context_, "Counter"), 0u);
  EXPECT_TRUE(Logged(log, "LoadVniPlugin> no plug-in folder for 'Counter'"));
}

TEST_F(VniPluginTest, ConcurrentLoadsRunOneEntryPointAtATime) {
  constexpr int kThreads = 8;
  constexpr int kLoads = 5;
  const VniTestCounters before = Counters("Racer");
  std::vector<VNIHandle> handles(kThreads * kLoads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&handles, t] {
      VNIContext context{};
      for (int i = 0; i < kLoads; ++i) handles[t * kLoads + i] = LoadVniPlugin(&context, "Racer");
    });
  }
  for (std::thread& thread : threads) thread.join();

  const VniTestCounters after = Counters("Racer");
  EXPECT_EQ(after.entries, before.entries + kThreads * kLoads);
  EXPECT_EQ(after.inits, before.inits + kThreads * kLoads);
  EXPECT_EQ(after.overlaps, before.overlaps);
  const std::set<VNIHandle> distinct(handles.begin(), handles.end());
  EXPECT_EQ(distinct.size(), handles.size());
  EXPECT_EQ(distinct.count(0), 0u);
  for (VNIHandle handle : handles) VNIRelease(handle);
}

}  // namespace
