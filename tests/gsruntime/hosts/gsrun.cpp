// gsrun: the script test host. It loads a compiled library, makes an
// instance of a class in a context with a router and calls one of its
// functions:
//
//   gsrun [--root DIR] [--libs FOLDER]... [--context plain|vandru]
//         [--pump SECONDS] [--dt STEP] [--fake-clock]
//         LIBRARY.gsl CLASS [SIGNATURE [ARG]...]
//
// --root DIR makes DIR/libraries the "libraries" root and registers the
// native libraries there (RegisterNativeLibraries, which brings the natives
// of the native classes); a registration that fails is a library that does
// not load (status 2). Without --root only the natives of the classes of
// "gs.gs" are registered (AddCommonIncludeRegistrars). --libs FOLDER announces the libraries of
// another folder (repeatable). --context plain (the default) makes a GSContext, --context
// vandru a VandruScriptContext; with --root, the vandru context also opens the asset-database
// client on the daemon of DIR (DIR/UserData/assets.tdx), which must be running already: gsrun
// never starts a daemon, and ends with status 2 when none answers; assets of kind "library"
// then have library specs (GSOLibrarySpecFactory), so scripts reach library assets. The host makes the context's
// router (enabled, clock at 0). CLASS is instantiated (its initialisers run; a class deriving from
// GameObject is made as a game object and registered with the router); SIGNATURE (for example
// "$int@Demo::Run(int)") names the function to call and each ARG is
// converted by the signature's parameter types (int and float as numbers,
// bool as 0/1 or true/false, string as given). The call goes through
// GSObject::CallFunction: a thread function starts a thread of the game
// object. --pump SECONDS then runs the router's pump (RouterPump.h) with
// ticks of --dt STEP seconds (default 0.1). --fake-clock stops the program
// clock (ProgramClock), which then moves only with the pump, by STEP each
// tick; each tick first waits, at most STEP in real time, for a datagram of
// the online service while its channel is open, so that the channel's long
// timers run in pump time while the service's answers are waited for. With
// --root and the vandru context, the daemon is opened before the native
// libraries register (the online access loads its files from the user-data
// folder at registration).
//
// Standard output: what scripts print through the test class, then the
// call's result (int "%d", float "%f", string as it is, bool
// "true"/"false", an object "null" or its class name, nothing for void).
// Standard error: what the runtime prints through its print hook.
// Exit status: 0 when the call ended with ER_Done and no thread exception
// was printed; 1 when a script error happened, or when script instances
// are still alive after the context is destroyed (a leak); 2 for bad usage
// or a library that does not load or link.
#include <poll.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "RouterPump.h"
#include "TestNatives.h"
#include "TestObjectNatives.h"
#include "TestOnlineNatives.h"
#include "assetdb/client/NetStartup.h"
#include "assetdb/client/VADClient.h"
#include "foundation/base/ProgramClock.h"
#include "foundation/layout/FolderLayout.h"
#include "gsnative/GSOLibrarySpec.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsnative/VandruScriptContext.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"
#include "kiv/File.h"

namespace {

using namespace GSRuntime;

bool sawException = false;

void PrintToStderr(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);  // whole: reports can be long
  va_end(again);
  if (text.starts_with("Thread Exception: ")) sawException = true;
  std::fprintf(stderr, "%s\n", text.c_str());
}

int Usage(const char* why) {
  std::fprintf(stderr,
               "gsrun: %s\nusage: gsrun [--root DIR] [--libs FOLDER]... [--context plain|vandru] "
               "[--pump SECONDS] [--dt STEP] [--fake-clock] LIBRARY.gsl CLASS "
               "[SIGNATURE [ARG]...]\n",
               why);
  return 2;
}

struct Options {
  std::string root;
  bool vandru = false;
  std::vector<std::string> folders;
  std::string library;
  std::string className;
  std::string signature;
  std::vector<std::string> args;
  double pump = 0.0;
  double dt = 0.1;
  bool fakeClock = false;
};

bool IsNumber(const char* text, bool integer) {
  char* end = nullptr;
  if (integer)
    (void)std::strtol(text, &end, 10);
  else
    (void)std::strtod(text, &end);
  return *text != '\0' && *end == '\0';
}

