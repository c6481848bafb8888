// Fuzzes the script machine's library loading with arbitrary file bytes:
// the file is announced, loaded, checked and linked by a fresh machine
// (its own id answers a dependency on itself, so class, function and
// native links are reached). Every input must be refused or loaded, never
// crash; a loaded library's classes must all be linked. Then what loaded
// runs: in a context with a router, each class gets an instance (its
// initialisers run) and each of its script functions is called with
// default arguments (0: a zero number or null) under a small run budget;
// then the router is pumped for a second of script time, so that started
// threads run, wait and take messages. A run may end in any script error,
// never in a crash.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSScriptInstance.h"
#include "kiv/File.h"
#include "tests/gsruntime/hosts/RouterPump.h"

namespace {

std::string g_folder;

void RemoveFolder() {
  std::remove((g_folder + "/lib.gsl").c_str());
  ::rmdir(g_folder.c_str());
}

// A folder of this run's own (in memory when /dev/shm exists), removed when
// the run ends.
const std::string& Folder() {
  if (g_folder.empty()) {
    char shm[] = "/dev/shm/fuzz-gsl-XXXXXX";
    char tmp[] = "/tmp/fuzz-gsl-XXXXXX";
    const char* made = mkdtemp(shm);
    if (made == nullptr) made = mkdtemp(tmp);
    if (made == nullptr) std::abort();
    g_folder = made;
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

constexpr uint64_t kRunBudget = 1 << 16;  // code bytes per outermost run

using namespace GSRuntime;

GSObject* MakeObject(GSClass& cls, GSContext& context) {
  const bool game = cls.InheritsFrom("GameObject");
  GSObject* object = game ? new GSGameObject : new GSObject;
  if (!object->AttachScriptInstance(&cls, &context)) {
    delete object;
    return nullptr;
  }
  if (game) context.Router()->AddNode(static_cast<GSGameObject*>(object));
  return object;
}

void RunClasses(GSLibrary& library) {
  gsRunBudgetAllowance = kRunBudget;
  std::unique_ptr<GSContext> context(new GSContext);
  GSContext::AddLive(context.get());
  context->InstallRouter(new GSRouter);
  for (GSClass& cls : library.Classes()) {
    GSObject* object = MakeObject(cls, *context);
    if (object == nullptr) continue;
    const GSValue instance = object->GetScriptInstance();
    for (size_t f = 0; f + 1 < cls.functions.size(); ++f) {  // the initialiser is last
      const GSFunction& fn = cls.functions[f];
      if (fn.IsNative()) continue;
      const std::vector<GSValue> args(fn.params - 1, 0);
      GSValue result = 0;
      if (GSObject::CallFunction(context.get(), &cls, instance, fn.name, args, &result) &&
          fn.returnKind == kKindReference)
        GSObjectReference::Release(result);
    }
    GSObjectReference::Release(instance);
  }
  PumpRouter(*context->Router(), 1.0, 0.1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Kiv::PString root = [] {
    Kiv::PString name("fuzzgsl");
    Kiv::File::Subst(name, Folder());
    return name;
  }();
  FILE* file = std::fopen((Folder() + "/lib.gsl").c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  GSMachine machine;
  machine.Init();
  GSRuntime::GSLibraryId id{};
  if (!machine.AddLibrary(root, "", "lib.gsl", &id)) return 0;
  GSRuntime::GSLibrary* library = machine.GetLibrary(id);
  if (library == nullptr) return 0;
  for (const GSRuntime::GSClass& cls : library->Classes())
    for (const GSRuntime::GSMethodEntry& entry : cls.methods)
      if (entry.ref == nullptr || entry.ref->function == nullptr) std::abort();
  RunClasses(*library);
  return 0;
}
