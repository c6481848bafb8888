#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/layout/FolderLayout.h"
#include "foundation/vni/VniObjects.h"
#include "foundation/vni/VniPlugin.h"
#include "kiv/Log.h"
#include "tests/foundation/plugin/TestPluginCounters.h"

namespace {

// The folder that holds the test plug-ins built from plugin/TestPlugin.c.
std::string BuiltPluginFolder() {
  return VNI_TEST_PLUGIN_DIR;
}

// Collects the log lines written while it lives.
class LogCapture {
 public:
  LogCapture() {
    old_ = Kiv::Log::SetSink([this](std::string_view line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~LogCapture() { Kiv::Log::SetSink(old_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  bool Has(const std::string& text) {
    for (const std::string& line : Lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

 private:
  Kiv::Log::Sink old_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// One installation root for the whole suite: a loaded plug-in stays loaded,
// and the loader knows a library by its file, so the files must not be
// removed (and their inodes given to new files) while the tests run.
class VniPluginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string built = BuiltPluginFolder();
    if (built.empty()) return;
    char pattern[] = "/tmp/vu-Plugins-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    root_ = pattern;
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
    if (root_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
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

  static std::string root_;
  VNIContext context_{};
};

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
    LogCapture log;
    EXPECT_EQ(LoadVniPlugin(&context_, name), 0u) << name;
    EXPECT_TRUE(log.Has("LoadVniPlugin> refused plug-in name")) << name;
  }
  EXPECT_FALSE(IsLoaded(root_ + "/bin/Outside.so"));
}

TEST_F(VniPluginTest, EntryPointWithoutLibraryIsReportedAndUnloaded) {
  const size_t objects = VniObjectCount();
  {
    LogCapture log;
    EXPECT_EQ(LoadVniPlugin(&context_, "Refuser"), 0u);
    EXPECT_TRUE(
        log.Has("LoadVniPlugin> VNIEntryPoint of '" + PluginPath("Refuser") + "' gave no library"));
  }
  EXPECT_FALSE(IsLoaded(PluginPath("Refuser")));
  {
    LogCapture log;
    EXPECT_EQ(LoadVniPlugin(&context_, "Stringer"), 0u);
    EXPECT_TRUE(log.Has("VNIEntryPoint of '" + PluginPath("Stringer") +
                        "' gave an object that is not a library"));
  }
  EXPECT_FALSE(IsLoaded(PluginPath("Stringer")));
  EXPECT_EQ(VniObjectCount(), objects);  // The string it gave is released.
}

TEST_F(VniPluginTest, MissingEntryPointOrFileIsReported) {
  {
    LogCapture log;
    EXPECT_EQ(LoadVniPlugin(&context_, "Bare"), 0u);
    EXPECT_TRUE(log.Has("LoadVniPlugin> '" + PluginPath("Bare") + "' has no VNIEntryPoint"));
  }
  EXPECT_FALSE(IsLoaded(PluginPath("Bare")));
  LogCapture log;
  EXPECT_EQ(LoadVniPlugin(&context_, "Absent"), 0u);
  EXPECT_TRUE(log.Has("LoadVniPlugin> unable to load '" + PluginPath("Absent") + "'"));
}

TEST_F(VniPluginTest, NoContextOrNoInstallationGivesZero) {
  {
    LogCapture log;
    EXPECT_EQ(LoadVniPlugin(nullptr, "Counter"), 0u);
    EXPECT_TRUE(log.Has("LoadVniPlugin> no context for plug-in 'Counter'"));
  }
  ResetFolderLayoutForTests();
  LogCapture log;
  EXPECT_EQ(LoadVniPlugin(&context_, "Counter"), 0u);
  EXPECT_TRUE(log.Has("LoadVniPlugin> no plug-in folder for 'Counter'"));
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

TEST(VniContextObjects, ReleasingClearsBoth) {
  const size_t objects = VniObjectCount();
  VNIContext context{};
  context.objects[0] = VNIAllocString("first");
  context.objects[1] = VNIAllocString("second");
  ReleaseVniContextObjects(&context);
  EXPECT_EQ(context.objects[0], 0u);
  EXPECT_EQ(context.objects[1], 0u);
  EXPECT_EQ(VniObjectCount(), objects);
  ReleaseVniContextObjects(&context);  // Empty handles and a null context are fine.
  ReleaseVniContextObjects(nullptr);
}

}  // namespace
