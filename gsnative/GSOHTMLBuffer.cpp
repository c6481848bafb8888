#include "gsnative/GSOHTMLBuffer.h"

#include <memory>
#include <new>

#include "gsnative/StringParams.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

using namespace GSRuntime;

GSClass* gHTMLBufferScriptClass = nullptr;

namespace {

void Construct(GSContext* context, GSStack& stack) {
  GSOHTMLBuffer* buffer = GSOHTMLBuffer::Create(context);
  if (buffer == nullptr) {
    stack.Push(0);
    return;
  }
  stack.PushObject(nullptr, buffer);
}

}  // namespace

GSOHTMLBuffer* GSOHTMLBuffer::Create(GSContext* context) {
  auto* buffer = new (std::nothrow) GSOHTMLBuffer;
  if (buffer == nullptr) return nullptr;
  buffer->MeterUnder(context);
  if (!buffer->AttachScriptInstance(gHTMLBufferScriptClass, context)) {
    delete buffer;
    return nullptr;
  }
  return buffer;
}

void GSOHTMLBuffer::Clear(GSStack&) {
  HTMLBuffer::Clear();
}

void GSOHTMLBuffer::IsEmpty(GSStack& stack) {
  stack.Push(GSFromBool(HTMLBuffer::IsEmpty()));
}

void GSOHTMLBuffer::AsString(GSStack& stack) {
  GSString* string = GSString::Create(GetText().View(), CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

void GSOHTMLBuffer::Print(GSStack& stack) {
  Kiv::String text;
  if (!CheckStringParamToString(stack, text, true)) return;
  if (!Append(text.data(), text.size())) ScriptError("HTMLBuffer.Print> buffer too large");
}

void GSOHTMLBuffer::Escape(GSStack& stack) {
  Kiv::String text;
  if (!CheckStringParamToString(stack, text, true)) return;
  if (!AppendEscaped(text.c_str())) ScriptError("HTMLBuffer.Escape> buffer too large");
}

void RegisterHTMLBufferNatives(GSMachine& machine) {
  using Method = void (GSOHTMLBuffer::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$void@HTMLBuffer::Clear()", &GSOHTMLBuffer::Clear},
      {"$bool@HTMLBuffer::IsEmpty()", &GSOHTMLBuffer::IsEmpty},
      {"$string@HTMLBuffer::AsString()", &GSOHTMLBuffer::AsString},
      {"$void@HTMLBuffer::Print(string)", &GSOHTMLBuffer::Print},
      {"$void@HTMLBuffer::Escape(string)", &GSOHTMLBuffer::Escape},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(
        std::make_unique<GSCPPNativeFunction<GSOHTMLBuffer>>("HTMLBuffer", e.signature, e.method));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "HTMLBufferStatic", "$HTMLBuffer@HTMLBufferStatic::Construct()", Construct));
}
