// GSCompiler::ParseBuilder: the state of the parse in progress, which the
// grammar's reduction actions use to build the tree.
//
// GSParseSource (GSParse.h) makes one builder per parse and makes it the
// current parse for the duration of yyparse(); the actions reach it through
// CurrentParse(). The builder reads the current token's text and line from
// the scanner, takes nodes and texts from the arena, and keeps the tree
// root once the program rule is reduced.
//
// Every node it makes gets the scanner's current line. Each maker answers
// null when the arena is out of memory, and OutOfMemory() then stays true;
// the grammar aborts the parse on a null node.
//
// Lists are chains through `next`. Append() adds an item (itself possibly a
// chain) at the end of a list; a null list gives the item, a null item the
// list. The builder remembers the last node it found for each list head,
// so building a long list costs time in proportion to its length, not to
// its square.
#pragma once

#include <cstdint>
#include <vector>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/GSScanner.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

class ParseBuilder {
 public:
  ParseBuilder(ParseArena& arena, CompileDiagnostics& diagnostics, GSScanner& scanner)
      : arena_(arena), diagnostics_(diagnostics), scanner_(scanner) {}
  ParseBuilder(const ParseBuilder&) = delete;
  ParseBuilder& operator=(const ParseBuilder&) = delete;

  GSScanner& Scanner() { return scanner_; }
  CompileDiagnostics& Diagnostics() { return diagnostics_; }

  ParseNode* Node(uint32_t nodeClass, uint32_t kind, ParseNode* c0 = nullptr,
                  ParseNode* c1 = nullptr, ParseNode* c2 = nullptr, ParseNode* c3 = nullptr);
  // An Operator node with operator code `op`.
  ParseNode* Operator(int32_t op, ParseNode* c0, ParseNode* c1 = nullptr, ParseNode* c2 = nullptr);
  // A TypeSpec of type code `code`, with the class Name (or null).
  ParseNode* TypeSpec(int32_t code, ParseNode* name);

  // Nodes made from the current token's text.
  ParseNode* IdentifierFromToken();
  ParseNode* IncludeNameFromToken();  // quotes removed, no escapes, lower-cased
  ParseNode* HexFromToken();
  ParseNode* DecimalFromToken();
  ParseNode* CharFromToken();
  ParseNode* FloatFromToken();
  ParseNode* StringFromToken();  // escape processing
  ParseNode* BoolConstant(bool value);

  // Turns an Identifier into a declaration-class Name or a MemberName.
  static ParseNode* ToName(ParseNode* identifier);
  static ParseNode* ToMemberName(ParseNode* identifier);

  ParseNode* Append(ParseNode* list, ParseNode* item);
  // Sets ValueDiscarded on every node of `chain`.
  void MarkDiscarded(ParseNode* chain);
  // The left operand chain of a comma: every node ValueDiscarded. Only the
  // nodes from the remembered end of the chain on are visited; the comma
  // rule has already marked every node before it.
  void MarkCommaOperand(ParseNode* chain);
  // Clears ValueDiscarded on the last node of `chain`.
  void KeepLastValue(ParseNode* chain);

  void SetRoot(ParseNode* root) { root_ = root; }
  ParseNode* Root() const { return root_; }
  bool OutOfMemory() const { return outOfMemory_; }
  // Nulls the remembered list ends (kept in the heads' `parent`), so that
  // the tree leaves the parser without parent links. Only the heads are
  // visited, unless remembering one failed for want of memory: then every
  // node made since `firstNode` is.
  void ForgetListEnds(uint32_t firstNode);

 private:
  ParseNode* NewNode(uint32_t nodeClass, uint32_t kind);
  // Copies `length` bytes into the arena as the node's text; false (and
  // OutOfMemory()) when the copy failed.
  bool SetText(ParseNode* node, const char* text, size_t length);
  ParseNode* ConstantNode(int32_t type, uint32_t value);
  ParseNode* Tail(ParseNode* head);
  void Remember(ParseNode* head, ParseNode* tail);

  ParseArena& arena_;
  CompileDiagnostics& diagnostics_;
  GSScanner& scanner_;
  ParseNode* root_ = nullptr;
  bool outOfMemory_ = false;
  // The heads whose `parent` holds a list end, and whether one is missing.
  std::vector<ParseNode*> heads_;
  bool headsIncomplete_ = false;
};

// The parse in progress, or null outside GSParseSource (which sets it for
// its yyparse() call). Read by every grammar action: inline, not a call.
extern ParseBuilder* currentParse;
inline ParseBuilder* CurrentParse() {
  return currentParse;
}

}  // namespace GSCompiler
