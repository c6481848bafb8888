#include "TestNatives.h"

#include <cstdio>
#include <memory>
#include <new>

#include "foundation/spec/SpecRef.h"
#include "gsnative/GSOSoup.h"
#include "gsnative/GSOStringTable.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

class TestCounter : public GSObject {
 public:
  void Add(GSStack& stack) { total_ += GSInt(GSNativeArg(stack, 1)); }
  void Total(GSStack& stack) { stack.Push(GSFromInt(total_)); }

 private:
  int32_t total_ = 0;
};

const char* TextArg(const GSStack& stack, uint32_t index) {
  const GSString* string = GSString::FromRef(GSNativeArg(stack, index));
  return string != nullptr ? string->text.c_str() : "";
}

void Print(GSContext*, GSStack& stack) {
  std::printf("%s\n", TextArg(stack, 1));
  std::fflush(stdout);
}

void Join(GSContext*, GSStack& stack) {
  char text[256];
  std::snprintf(text, sizeof text, "%d %f %s %s", GSInt(GSNativeArg(stack, 1)),
                static_cast<double>(GetFloatArg(stack, 2)),
                GSNativeArg(stack, 3) != 0 ? "true" : "false", TextArg(stack, 4));
  stack.PushString(text);
}

void Nothing(GSContext*, GSStack&) {}

void NewCounter(GSContext* context, GSStack& stack) {
  const GSFunction* fn = GSStack::FrameFunction(stack.CurrentFrame());
  GSClass* cls = fn->cls->library->FindClass("Counter");
  auto* counter = new (std::nothrow) TestCounter;
  if (cls == nullptr || counter == nullptr || !counter->AttachScriptInstance(cls, context)) {
    delete counter;
    return;
  }
  stack.PushObject(nullptr, counter);
}

void CounterTotal(GSContext*, GSStack& stack) {
  TestCounter* counter = nullptr;
  if (!GetObjectParam(stack, 1, counter, false)) return;
  counter->Total(stack);
}

void Fail(GSContext*, GSStack& stack) {
  if (GSThread* thread = CurrentThread()) thread->Exception(TextArg(stack, 1), false);
}

void NewStringTable(GSContext* context, GSStack& stack) {
  GSOSoup* config = nullptr;
  if (!GetObjectParam(stack, 1, config, false)) return;
  GSOStringTable* table = GSOStringTable::Create(context, SpecRef(), config->GetSoup());
  if (table != nullptr) stack.PushObject(nullptr, table);
}

void Register(GSMachine& machine) {
  struct Entry {
    const char* signature;
    GSCNativeFunction::Function function;
  };
  static const Entry kTest[] = {
      {"$void@Test::Print(string)", Print},
      {"$string@Test::Join(int,float,bool,string)", Join},
      {"$int@Test::Nothing()", Nothing},
      {"$Counter@Test::NewCounter()", NewCounter},
      {"$int@Test::CounterTotal(Counter)", CounterTotal},
      {"$void@Test::Fail(string)", Fail},
  };
  for (const Entry& e : kTest)
    machine.RegisterNative(std::make_unique<GSCNativeFunction>("Test", e.signature, e.function));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "TestStd", "$StringTable@TestStd::NewStringTable(Soup)", NewStringTable));
  machine.RegisterNative(std::make_unique<GSCPPNativeFunction<TestCounter>>(
      "Counter", "$void@Counter::Add(int)", &TestCounter::Add));
  machine.RegisterNative(std::make_unique<GSCPPNativeFunction<TestCounter>>(
      "Counter", "$int@Counter::Total()", &TestCounter::Total));
}

}  // namespace

void RegisterTestNatives() {
  GSAddNativeRegistrar(Register);
}
