// The second-visit checks of the semantic pass for declarations and
// statements; expressions go to CheckExpression.
//
// Choices: a return and a switch test the value their expression chain
// leaves (its last node); if, while and for test the first node of their
// chain. A define's value is stored converted to the variable's type (an
// int constant for a float define is kept as that number in float form),
// so that its uses become constants of the declared type.
#include <cmath>
#include <cstring>

#include "gscompiler/GSCheckInternal.h"
#include "gscompiler/GSTypeRules.h"

namespace GSCompiler {

namespace {

using N = ParseNode;

bool Fail(SemanticContext& context, int line, const char* format) {
  GSCompilerReport(context.diagnostics, true, false, line, format, line);
  return false;
}

bool IsInvalidCondition(const ParseNode* condition) {
  if (condition == nullptr) return true;
  const uint32_t t = condition->type;
  return t == N::TypeVoid || t == N::TypeArray || t == N::TypeNone;
}

bool IsConstant(const ParseNode* n, int32_t constantType) {
  return n != nullptr && n->Is(N::NodeExpression, N::Constant) && n->op == constantType;
}

int32_t FloatToInt(float f) {
  if (std::isnan(f) || f >= 2147483648.0f || f < -2147483648.0f) return INT32_MIN;
  return int32_t(f);
}

// Stores a define's constant, converted to the variable's type.
void StoreDefine(SemanticContext& context, GSSymbol& variable, const ParseNode* constant) {
  const bool isFloat = constant->op == N::ConstFloat;
  const float f = constant->FloatValue();
  const int32_t i = constant->IntValue();
  switch (variable.type) {
    case N::TypeString:
      variable.constantText = context.symbols->CopyText(
          constant->op == N::ConstString && constant->text != nullptr ? constant->text : "");
      if (variable.constantText == nullptr) ReportInternalError(context);
      return;
    case N::TypeBool:
      variable.constant = (isFloat ? f != 0.0f : i != 0) ? 1u : 0u;
      return;
    case N::TypeInt:
      variable.constant = uint32_t(isFloat ? FloatToInt(f) : i);
      return;
    case N::TypeFloat: {
      const float value = isFloat ? f : float(i);
      std::memcpy(&variable.constant, &value, sizeof value);
      return;
    }
    default:
      variable.constant = constant->value;
  }
}

ParseNode* DeclarationList(ParseNode* declarator) {
  ParseNode* p = declarator->parent;
  while (p != nullptr && p->Is(N::NodeDeclaration, N::Declarator)) p = p->parent;
  return p;
}

bool CheckDefine(SemanticContext& context, CheckState& state, ParseNode* declarator) {
  ParseNode* init = declarator->child[1];
  const ParseNode* nameNode = declarator->child[0];
  if (init == nullptr || nameNode == nullptr) return true;
  if (!CheckAssignable(context, declarator->line, nameNode->type, nameNode->className, init->type,
                       init->className))
    return false;
  const ParseNode* list = DeclarationList(declarator);
  if (list == nullptr || (list->flags & N::SpecDefine) == 0) return true;
  if (!init->Is(N::NodeExpression, N::Constant))
    return Fail(context, declarator->line,
                "define variable must have a const assignment, line %d.");
  GSSymbol* variable = context.symbols->Lookup(nameNode->text, state.currentClass, false, true);
  if (variable == nullptr || !variable->IsVariable()) return true;  // dropped as a duplicate
  StoreDefine(context, *variable, init);
  return true;
}

bool HasTopLevel(const ParseNode* block, uint32_t kind) {
  for (const ParseNode* s = block != nullptr ? block->child[0] : nullptr; s != nullptr; s = s->next)
    if (s->Is(N::NodeStatement, kind)) return true;
  return false;
}

bool CheckSwitch(SemanticContext& context, ParseNode* node) {
  if (!HasTopLevel(node->child[1], N::CaseLabel))
    return Fail(context, node->line, "switch statement without case, line %d.");
  if (!HasTopLevel(node->child[1], N::DefaultLabel))
    return Fail(context, node->line, "switch statement without default, line %d.");
  const ParseNode* selector = LastInChain(node->child[0]);
  if (selector == nullptr || selector->type != N::TypeInt)
    return Fail(context, node->line, "switch expression not integral, line %d.");
  return true;
}

void JoinChain(ParseNode* owner, ParseNode* label) {
  label->chain = owner->chain;
  owner->chain = label;
}

bool CheckCase(SemanticContext& context, const CheckState& state, ParseNode* node) {
  ParseNode* sw = EnclosingStatement(state, StatementBit(N::SwitchStmt));
  if (sw == nullptr) return Fail(context, node->line, "illegal case, line %d.");
  JoinChain(sw, node);
  const ParseNode* value = node->child[0];
  if (!IsConstant(value, N::ConstInt) || value->type != N::TypeInt)
    return Fail(context, node->line, "case expression not constant or integral, line %d.");
  return true;
}

bool CheckDefault(SemanticContext& context, const CheckState& state, ParseNode* node) {
  ParseNode* sw = EnclosingStatement(state, StatementBit(N::SwitchStmt));
  if (sw == nullptr) return Fail(context, node->line, "illegal default, line %d.");
  if ((sw->flags & HasDefault) != 0)
    return Fail(context, node->line, "switch already has default, line %d.");
  JoinChain(sw, node);
  sw->flags |= HasDefault;
  return true;
}

bool CheckJump(SemanticContext& context, const CheckState& state, ParseNode* node, uint32_t targets,
               const char* message) {
  node->chain = EnclosingStatement(state, targets);
  return node->chain != nullptr || Fail(context, node->line, message);
}

bool CheckReturn(SemanticContext& context, CheckState& state, ParseNode* node) {
  const GSFunctionSymbol* function = state.currentFunction;
  if (function == nullptr) {
    ReportInternalError(context);
    return false;
  }
  const ParseNode* value = LastInChain(node->child[0]);
  const Kiv::String expected = TypeNameForMessage(function->type, function->returnClass);
  if (value == nullptr) {
    if (function->type == N::TypeVoid) return true;
    GSCompilerReport(context.diagnostics, true, false, node->line,
                     "return type mismatch, expecting %s, line %d.", expected.c_str(), node->line);
    return false;
  }
  if (!TypesMatch(function->type, function->returnClass, value->type, value->className)) {
    GSCompilerReport(context.diagnostics, true, false, node->line,
                     "return type mismatch, expecting %s, line %d.", expected.c_str(), node->line);
    return false;
  }
  const char* want = EffectiveClass(function->returnClass);
  const char* have = EffectiveClass(value->className);
  if (function->type != N::TypeObject + N::TypeArray || want == nullptr || have == nullptr)
    return true;
  if (context.symbols->IsOrDerivesFrom(FindClass(context, have), want, context.diagnostics))
    return true;
  GSCompilerReport(context.diagnostics, true, false, node->line,
                   "cannot cast from object<%s> to object<%s>, line %d.", have, want, node->line);
  return false;
}

bool EndBlock(SemanticContext& context, CheckState& state, ParseNode* block) {
  bool ok = true;
  if ((block->flags & N::FunctionBody) != 0 && state.currentFunction != nullptr) {
    ParseNode* last = LastInChain(block->child[0]);
    const GSFunctionSymbol* function = state.currentFunction;
    if (last == nullptr || !last->Is(N::NodeStatement, N::ReturnStmt)) {
      if (function->type != N::TypeVoid) {
        const Kiv::String name = TypeNameForMessage(function->type, function->returnClass);
        GSCompilerReport(context.diagnostics, true, false, block->line,
                         "expecting return type of %s, line %d.", name.c_str(), block->line);
        ok = false;
      } else if (ParseNode* ret = context.arena->NewNode(); ret != nullptr) {
        ret->nodeClass = N::NodeStatement;
        ret->kind = N::ReturnStmt;
        ret->line = block->line;
        ret->parent = last != nullptr ? last : block;
        if (last != nullptr)
          last->next = ret;
        else
          block->child[0] = ret;
      } else {
        ReportInternalError(context);
        ok = false;
      }
    }
  }
  context.symbols->PopScope();
  return ok;
}

bool CheckOn(SemanticContext& context, const CheckState& state, ParseNode* node) {
  bool ok = true;
  if (!IsConstant(node->child[0], N::ConstString) || !IsConstant(node->child[1], N::ConstString))
    ok = Fail(context, node->line,
              "on statement requires string constant for major and minor message types, line %d");
  const ParseNode* variable = node->child[2];
  if (variable != nullptr &&
      (variable->type != N::TypeObject || (variable->flags & N::LValue) == 0))
    ok =
        Fail(context, node->line, "on statement requires object type for third parameter, line %d");
  ParseNode* wait = EnclosingStatement(state, StatementBit(N::WaitStmt));
  if (wait != nullptr) JoinChain(wait, node);
  return ok;
}

bool CheckStatementKind(SemanticContext& context, CheckState& state, ParseNode* node) {
  const uint32_t loops =
      StatementBit(N::ForStmt) | StatementBit(N::WhileStmt) | StatementBit(N::WaitStmt);
  switch (node->kind) {
    case N::IfStmt:
      return !IsInvalidCondition(node->child[0]) ||
             Fail(context, node->line, "invalid if expression, line %d.");
    case N::WhileStmt:
      return !IsInvalidCondition(node->child[0]) ||
             Fail(context, node->line, "invalid while expression, line %d.");
    case N::ForStmt:
      return node->child[0] == nullptr || !IsInvalidCondition(node->child[0]) ||
             Fail(context, node->line, "invalid for expression, line %d.");
    case N::SwitchStmt:
      return CheckSwitch(context, node);
    case N::CaseLabel:
      return CheckCase(context, state, node);
    case N::DefaultLabel:
      return CheckDefault(context, state, node);
    case N::BreakStmt:
      return CheckJump(context, state, node, loops | StatementBit(N::SwitchStmt),
                       "illegal break, line %d.");
    case N::ContinueStmt:
      return CheckJump(context, state, node, loops, "illegal continue, line %d.");
    case N::ReturnStmt:
      return CheckReturn(context, state, node);
    case N::Block:
      return EndBlock(context, state, node);
    case N::WaitStmt:
      return node->chain != nullptr ||
             Fail(context, node->line,
                  "wait statement must have at least 1 on statement, line %d.");
    case N::OnLabel:
      return CheckOn(context, state, node);
    default:
      return true;  // goto and labels: matched by the code generator
  }
}

}  // namespace

bool CheckStatement(SemanticContext& context, CheckState& state, ParseNode* node) {
  switch (node->nodeClass) {
    case N::NodeDeclaration:
      if (node->kind == N::FunctionDecl) state.currentFunction = nullptr;
      if (node->kind == N::ClassDecl) state.currentClass = nullptr;
      if (node->kind == N::Declarator) return CheckDefine(context, state, node);
      if (node->kind == N::TypeSpec) return CheckTypeSpec(context, state, node);
      return true;
    case N::NodeStatement:
      return CheckStatementKind(context, state, node);
    case N::NodeExpression:
      return CheckExpression(context, state, node);
    default:
      ReportInternalError(context);
      return false;
  }
}

}  // namespace GSCompiler
