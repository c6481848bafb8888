#include "gsnative/StringParams.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"
#include "gsruntime/GSThread.h"

namespace {

using namespace GSRuntime;

// The text of argument `index` (empty when missing), or false after the
// script error when a missing or empty text is not allowed.
bool FetchText(const GSStack& stack, uint32_t index, bool allowEmpty, std::string_view& text) {
  text = {};
  const GSString* string = GSString::FromRef(GSNativeArg(stack, index));
  const char* problem = nullptr;
  if (string == nullptr)
    problem = "null string at parameter %d";
  else if (string->text.empty())
    problem = "empty string at parameter %d";
  else
    text = string->text;
  GSChargeMovedBytes(text.size());  // the natives copy or scan it
  if (problem == nullptr || allowEmpty) return true;
  GSNativeRefuse(problem, index);
  return false;
}

}  // namespace

bool CheckStringParam(const GSStack& stack, uint32_t index, Kiv::PString& out, bool allowEmpty) {
  std::string_view text;
  out.Release();
  if (!FetchText(stack, index, allowEmpty, text)) return false;
  out = text;
  return true;
}

bool CheckStringParamToString(const GSStack& stack, Kiv::String& out, bool allowEmpty) {
  std::string_view text;
  out.clear();
  if (!FetchText(stack, 1, allowEmpty, text)) return false;
  out.assign(text);
  return true;
}

bool ScriptError(const char* text) {
  if (GSThread* thread = CurrentThread()) {
    thread->Exception(text, false);
    return false;
  }
  GSPrint("%s", text);
  return false;
}
