#include "gscompiler/GSGenerator.h"

#include <algorithm>
#include <new>

#include "foundation/threads/JobDeadline.h"
#include "gscompiler/GSSemanticCheck.h"
#include "gscompiler/GSTypeNames.h"
#include "gscompiler/bytecode/GSLibraryLimits.h"

namespace GSCompiler {

using namespace GSByteCode;
using namespace GSLibraryFormat;

namespace {

bool IsDecl(const ParseNode* n, uint32_t kind) {
  return n->Is(ParseNode::NodeDeclaration, kind);
}

uint32_t ChainCount(const ParseNode* statement, uint32_t kind) {
  uint32_t count = 0;
  for (const ParseNode* n = statement->chain; n != nullptr; n = n->chain)
    if (n->Is(ParseNode::NodeStatement, kind)) ++count;
  return count;
}

// "::Name(types)" from the declaration's parameter type specifiers.
Kiv::String QualifiedFunctionName(const ParseNode* decl) {
  Kiv::String name = "::";
  if (decl->child[1] && decl->child[1]->text) name += decl->child[1]->text;
  name += '(';
  for (const ParseNode* p = decl->child[2]; p != nullptr; p = p->next) {
    if (p != decl->child[2]) name += ',';
    const ParseNode* spec = p->child[0];
    const char* cls = spec && spec->child[0] ? spec->child[0]->Text() : nullptr;
    name += ParamTypeName(spec ? static_cast<uint32_t>(spec->op) : ParseNode::TypeNone, cls);
  }
  name += ')';
  return name;
}

}  // namespace

// ---- support ----

bool GSGenerator::InternalError() {
  GSCompilerReport(&diag_, true, false, line_, "Internal compiler error.");
  return false;
}

bool GSGenerator::Message(const char* prefix, const char* name, const char* suffix) {
  GSCompilerReport(&diag_, false, false, line_, "%s%s%s", prefix, name ? name : "", suffix);
  return false;
}

int GSGenerator::AllocTemp() {
  if (temps_ == nullptr) return -1;
  const int i = temps_->Alloc();
  if (i < 0) {
    InternalError();
    return -1;
  }
  return static_cast<int>(tempBase_) + i;
}

void GSGenerator::FreeTemp(int slot) {
  if (temps_ != nullptr && slot >= 0) temps_->Free(slot - static_cast<int>(tempBase_));
}

int GSGenerator::NewLabel() {
  const int id = labels_.NewLabel();
  if (id < 0) InternalError();
  return id;
}

bool GSGenerator::AddFixup(uint32_t position, int label, const char* text, int line) {
  if (label < 0 || !labels_.AddFixup(position, label, text, line)) return InternalError();
  return true;
}

bool GSGenerator::CodeStringIndex(const char* text, uint16_t& index) {
  const uint32_t i = strings_.Index(text);
  if (i == GSLibraryStrings::kNoIndex) return InternalError();
  // Code asks for its strings before the library writer adds its names, so
  // these are the first indices of the table.
  if (i >= kGslMaxCodeStrings) {
    diag_.refusedAtLimit = true;
    GSCompilerReport(&diag_, true, false, line_,
                     "too many different strings in the code of one library (the limit is %u)",
                     kGslMaxCodeStrings);
    return false;
  }
  index = static_cast<uint16_t>(i);
  return true;
}

bool GSGenerator::TableFits(uint32_t entries, const char* what) {
  if (entries <= kGslMaxTableEntries) return true;
  diag_.refusedAtLimit = true;
  GSCompilerReport(&diag_, true, false, line_, "too many %s (the limit is %u)", what,
                   kGslMaxTableEntries);
  return false;
}

bool GSGenerator::CodeFits(const GSCodeBuffer& code, const Kiv::String& what, int32_t line) {
  if (code.depthSum > kGslMaxCheckedDepthSum) {
    diag_.refusedAtLimit = true;
    GSCompilerReport(&diag_, true, false, line,
                     "%s is too large to load (its operand-stack depths, summed over its "
                     "instructions, pass the limit of %llu)",
                     what.c_str(), static_cast<unsigned long long>(kGslMaxCheckedDepthSum));
    return false;
  }
  // Not reached from a source: a depth of D takes a sum above D * D / 4
  // (an instruction pushes at most 2), far past the limit above at 65535.
  if (static_cast<uint32_t>(code.maxDepth) > kGslMaxOperandDepth) {
    diag_.refusedAtLimit = true;
    GSCompilerReport(&diag_, true, false, line,
                     "%s needs too deep an operand stack (the limit is %u)", what.c_str(),
                     kGslMaxOperandDepth);
    return false;
  }
  return true;
}

int32_t GSGenerator::ClassIndex(const char* className) {
  if (className == nullptr) return -1;
  GSSymbol* s = symbols_.Lookup(className, nullptr, false, false);
  if (s == nullptr || !s->IsClass() || s->id < 0) return -1;
  return s->id;
}

// ---- the statement list ----

bool GSGenerator::CompileStatementList(ParseNode* chain) {
  constexpr uint32_t kStatementsPerPoll = 4096;
  for (ParseNode* node = chain; node != nullptr; node = node->next) {
    if (++statements_ % kStatementsPerPoll == 0 && JobDeadlinePassed()) {
      GSCompilerReport(&diag_, true, false, node->line, "%s", kCompileStoppedText);
      return false;
    }
    // Fetch the next statement while this one is compiled.
    if (node->next.Id() != 0) __builtin_prefetch(static_cast<ParseNode*>(node->next));
    if (!CompileNode(node)) return false;
  }
  return true;
}

bool GSGenerator::CompileNode(ParseNode* node) {
  const LineScope at(line_, node);
  if (function_ != nullptr) function_->currentLine = static_cast<uint32_t>(node->line);
  if (node->nodeClass == ParseNode::NodeExpression) return CompileExpressionStatement(node);
  if (node->nodeClass == ParseNode::NodeDeclaration) {
    switch (node->kind) {
      case ParseNode::FunctionDecl:
      case ParseNode::FunctionProto:
        return CompileFunction(node);
      case ParseNode::ClassDecl:
        return CompileClass(node);
      case ParseNode::VarDeclList:
        return CompileVarDeclList(node);
      case ParseNode::Declarator:
        return CompileDeclarator(node, false);
      default:
        return true;  // includes, type specifiers, parameters, names
    }
  }
  if (node->nodeClass != ParseNode::NodeStatement) return InternalError();
  switch (node->kind) {
    case ParseNode::ReturnStmt:
      return CompileReturn(node);
    case ParseNode::BreakStmt:
      return CompileJumpTo(node, true);
    case ParseNode::ContinueStmt:
      return CompileJumpTo(node, false);
    case ParseNode::GotoStmt:
      return CompileGoto(node);
    case ParseNode::ForStmt:
      return CompileFor(node);
    case ParseNode::WhileStmt:
      return CompileWhile(node);
    case ParseNode::SwitchStmt:
      return CompileSwitch(node);
    case ParseNode::IfStmt:
      return CompileIf(node);
    case ParseNode::DefaultLabel:
      return CompileCase(node, true);
    case ParseNode::CaseLabel:
      return CompileCase(node, false);
    case ParseNode::WaitStmt:
      return CompileWait(node);
    case ParseNode::OnLabel:
      return CompileOnLabel(node);
    case ParseNode::LabelStmt:
      return CompileLabel(node);
    case ParseNode::Block:
      return CompileStatementList(node->child[0]);
    default:
      return InternalError();
  }
}

// ---- declarations ----

bool GSGenerator::CompileClass(ParseNode* node) {
  const char* name = node->child[0] ? node->child[0]->Text() : nullptr;
  GSSymbol* s = name ? symbols_.Lookup(name, nullptr, false, false) : nullptr;
  if (s == nullptr || !s->IsClass()) return false;
  // Read now: the name's node goes with the nodes of the first function.
  const int32_t nameLine = node->child[0] ? node->child[0]->line : node->line;
  try {
    classes_.push_back(std::make_unique<GSCClass>(static_cast<GSClassSymbol*>(s)));
  } catch (const std::bad_alloc&) {
    return InternalError();
  }
  class_ = classes_.back().get();
  classSymbol_ = class_->symbol;
  code_ = &class_->initialiser;
  temps_ = &class_->initialiserTemps;
  tempBase_ = 1;
  bool ok = CompileStatementList(node->child[2]);
  if (ok && class_->initialiser.Size() != 0) class_->initialiser.EmitOp(RET);
  if (ok)
    ok = CodeFits(class_->initialiser, Kiv::String("the initialiser of class '") + name + "'",
                  nameLine);
  const bool failed = class_->initialiser.Failed() || class_->allocationFailed;
  code_ = nullptr;
  temps_ = nullptr;
  class_ = nullptr;
  classSymbol_ = nullptr;
  if (arena_ != nullptr) arena_->ReleaseNodesBefore(node);
  if (failed) return InternalError();
  return ok;
}

bool GSGenerator::CompileFunction(ParseNode* node) {
  if (class_ == nullptr) return InternalError();
  Kiv::String qualified;
  try {
    qualified = QualifiedFunctionName(node);
  } catch (const std::bad_alloc&) {
    return InternalError();
  }
  GSSymbol* s = symbols_.Lookup(qualified.c_str(), classSymbol_, false, true);
  if (s == nullptr || !s->IsFunction()) return false;
  GSFunctionSymbol* symbol = static_cast<GSFunctionSymbol*>(s);
  const bool native = (symbol->flags & ParseNode::SpecNative) != 0;
  const bool hasBody = IsDecl(node, ParseNode::FunctionDecl);
  if (((symbol->flags & Prototype) != 0 && !native) || (native && hasBody)) {
    const LineScope name(line_, node->child[1]);
    if (native) return Message("Native function ", symbol->name, " has been implemented");
    return Message("Function ", symbol->name, " not implemented");
  }
  if (!hasBody && !native) return true;

  GSCFunction* fn = class_->AddFunction(symbol);
  if (fn == nullptr) return InternalError();
  uint32_t slot = 1;
  for (const ParseNode* p = node->child[2]; p != nullptr; p = p->next, ++slot)
    if (p->child[0] && GSIsReferenceType(static_cast<uint32_t>(p->child[0]->op)))
      fn->AddReferenceSlot(slot);
  if (!hasBody) return !fn->allocationFailed || InternalError();

  GSCodeBuffer* savedCode = code_;
  GSTempSlots* savedTemps = temps_;
  const uint32_t savedBase = tempBase_;
  function_ = fn;
  functionSymbol_ = symbol;
  code_ = &fn->code;
  temps_ = &fn->temps;
  tempBase_ = symbol->nextParam + symbol->localCount;
  fn->code.lineHook = GSCFunctionAddLine;
  fn->currentLine = static_cast<uint32_t>(node->line);
  symbols_.SetCurrentFunction(symbol);

  bool ok = CompileStatementList(node->child[3] ? node->child[3]->child[0] : nullptr);
  if (ok && labels_.ResolveFixups(fn->code, &diag_) != 0) ok = false;
  if (ok && (fn->code.Failed() || fn->allocationFailed)) ok = InternalError();
  if (ok) {
    const ParseNode* nameNode = node->child[1];
    ok = CodeFits(
        fn->code,
        Kiv::String("function '") + (nameNode && nameNode->text ? nameNode->Text() : "") + "'",
        nameNode ? nameNode->line : node->line);
  }
  symbol->tempCount = fn->temps.Used();
  fn->code.lineHook = nullptr;

  labels_.Reset();
  loops_.clear();
  switches_.clear();
  waits_.clear();
  symbols_.SetCurrentFunction(nullptr);
  function_ = nullptr;
  functionSymbol_ = nullptr;
  code_ = savedCode;
  temps_ = savedTemps;
  tempBase_ = savedBase;
  // Nothing generated later reads the nodes of a generated function: a long
  // class holds no more than the function being generated.
  if (arena_ != nullptr) arena_->ReleaseNodesBefore(node);
  return ok;
}

bool GSGenerator::CompileVarDeclList(ParseNode* node) {
  const bool member = (node->flags & ParseNode::MemberVariable) != 0;
  if (member && (node->flags & ParseNode::SpecDefine) != 0) return true;
  for (ParseNode* d = node->child[1]; d != nullptr; d = d->next)
    if (!CompileDeclarator(d, member)) return false;
  return true;
}

bool GSGenerator::CompileDeclarator(ParseNode* node, bool member) {
  const ParseNode* name = node->child[0];
  if (name == nullptr || code_ == nullptr) return InternalError();
  const uint16_t slot = static_cast<uint16_t>(name->slot & 0xFFFF);
  const bool reference = GSIsReferenceType(name->type);
  if (reference) {
    if (member)
      class_->AddReferenceMember(slot);
    else if (function_)
      function_->AddReferenceSlot(slot);
  }
  ParseNode* init = node->child[1];
  if (init == nullptr) return true;
  if (!CompileExpression(init)) return false;
  if (!member && init->type == ParseNode::TypeString && name->type == ParseNode::TypeString &&
      ((init->flags & ParseNode::LValue) != 0 ||
       init->Is(ParseNode::NodeExpression, ParseNode::Call) ||
       (init->Is(ParseNode::NodeExpression, ParseNode::Operator) && init->op == ParseNode::OpCast)))
    code_->EmitOp(SCOPY);
  if (!Convert(init->type, init->className, name->type, name->className)) return false;
  if (member)
    code_->EmitOpU16(reference ? SETMEREF : SETME, slot);
  else
    code_->EmitOpU16(reference ? STOREREF : STORE, slot);
  return true;
}

// ---- statements ----

bool GSGenerator::CompileReturn(ParseNode* node) {
  if (node->child[0] == nullptr) {
    code_->EmitOp(RET);
    return true;
  }
  if (!CompileExpressionChain(node->child[0])) return false;
  const bool reference = functionSymbol_ && GSIsReferenceType(functionSymbol_->type);
  code_->EmitOp(reference ? RETREF : RETV);
  return true;
}

bool GSGenerator::CompileJumpTo(ParseNode* node, bool isBreak) {
  auto found = loops_.find(node->chain);
  if (node->chain == nullptr || found == loops_.end()) return InternalError();
  const int label = isBreak ? found->second.breakLabel : found->second.continueLabel;
  if (label < 0) return InternalError();
  code_->EmitOpU32(JMP, 0);
  return AddFixup(code_->Position() - 4, label, isBreak ? "Break" : "Continue", node->line);
}

bool GSGenerator::CompileGoto(ParseNode* node) {
  const char* name = node->child[0] ? node->child[0]->Text() : nullptr;
  const int label = labels_.LabelForName(name);
  if (label < 0) return InternalError();
  code_->EmitOpU32(JMP, 0);
  return AddFixup(code_->Position() - 4, label, "no matching label", node->line);
}

bool GSGenerator::CompileLabel(ParseNode* node) {
  const char* name = node->child[0] ? node->child[0]->Text() : nullptr;
  const int label = labels_.LabelForName(name);
  if (label < 0) return InternalError();
  return labels_.DefineLabel(label, code_->Position());
}

bool GSGenerator::CompileWhile(ParseNode* node) {
  const LoopLabels l{NewLabel(), NewLabel()};
  if (l.breakLabel < 0 || l.continueLabel < 0) return false;
  loops_[node] = l;
  const uint32_t top = code_->Position();
  labels_.DefineLabel(l.continueLabel, top);
  if (!CompileCondition(node->child[0])) return false;
  const uint32_t hole = code_->ReserveJump(JZ);
  if (!CompileNode(node->child[1])) return false;
  code_->EmitOpU32(JMP, top);
  code_->FillJump(hole, JZ, code_->Position());
  labels_.DefineLabel(l.breakLabel, code_->Position());
  return true;
}

bool GSGenerator::CompileFor(ParseNode* node) {
  const LoopLabels l{NewLabel(), NewLabel()};
  if (l.breakLabel < 0 || l.continueLabel < 0) return false;
  loops_[node] = l;
  if (!CompileExpressionChain(node->child[0])) return false;
  const uint32_t top = code_->Position();
  if (node->child[1] == nullptr)
    code_->EmitOp(PUSH1);
  else if (!CompileCondition(node->child[1]))
    return false;
  const uint32_t hole = code_->ReserveJump(JZ);
  if (node->child[2] && !CompileNode(node->child[2])) return false;
  labels_.DefineLabel(l.continueLabel, code_->Position());
  if (!CompileExpressionChain(node->child[3])) return false;
  code_->EmitOpU32(JMP, top);
  code_->FillJump(hole, JZ, code_->Position());
  labels_.DefineLabel(l.breakLabel, code_->Position());
  return true;
}

bool GSGenerator::CompileIf(ParseNode* node) {
  if (!CompileCondition(node->child[0])) return false;
  const uint32_t hole = code_->ReserveJump(JZ);
  if (node->child[1] && !CompileNode(node->child[1])) return false;
  if (node->child[2] == nullptr) {
    code_->FillJump(hole, JZ, code_->Position());
    return true;
  }
  const uint32_t skip = code_->ReserveJump(JMP);
  if (!CompileNode(node->child[2])) return false;
  code_->FillJump(hole, JZ, skip + 5);
  code_->FillJump(skip, JMP, code_->Position());
  return true;
}

bool GSGenerator::CompileSwitch(ParseNode* node) {
  const int breakLabel = NewLabel();
  if (breakLabel < 0) return false;
  loops_[node] = LoopLabels{breakLabel, -1};
  if (!CompileExpressionChain(node->child[0])) return false;
  const uint32_t n = ChainCount(node, ParseNode::CaseLabel);
  if (!TableFits(n, "cases in switch")) return false;
  code_->BeginOp(SWITCH);
  code_->WriteU8(SWITCH);
  code_->WriteU16(static_cast<uint16_t>(n));
  const uint32_t table = code_->Reserve(8 * n + 4);
  try {
    switches_.push_back(SwitchState{{}, false, 0});
  } catch (const std::bad_alloc&) {
    return InternalError();
  }
  if (!CompileNode(node->child[1])) return false;
  SwitchState state = std::move(switches_.back());
  switches_.pop_back();
  const uint32_t end = code_->Position();
  if (state.cases.size() != n) return InternalError();
  std::stable_sort(state.cases.begin(), state.cases.end(),
                   [](const CaseEntry& a, const CaseEntry& b) { return a.value < b.value; });
  for (size_t i = 1; i < state.cases.size(); ++i) {
    if (state.cases[i].value != state.cases[i - 1].value) continue;
    GSCompilerReport(&diag_, true, false, state.cases[i].line, "case has duplicate value, line %d",
                     state.cases[i].line);
    return false;
  }
  code_->Seek(table);
  for (const CaseEntry& c : state.cases) code_->WriteU32(static_cast<uint32_t>(c.value));
  for (const CaseEntry& c : state.cases) code_->WriteU32(c.position);
  code_->WriteU32(state.hasDefault ? state.defaultPosition : end);
  code_->SeekEnd();
  labels_.DefineLabel(breakLabel, end);
  return true;
}

// A label belongs to the nearest switch or wait around it (GSSemanticCheck.h),
// which is the innermost one being generated: no chain is searched, so a
// long switch or wait takes linear time. A label that went elsewhere would
// leave its statement's count short, an internal error there.
bool GSGenerator::CompileCase(ParseNode* node, bool isDefault) {
  if (switches_.empty()) return InternalError();
  SwitchState* state = &switches_.back();
  if (isDefault) {
    state->hasDefault = true;
    state->defaultPosition = code_->Position();
    return true;
  }
  const ParseNode* value = node->child[0];
  if (value == nullptr || !value->Is(ParseNode::NodeExpression, ParseNode::Constant))
    return InternalError();
  try {
    state->cases.push_back(CaseEntry{value->IntValue(), code_->Position(), node->line});
  } catch (const std::bad_alloc&) {
    return InternalError();
  }
  return true;
}

bool GSGenerator::CompileWait(ParseNode* node) {
  const LoopLabels l{NewLabel(), NewLabel()};
  if (l.breakLabel < 0 || l.continueLabel < 0) return false;
  loops_[node] = l;
  const uint32_t n = ChainCount(node, ParseNode::OnLabel);
  if (!TableFits(n, "on labels in wait")) return false;
  labels_.DefineLabel(l.continueLabel, code_->Position());
  code_->BeginOp(WAIT);
  code_->WriteU8(WAIT);
  code_->WriteU16(static_cast<uint16_t>(n));
  const uint32_t table = code_->Reserve(8 * n);
  try {
    waits_.push_back(WaitState{{}, {}, l.breakLabel});
  } catch (const std::bad_alloc&) {
    return InternalError();
  }
  if (!CompileNode(node->child[0])) return false;
  WaitState state = std::move(waits_.back());
  waits_.pop_back();
  if (state.labels.size() != n) return InternalError();
  code_->Seek(table);
  for (const ParseNode* label : state.labels) {
    const LineScope at(line_, label);
    uint16_t major = 0, minor = 0;
    if (!CodeStringIndex(label->child[0]->text, major) ||
        !CodeStringIndex(label->child[1]->text, minor))
      return false;
    code_->WriteU16(major);
    code_->WriteU16(minor);
  }
  for (uint32_t position : state.positions) code_->WriteU32(position);
  code_->SeekEnd();
  labels_.DefineLabel(l.breakLabel, code_->Position());
  return true;
}

bool GSGenerator::CompileOnLabel(ParseNode* node) {
  const ParseNode* major = node->child[0];
  const ParseNode* minor = node->child[1];
  if (major == nullptr || minor == nullptr || major->text == nullptr || minor->text == nullptr)
    return InternalError();
  // Inside a wait, the label is the innermost wait's (see CompileCase).
  WaitState* wait = waits_.empty() ? nullptr : &waits_.back();
  if (wait != nullptr) {
    if (!wait->labels.empty()) {
      code_->EmitOpU32(JMP, 0);
      if (!AddFixup(code_->Position() - 4, wait->breakLabel, "Break", node->line)) return false;
    }
    try {
      wait->labels.push_back(node);
      wait->positions.push_back(code_->Position());
    } catch (const std::bad_alloc&) {
      return InternalError();
    }
  } else {
    uint16_t majorIndex = 0, minorIndex = 0;
    if (!CodeStringIndex(major->text, majorIndex) || !CodeStringIndex(minor->text, minorIndex))
      return false;
    code_->BeginOp(WAIT);
    code_->WriteU8(WAIT);
    code_->WriteU16(1);
    code_->WriteU16(majorIndex);
    code_->WriteU16(minorIndex);
    code_->WriteU32(code_->Position() + 4);
  }
  code_->TrackStackDepth(1);  // the delivered message
  ParseNode* variable = node->child[2];
  if (variable == nullptr) {
    code_->EmitOp(POPREF);
    return true;
  }
  if (variable->className != nullptr && *variable->className != '\0' &&
      !EmitClassIndex(CAST, variable->className))
    return false;
  Target target{};
  if (variable->Is(ParseNode::NodeExpression, ParseNode::Identifier)) {
    if (!PushTargetParts(variable, target)) return false;
    EmitStore(target, false);
    return true;
  }
  const int temp = AllocTemp();
  if (temp < 0) return false;
  code_->EmitOpU16(STORE, static_cast<uint16_t>(temp));
  if (!PushTargetParts(variable, target)) return false;
  code_->EmitOpU16(LOAD, static_cast<uint16_t>(temp));
  FreeTemp(temp);
  EmitStore(target, false);
  return true;
}

}  // namespace GSCompiler
