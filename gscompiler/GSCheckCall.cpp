// The call check: overload choice, implicit argument casts, "inherited".
//
// Candidates are the functions of the searched class (or, when it has none,
// of its bases) with the call's name and argument count. An argument costs
// 1 when its type or class differs from its parameter's; a candidate with
// an argument that cannot be cast is dropped; the cheapest wins, the first
// met on a tie. Messages name the function as written in the call; a
// non-public method names the function's symbol and the object expression.
#include <cstring>

#include "gscompiler/GSCheckInternal.h"
#include "gscompiler/GSTypeNames.h"
#include "gscompiler/GSTypeRules.h"

namespace GSCompiler {

namespace {

using N = ParseNode;

bool SameClass(const char* a, const char* b) {
  a = EffectiveClass(a);
  b = EffectiveClass(b);
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

bool NeedsConversion(const GSParamType& param, const ParseNode* argument) {
  return param.type != argument->type || !SameClass(param.className, argument->className);
}

// The cost of calling `function` with `arguments`, or -1 when an argument
// cannot be cast to its parameter.
int Cost(SemanticContext& context, const GSFunctionSymbol& function, const ParseNode* arguments) {
  int cost = 0;
  uint32_t i = 0;
  for (const ParseNode* a = arguments; a != nullptr; a = a->next, ++i) {
    if (i >= function.paramCount) return -1;
    const GSParamType& param = function.params[i];
    if (!CanCast(context, param.type, param.className, a->type, a->className)) return -1;
    if (NeedsConversion(param, a)) ++cost;
  }
  return i == function.paramCount ? cost : -1;
}

ParseNode* NewCast(SemanticContext& context, ParseNode* argument, const GSParamType& param) {
  ParseNode* cast = context.arena->NewNode();
  ParseNode* spec = context.arena->NewNode();
  ParseNode* name = param.className != nullptr ? context.arena->NewNode() : nullptr;
  if (cast == nullptr || spec == nullptr || (param.className != nullptr && name == nullptr))
    return nullptr;
  spec->nodeClass = N::NodeDeclaration;
  spec->kind = N::TypeSpec;
  spec->op = int32_t(param.type);
  spec->line = argument->line;
  spec->type = param.type;
  spec->className = param.className;
  spec->parent = cast;
  if (name != nullptr) {
    name->nodeClass = N::NodeDeclaration;
    name->kind = N::Name;
    name->text = param.className;
    name->line = argument->line;
    name->parent = spec;
    spec->child[0] = name;
  }
  cast->nodeClass = N::NodeExpression;
  cast->kind = N::Operator;
  cast->op = N::OpCast;
  cast->line = argument->line;
  cast->type = param.type;
  cast->className = param.className;
  cast->child[0] = argument;
  cast->child[1] = spec;
  return cast;
}

// Wraps every argument that needs a conversion in a cast to its parameter.
bool WrapArguments(SemanticContext& context, ParseNode* call, const GSFunctionSymbol& function) {
  ParseNodeRef* link = &call->child[1];
  ParseNode* previous = call;
  uint32_t i = 0;
  for (ParseNode* a = *link; a != nullptr; a = *link, ++i) {
    if (i >= function.paramCount) {
      GSCompilerReport(context.diagnostics, true, false, call->line,
                       "Error in expression, line %d.", call->line);
      return false;
    }
    const GSParamType& param = function.params[i];
    if (NeedsConversion(param, a)) {
      if (!CanCast(context, param.type, param.className, a->type, a->className)) {
        GSCompilerReport(context.diagnostics, true, false, call->line,
                         "Error in expression, line %d.", call->line);
        return false;
      }
      ParseNode* cast = NewCast(context, a, param);
      if (cast == nullptr) {
        ReportInternalError(context);
        return false;
      }
      cast->next = a->next;
      cast->parent = previous;
      a->next = nullptr;
      a->parent = cast;
      if (cast->next != nullptr) cast->next->parent = cast;
      *link = cast;
      a = cast;
    }
    previous = a;
    link = &a->next;
  }
  if (i == function.paramCount) return true;
  GSCompilerReport(context.diagnostics, true, false, call->line, "Error in expression, line %d.",
                   call->line);
  return false;
}

uint32_t CountArguments(const ParseNode* arguments) {
  uint32_t n = 0;
  for (; arguments != nullptr; arguments = arguments->next) ++n;
  return n;
}

// Chooses among the candidates; null after a message.
GSFunctionSymbol* Choose(SemanticContext& context, ParseNode* call, GSClassSymbol* cls,
                         const char* name, bool method) {
  static GSFunctionSymbol* candidates[GSSymbolTable::kMaxCandidates];
  const ParseNode* arguments = call->child[1];
  const uint32_t n = context.symbols->FindFunctions(cls, name, CountArguments(arguments),
                                                    candidates, GSSymbolTable::kMaxCandidates);
  GSFunctionSymbol* best = nullptr;
  int bestCost = 0;
  int free = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const int cost = Cost(context, *candidates[i], arguments);
    if (cost < 0) continue;
    if (cost == 0) ++free;
    if (best == nullptr || cost < bestCost) {
      best = candidates[i];
      bestCost = cost;
    }
  }
  if (free > 1) {
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "function call %s is ambiguous, line %d.", name, call->line);
    return nullptr;
  }
  if (best != nullptr) return best;
  if (method)
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "function %s not declared in class %s or derivative, line %d.", name,
                     cls->name, call->line);
  else
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "function %s not declared, line %d.", name, call->line);
  return nullptr;
}

