// GSCompiler::GSGenerator: the walk behind GSGenerateCode (GSCodeGenerator.h
// states the contract). Statements and declarations are compiled in
// GSGenerator.cpp, expressions in GSGeneratorExpressions.cpp.
//
// Every Compile* operation answers false when the node failed; the failure
// has been reported (a log line, and a counted error where the contract
// says so) by then. Not thread-safe.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSCFunction.h"
#include "gscompiler/GSJumpLabels.h"
#include "gscompiler/GSLibraryStrings.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/GSSymbolTable.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

class GSGenerator {
 public:
  GSGenerator(GSSymbolTable& symbols, GSLibraryStrings& strings, CompileDiagnostics& diagnostics,
              std::vector<std::unique_ptr<GSCClass>>& classes)
      : symbols_(symbols), strings_(strings), diag_(diagnostics), classes_(classes) {}

  bool CompileStatementList(ParseNode* chain);
  // After each function and each class is generated, frees the nodes of
  // `arena` made before that function's or class's declaration node: the
  // tree being generated was parsed first into `arena` and is generated in
  // source order, so those are the nodes of the functions and classes
  // already done. Null (the default) frees nothing.
  void ReleaseGeneratedNodes(ParseArena* arena) { arena_ = arena; }

 private:
  // Where an assignment, copy, increment or on-label stores its value.
  enum class TargetKind { Frame, Me, Member, Element, Slice };
  struct Target {
    TargetKind kind;
    uint16_t slot;        // frame slot or member slot
    bool reference;       // the stored value is a reference
    bool stringReceiver;  // element or slice of a string
  };
  struct LoopLabels {
    int breakLabel;
    int continueLabel;
  };
  struct CaseEntry {
    int32_t value;
    uint32_t position;
    int32_t line;
  };
  struct SwitchState {
    std::vector<CaseEntry> cases;
    bool hasDefault;
    uint32_t defaultPosition;
  };
  struct WaitState {
    std::vector<const ParseNode*> labels;
    std::vector<uint32_t> positions;
    int breakLabel;
  };

  // Makes `node`'s line the line of reports while it is compiled.
  class LineScope {
   public:
    LineScope(int32_t& line, const ParseNode* node) : line_(line), outer_(line) {
      if (node != nullptr) line = node->line;
    }
    ~LineScope() { line_ = outer_; }
    LineScope(const LineScope&) = delete;
    LineScope& operator=(const LineScope&) = delete;

   private:
    int32_t& line_;
    const int32_t outer_;
  };

  // Declarations and statements (GSGenerator.cpp).
  bool CompileNode(ParseNode* node);
  bool CompileClass(ParseNode* node);
  bool CompileFunction(ParseNode* node);
  bool CompileVarDeclList(ParseNode* node);
  bool CompileDeclarator(ParseNode* node, bool member);
  bool CompileReturn(ParseNode* node);
  bool CompileJumpTo(ParseNode* node, bool isBreak);
  bool CompileGoto(ParseNode* node);
  bool CompileWhile(ParseNode* node);
  bool CompileFor(ParseNode* node);
  bool CompileIf(ParseNode* node);
  bool CompileSwitch(ParseNode* node);
  bool CompileCase(ParseNode* node, bool isDefault);
  bool CompileWait(ParseNode* node);
  bool CompileOnLabel(ParseNode* node);
  bool CompileLabel(ParseNode* node);

  // Expressions (GSGeneratorExpressions.cpp).
  bool CompileExpressionStatement(ParseNode* node);
  bool CompileExpressionChain(ParseNode* chain);
  bool CompileCondition(ParseNode* chain);
  bool CompileExpression(ParseNode* node);
  bool CompileOperator(ParseNode* node);
  bool CompileArithmetic(ParseNode* node);
  bool CompileAdd(ParseNode* node);
  bool CompileComparison(ParseNode* node);
  bool CompileLogical(ParseNode* node);
  bool CompileAssign(ParseNode* node);
  bool CompileCopy(ParseNode* node);
  bool CompileIncrement(ParseNode* node, bool prefix, bool increment);
  bool CompileNew(ParseNode* node);
  bool CompileCall(ParseNode* node);
  bool CompileIdentifier(ParseNode* node);
  bool CompileIndexOrNone(ParseNode* index);
  bool Convert(uint32_t from, const char* fromClass, uint32_t to, const char* toClass);
  bool PushTargetParts(ParseNode* target, Target& out);
  void EmitStore(const Target& target, bool keep);
  bool EmitLoadOfTarget(ParseNode* target, const Target& parts);
  bool EmitClassIndex(GSByteCode::GSOpcode op, const char* className);
  void EmitDiscard(uint32_t type);

  // Support.
  int AllocTemp();
  void FreeTemp(int index);
  int NewLabel();
  bool AddFixup(uint32_t position, int label, const char* text, int line);
  // Both write "file(line) : text" with the line of the construct being
  // compiled (line_). InternalError counts an error; Message writes
  // prefix + name + suffix and counts nothing. Both answer false.
  bool InternalError();
  bool Message(const char* prefix, const char* name = nullptr, const char* suffix = "");
  // The string-table index of `text` as a u16 operand; false after a
  // counted error (past the strings code can name, or out of memory).
  bool CodeStringIndex(const char* text, uint16_t& index);
  int32_t ClassIndex(const char* className);
  // A counted error when the entries of a SWITCH or WAIT table pass what
  // its u16 count holds; `what` names them ("cases in switch").
  bool TableFits(uint32_t entries, const char* what);
  // Counted errors when `code` is more than the loader takes (its summed
  // or deepest operand stack); `what` names the code ("function 'F'"),
  // `line` is the line of the report.
  bool CodeFits(const GSCodeBuffer& code, const Kiv::String& what, int32_t line);

  GSSymbolTable& symbols_;
  GSLibraryStrings& strings_;
  CompileDiagnostics& diag_;
  std::vector<std::unique_ptr<GSCClass>>& classes_;
  ParseArena* arena_ = nullptr;

  GSClassSymbol* classSymbol_ = nullptr;
  GSCClass* class_ = nullptr;
  GSCFunction* function_ = nullptr;
  GSFunctionSymbol* functionSymbol_ = nullptr;
  GSCodeBuffer* code_ = nullptr;
  GSTempSlots* temps_ = nullptr;
  int32_t line_ = 0;  // the line of the innermost node being compiled
  uint32_t tempBase_ = 1;
  uint32_t statements_ = 0;  // compiled so far; the job deadline is polled by them
  GSJumpLabels labels_;
  std::unordered_map<const ParseNode*, LoopLabels> loops_;
  std::vector<SwitchState> switches_;
  std::vector<WaitState> waits_;
};

}  // namespace GSCompiler
