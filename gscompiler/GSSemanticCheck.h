// The semantic pass: checks one parsed source against the symbol table and
// annotates its tree for the code generator.
//
// CheckTree(state, tree, context) walks the chain `tree` depth first with an
// explicit stack of 128 entries: on a node's first visit the declaration
// check (classes, functions, variable lists, scopes); then its children
// (child0 first); on the second visit the statement and expression checks;
// then the node's `next`. It enters declarations into context.symbols and
// reports every violation as a counted error through GSCompilerReport (file
// name and counts of context.diagnostics). Answers true when no check
// failed; a unit is judged by its error count. Included sources are checked
// with state.declarationsOnly set: classes, members, function heads and
// define initialisers only. "Stack overflow; code nested too deep." ends a
// walk that needs 128 pending entries (about 60 chained binary operators).
// Internal compiler errors ("Internal compiler error." without a file
// prefix) are counted as errors too.
//
// What a library can number is held here (GSLibraryLimits.h), each limit
// reported once, as a counted error on the line of the declaration that
// passes it (a class whose bases alone pass it: the class):
// "too many methods in class '%s' (the limit is 32768, inherited ones
// included)", "too many members in class '%s' (an object holds at most
// 32768 slots: 2 for each class part and 1 for each member, inherited ones
// included)", "too many parameters in function '%s' (the limit is 32768)"
// and "too many local variables in function '%s' (the limit is 65527,
// parameters included)" (the frame's 8 temporaries take the rest of its
// 65536 slots).
//
// What the pass leaves in the nodes (fields of ParseNode):
// - parent: for a child the node that holds it; for a node reached as the
//   `next` of another, that other node.
// - type and className on every expression, TypeSpec, declarator name and
//   parameter name.
// - flags: LValue on variable identifiers (not defines) and on the results
//   of ".", "[]" and "[,]"; an identifier carries its variable's symbol
//   flags (Local for parameters and locals, GSSymbol.h) or, for the name of
//   a class, StaticClassName; a Call carries the chosen function's
//   specifier flags (plus final when the searched class is static or final)
//   and MethodCall when its callee is a member access; a SwitchStmt with a
//   default label carries HasDefault.
// - slot (low 16 bits; kNoSlot = none): identifiers, member names and
//   declarator and parameter names carry their variable's slot (parameters
//   1..n, locals n+1.. in declaration order, members their slot in an
//   object of the class they were looked up in); a Call the chosen
//   function's number as seen from the searched class, and its parameter
//   count + 1 in `value`.
// - chain: a SwitchStmt the chain of its CaseLabel/DefaultLabel nodes,
//   newest first, linked through the labels' `chain`; a WaitStmt the chain
//   of its OnLabel nodes the same way; a BreakStmt or ContinueStmt its
//   target statement (for, while, switch or wait; for, while or wait).
//   The switch or wait of a label is FindEnclosingStatement(label, ...).
// - rewrites in place: folded operators and uses of define constants
//   become Constant nodes (children cleared); call arguments that need a
//   conversion are wrapped in cast Operators (op 11, child1 a TypeSpec)
//   inserted into the argument chain; a void function body that does not
//   end in a return gets a ReturnStmt appended.
//
// Not thread-safe (one compile at a time).
#pragma once

#include <cstdint>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/GSSymbolTable.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

// Node flag bits the pass sets (besides ParseNode's and GSSymbol.h's).
inline constexpr uint32_t MethodCall = 0x20000000;
inline constexpr uint32_t HasDefault = 0x400000;
inline constexpr uint32_t StaticClassName = 0x4;  // an identifier naming a class

struct SemanticContext {
  CompileDiagnostics* diagnostics;  // file name, counts, log
  GSSymbolTable* symbols;
  ParseArena* arena;  // for the nodes the pass adds
};

class CheckWalk;

// The state of one CheckTree run.
struct CheckState {
  bool abort = false;
  bool declarationsOnly = false;
  bool skipChildren = false;
  GSFunctionSymbol* currentFunction = nullptr;
  GSClassSymbol* currentClass = nullptr;
  const CheckWalk* walk = nullptr;  // the innermost CheckTree in progress
};

bool CheckTree(CheckState& state, ParseNode* tree, SemanticContext& context);

// The expression checks, called on every expression node after its
// children; true when the node passed.
bool CheckExpression(SemanticContext& context, CheckState& state, ParseNode* node);

// Statement kinds as a bit mask for FindEnclosingStatement.
constexpr uint32_t StatementBit(uint32_t kind) {
  return 1u << kind;
}

// The nearest statement around `node` (following `parent`, skipping links
// that were reached through `next`) whose kind is in `kindMask`; null when
// none before the enclosing function.
ParseNode* FindEnclosingStatement(const ParseNode* node, uint32_t kindMask);

}  // namespace GSCompiler
