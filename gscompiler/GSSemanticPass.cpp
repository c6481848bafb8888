#include "gscompiler/GSSemanticPass.h"

#include <new>

#include "gscompiler/GSCheckInternal.h"
#include "gscompiler/GSSemanticCheck.h"

namespace {

using GSCompiler::GSDependentSymbol;
using GSCompiler::GSSymbolTable;

bool IsSource(const CompileUnit& unit, const GSDependentSymbol& d) {
  const SourceDependency* s = unit.FindDependency(d.name);
  return s != nullptr && s->index == uint32_t(d.index) && s->textCrc == d.textCrc &&
         s->nameCrc == d.nameCrc;
}

// True when the table still holds an earlier compile: the source was
// checked already, or a file in the table is not one of the unit's sources.
bool HoldsEarlierCompile(const GSSymbolTable& table, const CompileUnit& unit,
                         const SourceDependency& source) {
  if (table.FindDependent(source.name.c_str()) != nullptr) return true;
  const auto& globals = table.Globals();
  for (const Utils::IHashNode* n = globals.first; n != nullptr; n = n->next) {
    const auto* symbol = static_cast<const GSCompiler::GSSymbol*>(n);
    if (symbol->kind != GSCompiler::SymbolDependent) continue;
    if (!IsSource(unit, *static_cast<const GSDependentSymbol*>(symbol))) return true;
  }
  return false;
}

}  // namespace

GSSymbolTable& GSUnitSymbolTable() {
  static GSSymbolTable table;
  return table;
}

void GSSemanticResetSymbols() {
  GSUnitSymbolTable().Reset();
}

uint32_t GSSemanticCheckSource(CompileUnit& unit, CompileContext& context,
                               const SourceDependency& source, bool isTop) {
  GSSymbolTable& table = GSUnitSymbolTable();
  if (HoldsEarlierCompile(table, unit, source)) table.Reset();
  GSDependentSymbol* self = table.NewDependent(source.name.c_str(), source.textCrc, source.nameCrc);
  if (self == nullptr || !table.Insert(nullptr, self, false)) {
    if (self != nullptr) table.Discard(self);
    CompileLogAppend(unit.log, "Internal Compiler Error.");
    ++context.errorCount;
    return context.errorCount;
  }
  self->index = int32_t(source.index);
  table.ClearIds();
  table.SetCurrentUnit(self);
  if (context.root == nullptr) return context.errorCount + 1;
  GSCompiler::CheckState state;
  state.declarationsOnly = !isTop;
  GSCompiler::SemanticContext semantic{&context, &table, context.arena};
  try {
    GSCompiler::CheckTree(state, context.root, semantic);
  } catch (const std::bad_alloc&) {
    // A node's text could not be recorded (ParseTextRef.h).
    GSCompiler::ReportInternalError(semantic);
  }
  return context.errorCount;
}
