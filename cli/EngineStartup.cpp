#include "cli/EngineStartup.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "assetdb/client/NetStartup.h"
#include "assetdb/client/SettingsRequests.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ForeignOwnerFile.h"
#include "foundation/base/ApplicationRecords.h"
#include "foundation/base/LogMessage.h"
#include "foundation/diag/OwnLogFile.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/File.h"
#include "kiv/Log.h"
#include "kiv/OS.h"
#include "kiv/PString.h"
#include "kiv/Rand.h"
#include "kiv/RenderKernel.h"
#include "kiv/ResourceSystem.h"
#include "kiv/host/LookupPluginByType.h"
#include "kiv/host/PluginSet.h"
#include "render/plugin/KivGetPlugins.h"
#include "tetlib/TETLib.h"

namespace {

// The working directory the tool was started in (4096 bytes, as the
// commands that go back to it expect).
char gStartDirectory[4096] = "";

// The engine's "bmp" image plug-in type, held from start-up to shut-down;
// null before, after, and when the engine has no such plug-in.
Kiv::LookupPluginByType* gImagePlugin = nullptr;

constexpr const char* kRetryMessage = "Unable to load render kernel. Retrying with -NullRender.";

struct Switches {
  bool noRender = false;
  bool logToConsole = false;
  bool clientFlag = true;
};

Switches ScanSwitches(int argc, char** argv) {
  Switches found;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    Kiv::PString word(argv[i]);
    word.ToLower();
    if (word.View() == "norender") found.noRender = true;
    if (word.View() == "-kivlog") found.logToConsole = true;
    if (word.View() == "-novadclient") found.clientFlag = false;
  }
  return found;
}

// Whether the command word (in any letter case) is "closevaddaemon".
bool IsCloseDaemonWord(int argc, char** argv) {
  if (argc < 2 || argv[1] == nullptr) return false;
  Kiv::PString word(argv[1]);
  word.ToLower();
  return word.View() == "closevaddaemon";
}

// Writes a start-up failure to standard error; answers false for the caller
// to return.
bool Fail(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  return false;
}

// Points the engine's log where the options say: standard output for
// "-LogStdOut", otherwise the file of "-LogFile=" (nowhere for /dev/null).
void InitLog(const Kiv::Options& options) {
  if (options.Has("LogStdOut")) {
    // Flushed line by line: a command host's standard output is its log
    // file, which is read while the host runs.
    Kiv::Log::SetSink([](std::string_view line) {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fflush(stdout);
    });
    return;
  }
  std::string file = options.Get("LogFile");
  if (file.empty() || file == "/dev/null") {
    Kiv::Log::SetSink([](std::string_view) {});
    return;
  }
  // Never appended through a link, nor to another user's file.
  const int fd = OpenOwnLogFile(file, 0666);
  std::FILE* out = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
  if (fd >= 0 && out == nullptr) ::close(fd);
  if (out == nullptr) {
    Kiv::Log::SetSink([](std::string_view) {});
    return;
  }
  Kiv::Log::SetSink([out](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
  });
}

// Calls `init`; when it fails, says so, switches the options to the null
// renderer and tries once more.
template <typename Init>
bool InitWithRetry(Kiv::OS& os, Init init) {
  if (init()) return true;
  std::fprintf(stderr, "%s\n", kRetryMessage);
  os.GetOptions().ProcessRaw("-NullRender");
  return init();
}

// The engine loads the program's plug-in set (its material plug-ins and
// resource types) and the kernel's material manager takes the plug-ins.
void LoadProgramPlugins(Kiv::RenderKernel& kernel) {
  Kiv::PluginSet* plugins =
      Kiv::PluginSet::Load(Kiv::PString(kVandruPluginCategory), &KivGetPlugins);
  Kiv::MaterialManager* materials = kernel.GetMaterialManager();
  if (materials == nullptr) return;
  materials->SetRenderKernel(&kernel);
  plugins->InstallMaterialPlugins(*materials);
}

// Makes the engine objects and starts them; false (with its message) when
// one fails to start.
bool StartEngineObjects(EngineObjects& engine, const Switches& switches) {
  std::string options = EngineOptionsString(switches.noRender, switches.logToConsole);
  engine.os = new Kiv::OS("VandruUtil", options.c_str(), nullptr, nullptr);
  engine.resourceSystem = new Kiv::ResourceSystem();
  engine.renderKernel = new Kiv::RenderKernel(nullptr, 8.0f);
  Kiv::SetRenderKernel(engine.renderKernel);
  Kiv::OS& os = *engine.os;
  if (!InitWithRetry(os, [&os] { return os.Init(); }))
    return Fail("- Kiv OS initialisation failed.");
  InitLog(os.GetOptions());
  Kiv::Rand::Program().Randomise();
  Kiv::RenderKernel& kernel = *engine.renderKernel;
  if (!InitWithRetry(os, [&kernel, &os] { return kernel.Init(&os, nullptr); }))
    return Fail("- Unable to initialize render system\n");
  LoadProgramPlugins(kernel);
  return true;
}

