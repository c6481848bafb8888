// GSOStringTable: the native side of the script class "StringTable"
// (StringTable.gsl): an asset's texts, looked up by key, with ten numbered
// parameters substituted into them.
//
// Made from the asset's spec (kept alive while the table lives; may be
// null), its configuration soup and a context: the table is the
// configuration's child soup "string-table", taken once (none: no keys).
//
// GetString(key): the key (null or empty: the empty string) is lower-cased
// and looked up in the table, else in the interface text's scenario texts
// (InterfaceTextDB::Lookup). In one pass from the start, "$$" becomes "$",
// "$0" to "$9" become the parameters, and any other "$" (a last one
// included) stays; inserted parameter text is never scanned again. A
// text that would come out longer than kScriptTextLimit (ScriptTextLimit.h)
// stops the script with "StringTable.GetString> text too long".
// SetParam(index, value) takes indexes 0 to 9 (null value: empty) and
// stops the thread with "StringTable.SetParam> index (<index>) out of range
// (0..9)" for any other. GetLanguage gives the interface text of
// "$main_language", or "english" when it has none.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "foundation/soup/Soup.h"
#include "foundation/spec/SpecRef.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"
#include "kiv/PString.h"

class GSOStringTable : public GSRuntime::GSObject {
 public:
  // A table with one count for the caller; null when the "StringTable"
  // script class is not known or no object could be made.
  static GSOStringTable* Create(GSRuntime::GSContext* context, const SpecRef& spec,
                                const Soup& config);

  // Puts `text` with the parameters substituted, as GetString does, into
  // `out`; false (`out` then unspecified) when it would pass
  // kScriptTextLimit bytes.
  bool Substitute(std::string_view text, std::string& out) const;

  void GetLanguage(GSRuntime::GSStack& stack);
  void ClearParams(GSRuntime::GSStack& stack);
  void SetParam(GSRuntime::GSStack& stack);
  void GetString(GSRuntime::GSStack& stack);

 private:
  GSOStringTable(const SpecRef& spec, const Soup& config);

  SpecRef spec_;
  Soup table_;
  std::array<Kiv::PString, 10> params_;
};

void RegisterStringTableNatives(GSMachine& machine);

extern GSRuntime::GSClass* gStringTableScriptClass;