int Parse(int argc, char** argv, Options& options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--fake-clock") {
      options.fakeClock = true;
      continue;
    }
    const bool valued = arg == "--root" || arg == "--libs" || arg == "--context" ||
                        arg == "--pump" || arg == "--dt";
    if (!valued) {
      positional.emplace_back(arg);
      continue;
    }
    if (i + 1 >= argc) return Usage("an option lacks its value");
    const char* value = argv[++i];
    if (arg == "--root") options.root = value;
    if (arg == "--libs") options.folders.emplace_back(value);
    if (arg == "--context" && std::string_view(value) != "plain" &&
        std::string_view(value) != "vandru")
      return Usage("the context is plain or vandru");
    if (arg == "--context") options.vandru = std::string_view(value) == "vandru";
    if ((arg == "--pump" || arg == "--dt") && !IsNumber(value, false))
      return Usage("--pump and --dt take a number of seconds");
    if (arg == "--pump") options.pump = std::strtod(value, nullptr);
    if (arg == "--dt") options.dt = std::strtod(value, nullptr);
  }
  if (!(options.pump >= 0.0 && options.pump <= 86400.0) ||
      !(options.dt >= 0.001 && options.dt <= 3600.0))
    return Usage("--pump takes 0 to 86400 seconds and --dt 0.001 to 3600");
  if (positional.size() < 2) return Usage("a library and a class are needed");
  options.library = positional[0];
  options.className = positional[1];
  if (positional.size() > 2) options.signature = positional[2];
  options.args.assign(positional.begin() + std::min<size_t>(3, positional.size()),
                      positional.end());
  return 0;
}

// The parameter types and the return type of "$ret@Class::Name(a,b)".
bool SplitSignature(const std::string& signature, std::string& returns,
                    std::vector<std::string>& params) {
  const size_t at = signature.find('@');
  const size_t open = signature.find('(');
  const size_t close = signature.rfind(')');
  if (signature.empty() || signature[0] != '$' || at == std::string::npos ||
      open == std::string::npos || close != signature.size() - 1 || open > close)
    return false;
  returns = signature.substr(1, at - 1);
  const std::string list = signature.substr(open + 1, close - open - 1);
  for (size_t start = 0; !list.empty() && start <= list.size();) {
    const size_t comma = std::min(list.find(',', start), list.size());
    params.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return true;
}

bool Convert(const std::string& type, const std::string& text, GSContext& context, GSValue& value) {
  if (type == "int") {
    value = GSFromInt(static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10)));
    return IsNumber(text.c_str(), true);
  }
  if (type == "float") {
    value = GSFromFloat(std::strtof(text.c_str(), nullptr));
    return IsNumber(text.c_str(), false);
  }
  if (type == "bool") {
    value = GSFromBool(text == "1" || text == "true");
    return text == "0" || text == "1" || text == "true" || text == "false";
  }
  if (type != "string") return false;
  GSString* string = GSString::Create(text, &context);
  value = string != nullptr ? string->GetScriptInstance() : 0;
  return string != nullptr;
}

void PrintResult(const std::string& type, GSValue value) {
  if (type == "void") return;
  if (type == "int")
    std::printf("%d\n", GSInt(value));
  else if (type == "float")
    std::printf("%f\n", static_cast<double>(GSFloat(value)));
  else if (type == "bool")
    std::printf("%s\n", value != 0 ? "true" : "false");
  else if (type == "string")
    std::printf("%s\n", GSString::FromRef(value) ? GSString::FromRef(value)->text.c_str() : "");
  else if (value == 0)
    std::printf("null\n");
  else {
    const GSClass* cls = GSScriptInstance::FromRef(value)->cls;
    std::printf("%s\n", cls != nullptr ? cls->name : type.c_str());
  }
}

int Call(const Options& options, GSClass* cls, GSContext& context, GSObject& object);

// The tick hook of --fake-clock: waits, at most `step` seconds, for a
// datagram of the online service while its channel is open, then moves the
// program clock by `step`.
void WaitForService(double step) {
  const int handle = OnlineAccessProcess::Get().Endpoint().Socket().Handle();
  if (handle >= 0) {
    pollfd ready{handle, POLLIN, 0};
    ::poll(&ready, 1, static_cast<int>(step * 1000.0));
  }
  ProgramClock::AdvanceForTests(step);
}

// The instance of CLASS: a game object on the router for a class deriving
// from GameObject, else a plain object. Null when its initialisers fail.
GSObject* MakeObject(GSClass* cls, GSContext& context) {
  if (!cls->InheritsFrom("GameObject")) {
    GSObject* object = new GSObject;
    if (object->AttachScriptInstance(cls, &context)) return object;
    delete object;
    return nullptr;
  }
  GSGameObject* object = new GSGameObject;
  if (!object->AttachScriptInstance(cls, &context)) {
    delete object;
    return nullptr;
  }
  context.Router()->AddNode(object);
  return object;
}

