#include "gsnative/GSOStringTable.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "foundation/spec/InterfaceTextDB.h"
#include "gsnative/ScriptTextLimit.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

using namespace GSRuntime;

GSClass* gStringTableScriptClass = nullptr;

namespace {

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

}  // namespace

GSOStringTable::GSOStringTable(const SpecRef& spec, const Soup& config)
    : spec_(spec), table_(config.GetNamedSoup(Kiv::PString("string-table"))) {}

GSOStringTable* GSOStringTable::Create(GSContext* context, const SpecRef& spec,
                                       const Soup& config) {
  auto* table = new (std::nothrow) GSOStringTable(spec, config);
  if (table == nullptr) return nullptr;
  if (!table->AttachScriptInstance(gStringTableScriptClass, context)) {
    delete table;
    return nullptr;
  }
  return table;
}

bool GSOStringTable::Substitute(std::string_view text, std::string& out) const {
  out.clear();
  out.reserve(std::min(text.size(), kScriptTextLimit));
  for (size_t at = 0; at < text.size(); ++at) {
    const char next = at + 1 < text.size() ? text[at + 1] : '\0';
    if (text[at] != '$' || at + 1 == text.size()) {
      out += text[at];
    } else if (next == '$') {
      out += '$';
      ++at;
    } else if (next >= '0' && next <= '9') {
      const std::string_view param = params_[static_cast<size_t>(next - '0')].View();
      if (param.size() > kScriptTextLimit - out.size()) return false;
      out += param;
      ++at;
    } else {
      out += '$';
    }
    if (out.size() > kScriptTextLimit) return false;
  }
  return true;
}

void GSOStringTable::GetLanguage(GSStack& stack) {
  const Kiv::PString text = InterfaceTextDB::Get().GetString(Kiv::PString("$main_language"), true);
  PushText(stack, text.Empty() || text.View() == "$main_language" ? "english" : text.View());
}

void GSOStringTable::ClearParams(GSStack&) {
  for (Kiv::PString& param : params_) param.Release();
}

void GSOStringTable::SetParam(GSStack& stack) {
  Kiv::PString value;
  if (!CheckStringParam(stack, 2, value, true)) return;
  const int32_t index = GSInt(GSNativeArg(stack, 1));
  if (static_cast<uint32_t>(index) > 9) {
    char text[80];
    std::snprintf(text, sizeof text, "StringTable.SetParam> index (%d) out of range (0..9)",
                  static_cast<int>(index));
    ScriptError(text);
    return;
  }
  params_[static_cast<size_t>(index)] = value;
}

void GSOStringTable::GetString(GSStack& stack) {
  Kiv::PString key;
  if (!CheckStringParam(stack, 1, key, true)) return;
  if (key.Empty()) {
    PushText(stack, "");
    return;
  }
  key.ToLower();
  const Kiv::PString text =
      table_.HasNamedTag(key) ? table_.GetNamedTag(key) : InterfaceTextDB::Get().Lookup(key);
  std::string out;
  if (!Substitute(text.View(), out)) {
    ScriptError("StringTable.GetString> text too long");
    return;
  }
  PushText(stack, out);
}

void RegisterStringTableNatives(GSMachine& machine) {
  using Method = void (GSOStringTable::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$string@StringTable::GetLanguage()", &GSOStringTable::GetLanguage},
      {"$void@StringTable::ClearParams()", &GSOStringTable::ClearParams},
      {"$void@StringTable::SetParam(int,string)", &GSOStringTable::SetParam},
      {"$string@StringTable::GetString(string)", &GSOStringTable::GetString},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(std::make_unique<GSCPPNativeFunction<GSOStringTable>>(
        "StringTable", e.signature, e.method));
}
