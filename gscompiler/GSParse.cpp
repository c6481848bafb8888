#include "gscompiler/GSParse.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>

#include "GSGrammar.hpp"
#include "gscompiler/GSScanner.h"
#include "gscompiler/ParseBuilder.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kNodesPerBlock = 1024;
constexpr uint32_t kTextBlockSize = 16384;

ParseBuilder* currentParse = nullptr;

// Makes a builder the current parse for one yyparse() call.
class CurrentParseScope {
 public:
  explicit CurrentParseScope(ParseBuilder* builder) { currentParse = builder; }
  ~CurrentParseScope() { currentParse = nullptr; }
  CurrentParseScope(const CurrentParseScope&) = delete;
  CurrentParseScope& operator=(const CurrentParseScope&) = delete;
};

void ReportInternalError(CompileDiagnostics& diagnostics) {
  GSCompilerMessage(&diagnostics, "Internal compiler error.");
  ++diagnostics.errorCount;
}

}  // namespace

ParseBuilder* CurrentParse() {
  return currentParse;
}

ParseArena::ParseArena() : texts_(kTextBlockSize) {}

ParseNode* ParseArena::NewNode() {
  if (nodeBlocks_.empty() || usedInBlock_ == kNodesPerBlock) {
    try {
      nodeBlocks_.push_back(std::make_unique_for_overwrite<ParseNode[]>(kNodesPerBlock));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    usedInBlock_ = 0;
  }
  ParseNode* node = new (&nodeBlocks_.back()[usedInBlock_]) ParseNode{};
  ++usedInBlock_;
  ++nodeCount_;
  node->op = -1;
  node->type = ParseNode::TypeNone;
  return node;
}

void ParseArena::Reset() {
  ReleaseNodes();
  texts_.FreeBlocks();
}

void ParseArena::ClearChains(uint32_t first) {
  for (uint32_t i = first; i < nodeCount_; ++i) {
    ParseNode* block = nodeBlocks_[i / kNodesPerBlock].get();
    if (block != nullptr) block[i % kNodesPerBlock].chain = nullptr;
  }
}

void ParseArena::ReleaseNodesBefore(const ParseNode* node) {
  const std::less<const ParseNode*> before;
  for (size_t b = firstLiveBlock_; b < nodeBlocks_.size(); ++b) {
    const ParseNode* start = nodeBlocks_[b].get();
    if (before(node, start) || !before(node, start + kNodesPerBlock)) continue;
    for (size_t i = firstLiveBlock_; i < b; ++i) nodeBlocks_[i].reset();
    firstLiveBlock_ = b;
    return;
  }
}

void ParseArena::ReleaseNodes() {
  nodeBlocks_.clear();
  firstLiveBlock_ = 0;
  usedInBlock_ = 0;
  nodeCount_ = 0;
}

char* ParseArena::CopyText(const char* text, size_t length) {
  if (length == SIZE_MAX) return nullptr;
  char* copy = static_cast<char*>(texts_.Allocate(length + 1, 1));
  if (copy == nullptr) return nullptr;
  if (length != 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}


ParseResult GSParseSource(const char* text, size_t length, CompileDiagnostics& diagnostics,
                          ParseArena& arena) {
  ParseResult result;
  const uint32_t errorsBefore = diagnostics.errorCount;
  std::unique_ptr<GSScanner> scanner;
  try {
    scanner = std::make_unique<GSScanner>(text, length);
  } catch (const std::bad_alloc&) {
    ReportInternalError(diagnostics);
    result.status = 1;
    result.errorCount = diagnostics.errorCount - errorsBefore;
    return result;
  }
  ParseBuilder builder(arena, diagnostics, *scanner);
  const uint32_t firstNode = arena.NodeCount();
  int status;
  {
    CurrentParseScope scope(&builder);
    status = yyparse();
  }
  arena.ClearChains(firstNode);
  if (builder.OutOfMemory()) {
    ReportInternalError(diagnostics);
    if (status == 0) status = 1;
  }
  result.status = status;
  result.root = status == 0 ? builder.Root() : nullptr;
  result.errorCount = diagnostics.errorCount - errorsBefore;
  return result;
}

}  // namespace GSCompiler

// The parser's token source: the current parse's scanner. A scanner failure
// is reported here, and the parser then stops (YYerror ends it without a
// "parse error" message of its own).
int yylex() {
  GSCompiler::ParseBuilder* parse = GSCompiler::CurrentParse();
  if (parse == nullptr) return YYEOF;
  GSCompiler::GSScanner& scanner = parse->Scanner();
  int token = scanner.NextToken();
  if (token == YYerror) {
    GSCompilerReport(&parse->Diagnostics(), true, false, scanner.Line(), "%s, line %d",
                     scanner.FailureText(), scanner.Line());
  }
  return token;
}

// The parser's error report. bison's two texts become the compiler's:
// a syntax error is "parse error", a stack that cannot grow further is
// "parser stack overflow". Without a current parse there is no log.
void yyerror(const char* message) {
  GSCompiler::ParseBuilder* parse = GSCompiler::CurrentParse();
  if (parse == nullptr) return;
  const bool exhausted = message != nullptr && std::strcmp(message, "memory exhausted") == 0;
  const char* text = exhausted ? "parser stack overflow" : "parse error";
  int line = parse->Scanner().Line();
  GSCompilerReport(&parse->Diagnostics(), true, false, line, "%s, line %d", text, line);
}
