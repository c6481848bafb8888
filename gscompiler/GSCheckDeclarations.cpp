// The first-visit checks of the semantic pass: classes, functions and
// variable lists enter their symbols; blocks open scopes.
//
// Lines: a message about a declaration takes the line of the declaration
// node (the class, function or declarator); a repeated parameter the line
// of its Param node. A function whose earlier prototype is completed keeps
// the prototype's symbol and number; its parameters are numbered afresh.
#include <cstring>
#include <string_view>

#include "gscompiler/GSCFunction.h"
#include "gscompiler/GSCheckInternal.h"
#include "gscompiler/GSTypeRules.h"
#include "gscompiler/bytecode/GSLibraryLimits.h"

namespace GSCompiler {

namespace {

using N = ParseNode;

constexpr uint32_t kSpecifierBits = 0x1FF;

bool Fail(SemanticContext& context, int line, const char* format, const char* name = nullptr) {
  if (name != nullptr)
    GSCompilerReport(context.diagnostics, true, false, line, format, name, line);
  else
    GSCompilerReport(context.diagnostics, true, false, line, format, line);
  return false;
}

bool Abort(SemanticContext& context, CheckState& state, int line, const char* format,
           const char* name = nullptr) {
  state.abort = true;
  return Fail(context, line, format, name);
}

bool OutOfMemory(SemanticContext& context, CheckState& state) {
  ReportInternalError(context);
  state.abort = true;
  return false;
}

// ---- what a library can hold (GSLibraryLimits.h) ----

using GSLibraryFormat::kGslMaxMethods;
using GSLibraryFormat::kGslMaxObjectSlots;

// The first slot a local variable may not take: the frame's temporaries
// follow its parameters and locals.
constexpr uint32_t kFirstSlotPastLocals =
    GSLibraryFormat::kGslMaxFrameSlots - uint32_t(GSTempSlots::kCount);

bool TooManyMethods(SemanticContext& context, int line, const GSClassSymbol& cls) {
  GSCompilerReport(context.diagnostics, true, false, line,
                   "too many methods in class '%s' (the limit is %u, inherited ones included)",
                   cls.name, kGslMaxMethods);
  return false;
}

bool TooManyMembers(SemanticContext& context, int line, const GSClassSymbol& cls) {
  GSCompilerReport(context.diagnostics, true, false, line,
                   "too many members in class '%s' (an object holds at most %u slots: 2 for each "
                   "class part and 1 for each member, inherited ones included)",
                   cls.name, kGslMaxObjectSlots);
  return false;
}

// The name part of a function symbol's name "::Name(types)".
std::string_view FunctionName(const GSFunctionSymbol& function) {
  std::string_view name(function.name != nullptr ? function.name : "");
  if (name.starts_with("::")) name.remove_prefix(2);
  return name.substr(0, name.find('('));
}

// The line of a declaration's name (child `name`): where a class or a
// function starts, while the declaration's own line is where it ends.
int NameLine(const ParseNode* declaration, int name) {
  const ParseNode* n = declaration->child[name];
  return n != nullptr ? n->line : declaration->line;
}

// A class with its bases resolved: what it inherits must leave room.
bool InheritedFits(SemanticContext& context, int line, const GSClassSymbol& cls) {
  bool ok = true;
  if (cls.inheritedFuncs > kGslMaxMethods) ok = TooManyMethods(context, line, cls);
  if (cls.inheritedVars > kGslMaxObjectSlots) ok = TooManyMembers(context, line, cls);
  return ok;
}

// Each limit is reported once, by the first member or local past it (or by
// the class when its bases alone pass it).
bool MethodFits(SemanticContext& context, int line, const GSClassSymbol& cls,
                const GSFunctionSymbol& function) {
  if (cls.inheritedFuncs + uint32_t(function.index) != kGslMaxMethods) return true;
  return TooManyMethods(context, line, cls);
}

bool MemberFits(SemanticContext& context, int line, const GSClassSymbol& cls,
                const GSVariableSymbol& member) {
  if (cls.inheritedVars + uint32_t(member.index) != kGslMaxObjectSlots) return true;
  return TooManyMembers(context, line, cls);
}

bool LocalFits(SemanticContext& context, int line, const GSFunctionSymbol& function,
               const GSVariableSymbol& local) {
  if (uint32_t(local.index) != kFirstSlotPastLocals) return true;
  const std::string_view name = FunctionName(function);
  GSCompilerReport(context.diagnostics, true, false, line,
                   "too many local variables in function '%.*s' (the limit is %u, parameters "
                   "included)",
                   int(name.size()), name.data(), kFirstSlotPastLocals - 1);
  return false;
}

bool ParametersFit(SemanticContext& context, int line, const GSFunctionSymbol& function) {
  if (function.paramCount <= GSLibraryFormat::kGslMaxParameters) return true;
  const std::string_view name = FunctionName(function);
  GSCompilerReport(context.diagnostics, true, false, line,
                   "too many parameters in function '%.*s' (the limit is %u)", int(name.size()),
                   name.data(), GSLibraryFormat::kGslMaxParameters);
  return false;
}

// ---- declarations ----

const char* TypeSpecClass(const ParseNode* typeSpec) {
  if (typeSpec == nullptr) return nullptr;
  if (typeSpec->op != int32_t(N::TypeObject) &&
      typeSpec->op != int32_t(N::TypeObject + N::TypeArray))
    return nullptr;
  return typeSpec->child[0] != nullptr ? typeSpec->child[0]->Text() : nullptr;
}

uint32_t TypeSpecType(const ParseNode* typeSpec) {
  return typeSpec != nullptr && typeSpec->op >= 0 ? uint32_t(typeSpec->op) : uint32_t(N::TypeNone);
}

const char* CopyOrNull(SemanticContext& context, const char* text) {
  return text != nullptr ? context.symbols->CopyText(text) : nullptr;
}

bool CheckClass(SemanticContext& context, CheckState& state, ParseNode* node) {
  const uint32_t illegal = N::SpecPublic | N::SpecNative | N::SpecThread | N::SpecDefine;
  if ((node->flags & illegal) != 0)
    return Abort(context, state, node->line, "Class has illegal declaration specifiers, line %d.");
  const char* name = node->child[0] != nullptr ? node->child[0]->Text() : nullptr;
  GSSymbolTable& table = *context.symbols;
  if (name == nullptr) return OutOfMemory(context, state);
  if (table.Lookup(name, nullptr, false, false) != nullptr)
    return Abort(context, state, node->line, "Class %s has already been declared, line %d.", name);
  GSClassSymbol* cls = table.NewClass(name);
  if (cls == nullptr) return OutOfMemory(context, state);
  if (!table.Insert(nullptr, cls, false)) {
    table.Discard(cls);
    return OutOfMemory(context, state);
  }
  cls->flags = node->flags & kSpecifierBits;
  state.currentClass = cls;
  GSPendingBase** tail = &cls->pending;
  for (const ParseNode* base = node->child[1]; base != nullptr; base = base->next) {
    GSPendingBase* pending = table.NewPendingBase();
    const char* baseName = CopyOrNull(context, base->text);
    if (pending == nullptr || baseName == nullptr) return OutOfMemory(context, state);
    *pending = GSPendingBase{baseName, base->line, nullptr};
    *tail = pending;
    tail = &pending->next;
  }
  if (state.declarationsOnly) return true;
  return cls->ResolveBase(table, context.diagnostics) &&
         InheritedFits(context, NameLine(node, 0), *cls);
}

// "::name(types)" of a function declaration.
Kiv::String FunctionSymbolName(const ParseNode* decl) {
  Kiv::String out = "::";
  out += decl->child[1] != nullptr && decl->child[1]->text != nullptr ? decl->child[1]->text : "";
  out += "(";
  for (const ParseNode* p = decl->child[2]; p != nullptr; p = p->next) {
    if (p != decl->child[2]) out += ",";
    out += ParamTypeName(TypeSpecType(p->child[0]), TypeSpecClass(p->child[0]));
  }
  out += ")";
  return out;
}

// Enters the function's symbol (or completes its prototype); null after a
// message that ends the check.
GSFunctionSymbol* EnterFunction(SemanticContext& context, CheckState& state, ParseNode* node,
                                const Kiv::String& symbolName, bool& ok) {
  GSSymbolTable& table = *context.symbols;
  GSClassSymbol* cls = state.currentClass;
  const uint32_t specifiers = node->flags & kSpecifierBits;
  const uint32_t returnType = TypeSpecType(node->child[0]);
  GSSymbol* inherited = table.Lookup(symbolName.c_str(), cls, false, true);
  if (inherited != nullptr && inherited->IsFunction() && inherited->owner != cls &&
      (inherited->flags & N::SpecFinal) != 0)
    ok = Fail(context, node->line, "Cannot override final function, line %d.");
  GSFunctionSymbol* function = table.NewFunction(symbolName.c_str());
  if (function == nullptr) {
    OutOfMemory(context, state);
    return nullptr;
  }
  if (table.Insert(cls, function, true)) {
    ok &= MethodFits(context, NameLine(node, 1), *cls, *function);
    return function;
  }
  table.Discard(function);
  GSSymbol* earlier = table.Lookup(symbolName.c_str(), cls, false, true);
  if (earlier == nullptr || !earlier->IsFunction() || earlier->owner != cls) {
    OutOfMemory(context, state);
    return nullptr;
  }
  if ((earlier->flags & Prototype) == 0) {
    Abort(context, state, node->line, "Function %s already declared, line %d.", earlier->name);
    return nullptr;
  }
  earlier->flags &= ~Prototype;
  if (earlier->type != returnType) {
    Abort(context, state, node->line, "Function differs only by return type, line %d.");
    return nullptr;
  }
  if ((earlier->flags & kSpecifierBits) != specifiers)
    ok = Fail(context, node->line, "Function specifiers differ from prototype, line %d.");
  table.SetCurrentFunction(static_cast<GSFunctionSymbol*>(earlier));
  return static_cast<GSFunctionSymbol*>(earlier);
}

bool DescribeFunction(SemanticContext& context, CheckState& state, ParseNode* node,
                      GSFunctionSymbol* function, const Kiv::String& symbolName) {
  GSSymbolTable& table = *context.symbols;
  const ParseNode* returnSpec = node->child[0];
  const uint32_t returnType = TypeSpecType(returnSpec);
  const char* returnClass = TypeSpecClass(returnSpec);
  uint32_t count = 0;
  for (const ParseNode* p = node->child[2]; p != nullptr; p = p->next) ++count;
  GSParamType* params = table.NewParamTypes(count);
  const Kiv::String signature =
      "$" + ParamTypeName(returnType, returnClass) + "@" + state.currentClass->name + symbolName;
  function->signature = table.CopyText(signature);
  function->returnClass = CopyOrNull(context, returnClass);
  if ((count != 0 && params == nullptr) || function->signature == nullptr ||
      (returnClass != nullptr && function->returnClass == nullptr))
    return OutOfMemory(context, state);
  uint32_t i = 0;
  for (const ParseNode* p = node->child[2]; p != nullptr; p = p->next, ++i) {
    params[i].type = TypeSpecType(p->child[0]);
    params[i].className = CopyOrNull(context, TypeSpecClass(p->child[0]));
  }
  function->params = params;
  function->paramCount = count;
  return true;
}

bool EnterParameters(SemanticContext& context, CheckState& state, ParseNode* node,
                     GSFunctionSymbol* function, bool numberOnly) {
  bool ok = true;
  function->nextParam = 1;
  function->localCount = 0;
  for (ParseNode* p = node->child[2]; p != nullptr; p = p->next) {
    const uint32_t number = function->nextParam++;
    if (numberOnly) continue;
    ParseNode* nameNode = p->child[1];
    GSVariableSymbol* variable =
        context.symbols->NewVariable(nameNode != nullptr ? nameNode->text : "");
    if (variable == nullptr) return OutOfMemory(context, state);
    variable->index = int32_t(number);
    variable->type = TypeSpecType(p->child[0]);
    variable->className = CopyOrNull(context, TypeSpecClass(p->child[0]));
    if (!context.symbols->Insert(state.currentClass, variable, false)) {
      context.symbols->Discard(variable);
      ok = Fail(context, p->line, "Variable %s already declared in this scope, line %d.",
                nameNode != nullptr ? nameNode->text : "");
      continue;
    }
    if (nameNode == nullptr) continue;
    nameNode->type = variable->type;
    nameNode->className = variable->className;
    nameNode->flags |= variable->flags;
    nameNode->slot = number & 0xFFFF;
  }
  return ok;
}

bool CheckFunction(SemanticContext& context, CheckState& state, ParseNode* node) {
  bool ok = true;
  const uint32_t specifiers = node->flags & kSpecifierBits;
  const uint32_t illegal = N::SpecStatic | N::SpecGame | N::SpecDefine | N::SpecSecured;
  if ((specifiers & illegal) != 0 ||
      ((specifiers & N::SpecNative) != 0 && (specifiers & N::SpecThread) != 0))
    ok = Fail(context, node->line, "Function has illegal declaration specifiers, line %d.");
  if (state.currentClass == nullptr) return OutOfMemory(context, state);
  ok &= CheckTypeSpec(context, state, node->child[0]);
  for (ParseNode* p = node->child[2]; p != nullptr; p = p->next)
    ok &= CheckTypeSpec(context, state, p->child[0]);

  const Kiv::String symbolName = FunctionSymbolName(node);
  GSFunctionSymbol* function = EnterFunction(context, state, node, symbolName, ok);
  if (function == nullptr) return false;
  const bool isPrototype = node->kind == N::FunctionProto;
  function->type = TypeSpecType(node->child[0]);
  function->flags = specifiers | (isPrototype ? Prototype : 0);
  if ((specifiers & N::SpecThread) != 0) {
    state.currentClass->flags |= N::SpecGame;
    if (function->type != N::TypeVoid)
      ok = Fail(context, node->line, "thread function must return void, line %d.");
  }
  if (!DescribeFunction(context, state, node, function, symbolName)) return false;
  ok &= ParametersFit(context, NameLine(node, 1), *function);

  const bool numberOnly = isPrototype || state.declarationsOnly;
  if (state.declarationsOnly) {
    state.skipChildren = true;
  } else if (!isPrototype) {
    state.currentFunction = function;
    context.symbols->PushScope();
  }
  ok &= EnterParameters(context, state, node, function, numberOnly);
  return ok;
}

bool CheckVariables(SemanticContext& context, CheckState& state, ParseNode* node) {
  GSSymbolTable& table = *context.symbols;
  ParseNode* typeSpec = node->child[0];
  bool ok = CheckTypeSpec(context, state, typeSpec);
  const bool member = (node->flags & N::MemberVariable) != 0;
  const uint32_t specifiers = node->flags & kSpecifierBits;
  if (member && (specifiers & ~(N::SpecPublic | N::SpecDefine)) != 0)
    ok = Fail(context, node->line, "member declaration has invalid specifiers, line %d.");
  if (!member && specifiers != 0)
    ok = Fail(context, node->line, "variable declaration has illegal specifiers, line %d.");
  GSClassSymbol* cls = state.currentClass;
  if (cls == nullptr) return OutOfMemory(context, state);
  const bool define = (specifiers & N::SpecDefine) != 0;
  GSFunctionSymbol* function = member ? nullptr : state.currentFunction;
  const char* className = CopyOrNull(context, TypeSpecClass(typeSpec));
  for (ParseNode* d = node->child[1]; d != nullptr; d = d->next) {
    ParseNode* nameNode = d->child[0];
    GSVariableSymbol* variable = table.NewVariable(nameNode != nullptr ? nameNode->text : "");
    if (variable == nullptr) return OutOfMemory(context, state);
    variable->type = TypeSpecType(typeSpec);
    variable->className = className;
    variable->flags = member ? specifiers : 0;
    if (function != nullptr) variable->index = int32_t(function->nextParam + function->localCount);
    if (!table.Insert(cls, variable, member && !define)) {
      table.Discard(variable);
      ok = Fail(context, d->line, "Variable %s already declared in this scope, line %d.",
                nameNode != nullptr ? nameNode->text : "");
      continue;
    }
    if (function != nullptr) {
      ++function->localCount;
      ok &= LocalFits(context, d->line, *function, *variable);
    } else if (!define) {  // a member: every local has its function
      ok &= MemberFits(context, d->line, *cls, *variable);
    }
    if (nameNode == nullptr) continue;
    nameNode->type = variable->type;
    nameNode->className = variable->className;
    nameNode->flags |= variable->flags;
    nameNode->slot = member ? cls->VariableSlot(variable) : uint32_t(variable->index) & 0xFFFF;
  }
  if (node->child[1] != nullptr) {
    node->child[1]->parent = node;
    const bool saved = state.declarationsOnly;
    if (define) state.declarationsOnly = false;
    ok &= CheckTree(state, node->child[1], context);
    state.declarationsOnly = saved;
  }
  state.skipChildren = true;
  return ok;
}

}  // namespace

bool CheckTypeSpec(SemanticContext& context, CheckState& state, ParseNode* typeSpec) {
  if (typeSpec == nullptr) return true;
  if (typeSpec->type != N::TypeNone) return true;  // checked before
  typeSpec->type = TypeSpecType(typeSpec);
  typeSpec->className = TypeSpecClass(typeSpec);
  if (typeSpec->className == nullptr || state.declarationsOnly) return true;
  GSSymbol* found = context.symbols->Lookup(typeSpec->className, nullptr, false, false);
  if (found != nullptr && found->IsClass()) return true;
  return Fail(context, typeSpec->line, "object<%s> not declared, line %d.", typeSpec->className);
}

GSClassSymbol* FindClass(SemanticContext& context, const char* className) {
  if (className == nullptr) return nullptr;
  GSSymbol* found = context.symbols->Lookup(className, nullptr, false, false);
  return found != nullptr && found->IsClass() ? static_cast<GSClassSymbol*>(found) : nullptr;
}

bool CheckDeclaration(SemanticContext& context, CheckState& state, ParseNode* node) {
  switch (node->nodeClass) {
    case N::NodeDeclaration:
      if (node->kind == N::ClassDecl) return CheckClass(context, state, node);
      if (node->kind == N::FunctionDecl || node->kind == N::FunctionProto)
        return CheckFunction(context, state, node);
      if (node->kind == N::VarDeclList) return CheckVariables(context, state, node);
      return true;
    case N::NodeStatement:
      if (node->kind == N::Block && (node->flags & N::FunctionBody) == 0)
        context.symbols->PushScope();
      return true;
    case N::NodeExpression:
      return true;
    default:
      ReportInternalError(context);
      return false;
  }
}

}  // namespace GSCompiler
