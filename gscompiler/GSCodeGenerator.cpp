#include "gscompiler/GSCodeGenerator.h"

#include "gscompiler/GSGenerator.h"
#include "gscompiler/GSSemanticPass.h"

namespace GSCompiler {

void GSUnitCodeState::Clear() {
  unit = nullptr;
  generated = false;
  classes.clear();
  strings.Clear();
}

GSUnitCodeState& GSUnitCode() {
  static GSUnitCodeState state;
  return state;
}

}  // namespace GSCompiler

bool GSGenerateCode(CompileUnit& unit) {
  using namespace GSCompiler;
  GSUnitCodeState& state = GSUnitCode();
  state.Clear();
  state.unit = &unit;
  if (unit.top.root == nullptr || unit.top.errorCount != 0) return false;
  GSSymbolTable& symbols = GSUnitSymbolTable();
  symbols.SetCurrentFunction(nullptr);
  const uint32_t errorsBefore = unit.top.errorCount;
  GSGenerator generator(symbols, state.strings, unit.top, state.classes);
  // The unit's top tree was parsed first into its arena (its includes
  // after it), so the classes already generated are the oldest nodes.
  generator.ReleaseGeneratedNodes(&unit.arena);
  const bool ok = generator.CompileStatementList(unit.top.root);
  state.generated = ok && unit.top.errorCount == errorsBefore && !state.strings.Failed();
  return state.generated;
}