void ChooseLanguage() {
  Kiv::PString language = ReadSetting(Kiv::PString("internet"), Kiv::PString("language"));
  InterfaceTextDB::SetLanguage(language.Empty() ? "US" : language.c_str());
  InterfaceTextDB::MarkUnloaded();
}

void TakeImagePlugin() {
  gImagePlugin =
      new Kiv::LookupPluginByType(Kiv::PString(Kiv::kImagePluginTypeUId), Kiv::PString("bmp"));
}

void ReleaseImagePlugin() {
  if (gImagePlugin == nullptr) return;
  gImagePlugin->Release();
  delete gImagePlugin;
  gImagePlugin = nullptr;
}

}  // namespace

const char* GetStartDirectory() {
  return gStartDirectory;
}

std::string EngineOptionsString(bool noRender, bool logToConsole) {
  std::string options = noRender ? "-NullRender " : "-render=OpenGL -hidewindow ";
  options += logToConsole ? "-LogStdOut " : "-LogFile=/dev/null ";
  return options;
}

bool InitEngine(EngineObjects& engine, const char* /*programPath*/, int argc, char** argv) {
  TETLib::ErrorHandler::CreateInstance();
  Kiv::File::Path folder;
  if (!GetModulePath(&folder)) return false;
  folder.Normalize();
  folder.DelName();

  Kiv::String cwd = Kiv::File::GetCwd();
  if (cwd.size() < sizeof(gStartDirectory))
    std::memcpy(gStartDirectory, cwd.c_str(), cwd.size() + 1);
  Kiv::File::SetCwd(folder.Str());

  Kiv::File::Path tetData = folder;
  tetData.AddPath("TETData/");
  tetData.ReplaceForwardSlashes();
  if (!TETLib::DataManager::CreateInstance(tetData.c_str()))
    return Fail("- TETLib initialisation failed.");

  Switches switches = ScanSwitches(argc, argv);
  if (!StartEngineObjects(engine, switches)) return false;

  // The alpha-blend caches of the run are made with the render globals.
  TETLib::DataManager::Instance()->AttachEngine(
      TETLib::RenderContext{&engine, engine.renderKernel, nullptr});
  TETLib::DataManager::Instance()->RegisterVandruBumpVertexType();
  NetStartup();

  // The program lives in <root>/bin/, so the installation root is the
  // parent of the program's folder.
  Kiv::File::Path root = folder;
  root.PrevDir();
  // The write check of UserData runs while the daemon is reached; it is
  // finished before a daemon is started and before the command runs.
  BeginInstallPath(root);
  CreateUserDataFolders();

  VADClientOptions client;
  client.notificationHook = nullptr;
  client.flag1 = true;
  client.flag2 = true;
  client.flag3 = false;
  client.restartDaemon = false;
  client.clientFlag = switches.clientFlag;
  const bool closing = IsCloseDaemonWord(argc, argv);
  if (closing) {
    // One attempt: no daemon is started only to be closed, and one that
    // does not answer costs one handshake wait, not the whole series.
    VADClientTimings timings = VADClient::GetTimings();
    timings.attempts = 1;
    VADClient::SetTimings(timings);
  }
  VADOpenDatabase(client);
  RecordMainThreadId();
  ChooseLanguage();
  TakeImagePlugin();
  FinishUserDataCheck();
  // "closevaddaemon" runs without a daemon (it ends one that does not
  // answer), but not past an owner block of another user.
  return VADClient::IsOpen() || (closing && ForeignOwnerFileText().empty());
}

void ShutdownEngine(EngineObjects& engine) {
  WorkerThread::Get().Stop();
  ReleaseImagePlugin();
  VADClient::Close();
  WorkerThread::Get().CancelTasksOf(nullptr, false);
  TETLib::ReleaseRenderGlobals();
  TETLib::DataManager::DestroyInstance();
  TETLib::ErrorHandler::DestroyInstance();
  ReleaseFolderLayout();
  NetShutdown();
  SweepUnusedEntries();
  Kiv::PluginSet::Unload(Kiv::PString(kVandruPluginCategory));
  Kiv::SetRenderKernel(nullptr);
  delete engine.renderKernel;
  engine.renderKernel = nullptr;
  delete engine.resourceSystem;
  engine.resourceSystem = nullptr;
  delete engine.os;
  engine.os = nullptr;
}

void ScriptLogCallback(const char* format, ...) {
  char text[16384] = "";
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
  }
  text[sizeof(text) - 1] = '\0';
  LogMessage("ScriptLog> %s", text);
}