// Makes the instance, runs the call and the pump in `context`; the exit
// status.
int Run(const Options& options, GSClass* cls, GSContext& context) {
  GSObject* object = MakeObject(cls, context);
  if (object == nullptr) return 1;
  const int status = Call(options, cls, context, *object);
  if (status != 2 && options.pump > 0.0)
    PumpRouter(*context.Router(), options.pump, options.dt,
               options.fakeClock ? WaitForService : std::function<void(double)>());
  std::fflush(stdout);
  // The host's count goes; a game object is then left to its router.
  GSObjectReference::Release(object->GetScriptInstance());
  return status != 0 ? status : (sawException ? 1 : 0);
}

// Calls SIGNATURE on `object`; the exit status so far.
int Call(const Options& options, GSClass* cls, GSContext& context, GSObject& object) {
  if (options.signature.empty()) return sawException ? 1 : 0;
  std::string returns;
  std::vector<std::string> params;
  if (!SplitSignature(options.signature, returns, params))
    return Usage("the signature is not of the form $type@Class::Name(types)");
  if (params.size() != options.args.size())
    return Usage("the arguments do not match the signature");
  if (cls->FindFunction(options.signature, nullptr, nullptr, nullptr) == nullptr)
    return Usage(("no function " + options.signature + " in class " + cls->name).c_str());
  std::vector<GSValue> args(params.size(), 0);
  bool converted = true;
  for (size_t i = 0; i < params.size(); ++i)
    converted = Convert(params[i], options.args[i], context, args[i]) && converted;
  GSValue result = 0;
  const bool done = converted && GSObject::CallFunction(&context, cls, object.GetScriptInstance(),
                                                        options.signature.c_str(), args, &result);
  if (done) PrintResult(returns, result);
  const bool plain =
      returns == "int" || returns == "float" || returns == "bool" || returns == "void";
  if (done && !plain) GSObjectReference::Release(result);
  for (size_t i = 0; i < params.size(); ++i)
    if (params[i] == "string") GSObjectReference::Release(args[i]);
  std::fflush(stdout);
  if (!converted) return Usage("an argument does not suit its parameter type");
  return done && !sawException ? 0 : 1;
}

// Lays out the folders of `root` and opens the client on its daemon, which
// must be running: no daemon is started from here.
bool OpenDaemon(const std::string& root) {
  if (!DetermineInstallPath(Kiv::File::Path(root))) return false;
  CreateUserDataFolders();
  NetStartup();
  VADClient::SetDaemonStarter([] { return false; });
  VADClientTimings timings;
  timings.attempts = 2;
  timings.attemptDelayMs = 100;
  VADClient::SetTimings(timings);
  VADClientOptions options;
  options.restartDaemon = false;
  return VADOpenDatabase(options) && AddLibrarySpecFactory();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int bad = Parse(argc, argv, options)) return bad;
  GSPrintHook = PrintToStderr;
  RegisterTestNatives();
  RegisterTestObjectNatives();
  RegisterTestOnlineNatives();
  AddCommonIncludeRegistrars();
  if (options.fakeClock) ProgramClock::SetForTests(0.0);
  GSMachine* machine = GetGSMachine();
  if (options.vandru && !options.root.empty() && !OpenDaemon(options.root))
    return Usage(("no asset-database daemon serves " + options.root).c_str());
  if (!options.root.empty()) {
    Kiv::File::Subst(Kiv::PString("libraries"), options.root + "/libraries");
    if (!RegisterNativeLibraries())
      return Usage(("the native libraries of " + options.root + " do not register").c_str());
  }
  for (size_t i = 0; i < options.folders.size(); ++i) {
    const Kiv::PString root(("gsrunlibs" + std::to_string(i)).c_str());
    Kiv::File::Subst(root, options.folders[i]);
    machine->AddLibraryFolder(root);
  }
  const std::filesystem::path path(options.library);
  const Kiv::PString mainRoot("gsrunmain");
  Kiv::File::Subst(mainRoot, path.has_parent_path() ? path.parent_path().string() : ".");
  GSLibraryId id{};
  if (!machine->AddLibrary(mainRoot, "", path.filename().string(), &id))
    return Usage(("cannot read the library " + options.library).c_str());
  GSLibrary* library = machine->GetLibrary(id);
  if (library == nullptr)
    return Usage(("the library " + options.library + " does not load").c_str());
  GSClass* cls = library->FindClass(options.className);
  if (cls == nullptr) return Usage(("no class " + options.className + " in the library").c_str());
  int status;
  {
    std::unique_ptr<GSContext> context(options.vandru ? new VandruScriptContext : new GSContext);
    GSContext::AddLive(context.get());
    context->InstallRouter(new GSRouter);
    status = Run(options, cls, *context);
  }
  VADClient::Close();
  const int64_t alive = GSScriptInstance::LiveCount();
  if (alive != 0) {
    std::fprintf(stderr, "gsrun: %lld script instances still alive\n",
                 static_cast<long long>(alive));
    return 1;
  }
  return status;
}
