#include "TestObjectNatives.h"

#include <memory>
#include <string>

#include "assetdb/client/VandruBaseSpec.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOLibrary.h"
#include "gsnative/ScriptableObject.h"
#include "gsnative/StringParams.h"
#include "gsnative/VandruScriptContext.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSStack.h"
#include "kiv/File.h"

namespace {

using namespace GSRuntime;

// A scriptable object of a given spec (none for an empty handle).
class TestObject : public ScriptableObject {
 public:
  TestObject(VandruScriptContext* context, SpecRef spec)
      : ScriptableObject(context), spec_(std::move(spec)) {}
  SpecRef GetSpec() const override { return spec_; }

 private:
  SpecRef spec_;
};

// Lets go of an object the way the host lets go of its own: through its
// instance's count (the router then owns a registered game object).
void LetGo(TestObject* object) {
  const GSValue instance = object->GetScriptInstance();
  if (instance == 0) {
    delete object;
    return;
  }
  GSObjectReference::Release(instance);
}

int TemporaryFilesLeft() {
  int left = 0;
  for (const char* name : {"temp_object.gs", "temp_object.gsl"})
    if (Kiv::File::Exists(GetCachePath().Str() + "/" + name)) ++left;
  return left;
}

// The spec of a KUID argument (an empty handle for null).
SpecRef SpecArgument(GSStack& stack, uint32_t index, bool* ok) {
  GSOKUID* asset = nullptr;
  SpecRef spec;
  *ok = GetObjectParam(stack, index, asset, true);
  if (*ok && asset != nullptr) GetVandruBaseSpec(spec, *asset);
  return spec;
}

// "<failure flag 0|1> <script class or none>", the flag taken.
std::string Outcome(ScriptableObject& object) {
  const GSClass* cls = object.GSObject::GetScriptClass();
  return std::string(object.TakeFailureFlag() ? "1 " : "0 ") + (cls != nullptr ? cls->name : "none");
}

void SourceText(GSContext*, GSStack& stack) {
  bool ok = false;
  TestObject object(nullptr, SpecArgument(stack, 1, &ok));
  if (ok) stack.PushString(object.GetSourceText().c_str());
}

// An object of argument 1's asset with argument 2 as its own text, its
// phases run; null when an argument is refused.
TestObject* RunObject(GSContext* context, GSStack& stack) {
  auto* vandru = dynamic_cast<VandruScriptContext*>(context);
  bool ok = false;
  SpecRef spec = SpecArgument(stack, 1, &ok);
  Kiv::PString text;
  if (vandru == nullptr || !ok || !CheckStringParam(stack, 2, text, true)) return nullptr;
  auto* object = new TestObject(vandru, std::move(spec));
  object->SetSourceText(text.Str());
  object->RunNow();
  return object;
}

void RunOwnText(GSContext* context, GSStack& stack) {
  TestObject* object = RunObject(context, stack);
  if (object == nullptr) return;
  const std::string answer = Outcome(*object) + " " + std::to_string(TemporaryFilesLeft());
  LetGo(object);
  stack.PushString(answer.c_str());
}

void EditText(GSContext* context, GSStack& stack) {
  Kiv::PString second;
  if (!CheckStringParam(stack, 3, second, true)) return;
  TestObject* object = RunObject(context, stack);
  if (object == nullptr) return;
  object->TakeFailureFlag();
  object->SetSourceText(second.Str());
  const std::string answer =
      std::string(object->OwnText().empty() ? "none " : "own ") + Outcome(*object);
  LetGo(object);
  stack.PushString(answer.c_str());
}

void LoadBeforeInit(GSContext* context, GSStack& stack) {
  auto* vandru = dynamic_cast<VandruScriptContext*>(context);
  GSOLibrary* from = nullptr;
  bool ok = false;
  if (vandru == nullptr || !GetObjectParam(stack, 1, from, false)) return;
  SpecRef spec = SpecArgument(stack, 2, &ok);
  if (!ok || spec.Get() == nullptr) return;
  GSOLibrary* library = GSOLibrary::Create(*vandru, spec);
  TBuffer buffer;
  from->SaveListRecord(buffer);
  buffer.Seek(0, SEEK_SET);
  library->LoadListRecord(buffer);
  std::string answer = library->HasPendingProperties() ? "pending " : "applied ";
  library->CompleteInit();
  const Soup properties = library->GetProperties();
  answer += properties.GetNamedTag(Kiv::PString("colour")).Str() + " " +
            properties.GetNamedTag(Kiv::PString("sets")).Str();
  const GSValue instance = library->GetScriptInstance();
  if (instance != 0)
    GSObjectReference::Release(instance);
  else
    delete library;
  stack.PushString(answer.c_str());
}

void MoveProperties(GSContext*, GSStack& stack) {
  GSOLibrary* from = nullptr;
  GSOLibrary* to = nullptr;
  if (!GetObjectParam(stack, 1, from, false) || !GetObjectParam(stack, 2, to, false)) return;
  TBuffer buffer;
  from->SaveListRecord(buffer);
  const uint32_t size = buffer.Tell();
  buffer.Seek(0, SEEK_SET);
  to->LoadListRecord(buffer);
  stack.Push(GSFromInt(static_cast<int32_t>(size)));
}

void Click(GSContext*, GSStack& stack) {
  GSOLibrary* library = nullptr;
  if (!GetObjectParam(stack, 1, library, false)) return;
  library->SetSystemMenuIconId(static_cast<uint32_t>(GSInt(GSNativeArg(stack, 2))));
  const NuMessageData click(Kiv::PString("click"), static_cast<uint32_t>(GSInt(GSNativeArg(stack, 3))));
  stack.Push(GSFromInt(static_cast<int32_t>(library->Receive(click))));
}

void Register(GSMachine& machine) {
  struct Entry {
    const char* signature;
    GSCNativeFunction::Function function;
  };
  static const Entry kNatives[] = {
      {"$string@TestObjects::SourceText(KUID)", SourceText},
      {"$string@TestObjects::RunOwnText(KUID,string)", RunOwnText},
      {"$string@TestObjects::EditText(KUID,string,string)", EditText},
      {"$string@TestObjects::LoadBeforeInit(Library,KUID)", LoadBeforeInit},
      {"$int@TestObjects::Click(Library,int,int)", Click},
      {"$int@TestObjects::MoveProperties(Library,Library)", MoveProperties},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCNativeFunction>("TestObjects", e.signature, e.function));
}

}  // namespace

void RegisterTestObjectNatives() {
  GSAddNativeRegistrar(Register);
}
