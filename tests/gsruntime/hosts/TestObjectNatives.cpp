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

void Template(GSContext*, GSStack& stack) {
  TestObject object(nullptr, SpecRef());
  stack.PushString(object.GetSourceText().c_str());
}

void RunOwnText(GSContext* context, GSStack& stack) {
  GSOKUID* asset = nullptr;
  Kiv::PString text;
  auto* vandru = dynamic_cast<VandruScriptContext*>(context);
  if (vandru == nullptr || !GetObjectParam(stack, 1, asset, false) ||
      !CheckStringParam(stack, 2, text, false))
    return;
  SpecRef spec;
  GetVandruBaseSpec(spec, *asset);
  auto* object = new TestObject(vandru, spec);
  object->SetSourceText(text.Str());
  object->RunNow();
  const GSClass* cls = object->GSObject::GetScriptClass();
  const std::string answer = std::string(object->TakeFailureFlag() ? "1 " : "0 ") +
                             (cls != nullptr ? cls->name : "none") + " " +
                             std::to_string(TemporaryFilesLeft());
  LetGo(object);
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

void Register(GSMachine& machine) {
  struct Entry {
    const char* signature;
    GSCNativeFunction::Function function;
  };
  static const Entry kNatives[] = {
      {"$string@TestObjects::Template()", Template},
      {"$string@TestObjects::RunOwnText(KUID,string)", RunOwnText},
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
