#include "SemanticTestSupport.h"

namespace GSTest {

Checked Check(GSCompiler::ParseArena& arena, std::string_view source, const char* name,
              bool declarationsOnly, std::unique_ptr<GSCompiler::GSSymbolTable> symbols) {
  Checked checked;
  checked.symbols = symbols ? std::move(symbols) : std::make_unique<GSCompiler::GSSymbolTable>();
  VectorLog log;
  GSCompiler::CompileDiagnostics diagnostics;
  diagnostics.fileName = name;
  diagnostics.log = &log;
  GSCompiler::ParseResult parsed =
      GSCompiler::GSParseSource(source.data(), source.size(), diagnostics, arena);
  checked.root = parsed.root;
  if (parsed.root != nullptr) {
    GSCompiler::GSSymbolTable& table = *checked.symbols;
    GSCompiler::GSDependentSymbol* self = table.NewDependent(name, 0, 0);
    table.Insert(nullptr, self, false);
    table.ClearIds();
    table.SetCurrentUnit(self);
    GSCompiler::CheckState state;
    state.declarationsOnly = declarationsOnly;
    GSCompiler::SemanticContext context{&diagnostics, &table, &arena};
    checked.passed = GSCompiler::CheckTree(state, parsed.root, context);
  }
  checked.log = log.lines;
  checked.errors = diagnostics.errorCount;
  return checked;
}

const ParseNode* FindNode(const ParseNode* chain, bool (*match)(const ParseNode*)) {
  for (const ParseNode* n = chain; n != nullptr; n = n->next) {
    if (match(n)) return n;
    for (const ParseNode* child : n->child) {
      if (const ParseNode* found = FindNode(child, match)) return found;
    }
  }
  return nullptr;
}

}  // namespace GSTest
