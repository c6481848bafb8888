// Helpers for the semantic-pass tests: parse a source and run the checks on
// it with a symbol table of the test's own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ParseTestSupport.h"
#include "gscompiler/GSSemanticCheck.h"
#include "gscompiler/GSSymbolTable.h"

namespace GSTest {

struct Checked {
  ParseNode* root = nullptr;  // null when the parse failed
  std::vector<std::string> log;
  uint32_t errors = 0;
  bool passed = false;  // CheckTree's answer
  std::unique_ptr<GSCompiler::GSSymbolTable> symbols;
};

// Parses `source` as `name` into `arena`; when it parses, checks it fully
// (or in declarations-only mode) into a fresh symbol table, or into
// `symbols` when given (a table that already holds other sources).
Checked Check(GSCompiler::ParseArena& arena, std::string_view source, const char* name = "test.gs",
              bool declarationsOnly = false,
              std::unique_ptr<GSCompiler::GSSymbolTable> symbols = nullptr);

// The first node of `chain` and everything below it (children, then next)
// for which `match` is true, depth first; null when none.
const ParseNode* FindNode(const ParseNode* chain, bool (*match)(const ParseNode*));

}  // namespace GSTest