// The function an "inherited" call refers to; null after a message.
GSFunctionSymbol* Inherited(SemanticContext& context, CheckState& state, ParseNode* call,
                            bool method) {
  if (method) {
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "'inherited' can only be used on current function, line %d.", call->line);
    return nullptr;
  }
  GSFunctionSymbol* current = state.currentFunction;
  if (current == nullptr) {
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "internal compiler error while parsing 'inherited', line %d.", call->line);
    return nullptr;
  }
  if ((current->flags & (N::SpecNative | N::SpecThread)) != 0) {
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "'inherited' can not be used on native or thread function, line %d.",
                     call->line);
    return nullptr;
  }
  return current;
}

}  // namespace

bool CheckCall(SemanticContext& context, CheckState& state, ParseNode* call) {
  ParseNode* callee = call->child[0];
  const bool method =
      callee != nullptr && callee->Is(N::NodeExpression, N::Operator) && callee->op == N::OpMember;
  const char* name = nullptr;
  if (method && callee->child[1] != nullptr) name = callee->child[1]->text;
  if (!method && callee != nullptr && callee->Is(N::NodeExpression, N::Identifier))
    name = callee->text;
  GSClassSymbol* cls = state.currentClass;
  if (method) {
    call->flags |= MethodCall;
    cls = FindClass(
        context,
        EffectiveClass(callee->child[0] != nullptr ? callee->child[0]->ClassName() : nullptr));
  }
  if (name == nullptr || cls == nullptr) {
    ReportInternalError(context);
    return false;
  }
  cls->ResolveBase(*context.symbols, context.diagnostics);

  const bool inherited = std::strcmp(name, "inherited") == 0;
  GSFunctionSymbol* function = inherited ? Inherited(context, state, call, method)
                                         : Choose(context, call, cls, name, method);
  if (function == nullptr) return false;
  bool ok = true;
  if (inherited || Cost(context, *function, call->child[1]) != 0)
    ok = WrapArguments(context, call, *function);
  if (method && (function->flags & N::SpecPublic) == 0 && cls != state.currentClass) {
    GSCompilerReport(context.diagnostics, true, false, call->line,
                     "function %s not public in object %s, line %d.", function->name,
                     GSExpressionName(callee) != nullptr ? GSExpressionName(callee) : "(null)",
                     call->line);
    ok = false;
  }
  call->flags |= function->flags;
  if ((cls->flags & (N::SpecStatic | N::SpecFinal)) != 0) call->flags |= N::SpecFinal;
  call->type = function->type;
  call->className = function->returnClass;
  call->slot = cls->FunctionNumber(function);
  call->value = function->paramCount + 1;
  return ok;
}

}  // namespace GSCompiler
