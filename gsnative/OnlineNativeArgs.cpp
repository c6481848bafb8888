#include "gsnative/OnlineNativeArgs.h"

#include "gsnative/StringParams.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

namespace OnlineNatives {

using namespace GSRuntime;

bool NameArg(const GSStack& stack, uint32_t index, std::string& out) {
  Kiv::PString name;
  if (!CheckStringParam(stack, index, name, false)) return false;
  out = name.Str();
  return true;
}

GSOSoup* SoupArg(const GSStack& stack, uint32_t index) {
  GSOSoup* soup = nullptr;
  return GetObjectParam(stack, index, soup, false) ? soup : nullptr;
}

GSOSoup* WritableSoupArg(const GSStack& stack, uint32_t index, const char* lockedText) {
  GSOSoup* soup = SoupArg(stack, index);
  if (soup == nullptr || !soup->IsLocked()) return soup;
  ScriptError(lockedText);
  return nullptr;
}

void SetStringArg(const GSStack& stack, uint32_t index, const std::string& text) {
  if (GSString* string = GSString::FromRef(GSNativeArg(stack, index))) string->Assign(text);
}

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

}  // namespace OnlineNatives
