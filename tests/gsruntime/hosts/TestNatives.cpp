#include "TestNatives.h"

#include <stb/stb_image_write.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "foundation/spec/SpecRef.h"
#include "gsnative/GSOImage.h"
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

// Writes the image's pixels (bytes B, G, R, A) as an RGBA PNG file.
void WritePNG(GSContext*, GSStack& stack) {
  GSOImage* image = nullptr;
  if (!GetObjectParam(stack, 1, image, false)) return;
  const Kiv::Bitmap* bitmap = image->GetBitmap();
  GSThread* thread = CurrentThread();
  if (bitmap == nullptr) {
    if (thread != nullptr) thread->Exception("TestStd.WritePNG> image has no bitmap", false);
    return;
  }
  std::vector<uint8_t> rgba(bitmap->ByteSize());
  for (size_t i = 0; i < rgba.size(); i += 4) {
    const uint8_t* p = bitmap->Pixels() + i;
    rgba[i] = p[2];
    rgba[i + 1] = p[1];
    rgba[i + 2] = p[0];
    rgba[i + 3] = p[3];
  }
  const int width = int(bitmap->Width()), height = int(bitmap->Height());
  if (stbi_write_png(TextArg(stack, 2), width, height, 4, rgba.data(), width * 4) == 0 &&
      thread != nullptr)
    thread->Exception("TestStd.WritePNG> cannot write the file", false);
}

void ImageChanges(GSContext*, GSStack& stack) {
  GSOImage* image = nullptr;
  if (GetObjectParam(stack, 1, image, false))
    stack.Push(GSFromInt(static_cast<int32_t>(image->ChangeCount())));
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
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "TestStd", "$void@TestStd::WritePNG(Image,string)", WritePNG));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "TestStd", "$int@TestStd::ImageChanges(Image)", ImageChanges));
  machine.RegisterNative(std::make_unique<GSCPPNativeFunction<TestCounter>>(
      "Counter", "$void@Counter::Add(int)", &TestCounter::Add));
  machine.RegisterNative(std::make_unique<GSCPPNativeFunction<TestCounter>>(
      "Counter", "$int@Counter::Total()", &TestCounter::Total));
}

}  // namespace

void RegisterTestNatives() {
  GSAddNativeRegistrar(Register);
}
