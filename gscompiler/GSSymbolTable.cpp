#include "gscompiler/GSSymbolTable.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "gscompiler/GSTypeNames.h"

namespace GSCompiler {

namespace {

constexpr uint32_t kTextBlockSize = 4096;
constexpr uint32_t kSymbolsPerBlock = 64;

constexpr uint32_t RoundUp16(size_t n) {
  return uint32_t((n + 15) / 16 * 16);
}

// Functions, classes, and variables with dependent files each fill slots
// of a pool of their own size (a unit of many small classes holds about as
// many of each); a multiple of 16 makes a pool align slots to 16 bytes.
constexpr uint32_t kFunctionSlotSize = RoundUp16(sizeof(GSFunctionSymbol));
constexpr uint32_t kVariableSlotSize =
    RoundUp16(std::max(sizeof(GSDependentSymbol), sizeof(GSVariableSymbol)));
constexpr uint32_t kClassSlotSize = RoundUp16(sizeof(GSClassSymbol));

}  // namespace

Kiv::String ParamTypeName(uint32_t type, const char* className) {
  if (className != nullptr && type == ParseNode::TypeObject) return className;
  if (className != nullptr && type == ParseNode::TypeObject + ParseNode::TypeArray)
    return Kiv::String(className) + "[]";
  return GSTypeName(type);
}

GSSymbolTable::GSSymbolTable() : GSSymbol(SymbolTable, ""), texts_(kTextBlockSize) {
  functionPool_.Init(this, kFunctionSlotSize, kSymbolsPerBlock);
  variablePool_.Init(this, kVariableSlotSize, kSymbolsPerBlock);
  classPool_.Init(this, kClassSlotSize, kSymbolsPerBlock);
}

GSSymbolTable::~GSSymbolTable() = default;

void GSSymbolTable::Reset() {
  functionPool_.Reset();
  variablePool_.Reset();
  classPool_.Reset();
  texts_.FreeBlocks();
  globals_.Clear();
  chains_.Clear();
  std::fill(std::begin(scopes_), std::end(scopes_), nullptr);
  depth_ = 0;
  overflow_ = 0;
  currentFunction_ = nullptr;
  currentUnit_ = nullptr;
  classIds_ = 0;
  functionIds_ = 0;
  baseRecords_ = 0;
}

Utils::BlockMemory& GSSymbolTable::PoolOf(uint32_t symbolKind) {
  if (symbolKind == SymbolClass) return classPool_;
  return symbolKind == SymbolFunction ? functionPool_ : variablePool_;
}

void* GSSymbolTable::AllocateSymbol(uint32_t symbolKind) {
  if (allocationBudget_ == 0) return nullptr;
  void* slot = PoolOf(symbolKind).Allocate();
  if (slot != nullptr && allocationBudget_ > 0) --allocationBudget_;
  return slot;
}

void GSSymbolTable::DestroySymbol(GSSymbol* symbol) {
  if (symbol == currentFunction_) currentFunction_ = nullptr;
  Utils::BlockMemory& pool = PoolOf(symbol->kind);
  symbol->~GSSymbol();
  pool.FreeSlot(symbol);
}

const char* GSSymbolTable::CopyText(std::string_view text) {
  char* copy = static_cast<char*>(texts_.Allocate(text.size() + 1, 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

GSParamType* GSSymbolTable::NewParamTypes(uint32_t count) {
  if (count == 0) return nullptr;
  void* memory = texts_.Allocate(sizeof(GSParamType) * count, alignof(GSParamType));
  return memory != nullptr ? new (memory) GSParamType[count]() : nullptr;
}

GSBaseRecord* GSSymbolTable::NewBaseRecord() {
  if (baseRecords_ >= kMaxBaseRecords) return nullptr;
  ++baseRecords_;
  void* memory = texts_.Allocate(sizeof(GSBaseRecord), alignof(GSBaseRecord));
  return memory != nullptr ? new (memory) GSBaseRecord{} : nullptr;
}

GSPendingBase* GSSymbolTable::NewPendingBase() {
  void* memory = texts_.Allocate(sizeof(GSPendingBase), alignof(GSPendingBase));
  return memory != nullptr ? new (memory) GSPendingBase{} : nullptr;
}

GSDependentSymbol* GSSymbolTable::NewDependent(const char* fileName, uint32_t textCrc,
                                               uint32_t nameCrc) {
  const char* copy = CopyText(fileName != nullptr ? fileName : "");
  void* slot = copy != nullptr ? AllocateSymbol(SymbolDependent) : nullptr;
  if (slot == nullptr) return nullptr;
  auto* symbol = new (slot) GSDependentSymbol(copy);
  symbol->textCrc = textCrc;
  symbol->nameCrc = nameCrc;
  return symbol;
}

GSVariableSymbol* GSSymbolTable::NewVariable(const char* variableName) {
  const char* copy = CopyText(variableName != nullptr ? variableName : "");
  void* slot = copy != nullptr ? AllocateSymbol(SymbolVariable) : nullptr;
  return slot != nullptr ? new (slot) GSVariableSymbol(copy) : nullptr;
}

GSFunctionSymbol* GSSymbolTable::NewFunction(const char* symbolName) {
  const char* copy = CopyText(symbolName != nullptr ? symbolName : "");
  void* slot = copy != nullptr ? AllocateSymbol(SymbolFunction) : nullptr;
  return slot != nullptr ? new (slot) GSFunctionSymbol(copy) : nullptr;
}

GSClassSymbol* GSSymbolTable::NewClass(const char* className) {
  const char* copy = CopyText(className != nullptr ? className : "");
  void* slot = copy != nullptr ? AllocateSymbol(SymbolClass) : nullptr;
  if (slot == nullptr) return nullptr;
  auto* symbol = new (slot) GSClassSymbol(copy);
  symbol->dependent = currentUnit_;
  return symbol;
}

GSSymbol* GSSymbolTable::Lookup(const char* text, GSClassSymbol* cls, bool outward,
                                bool membersOnly) {
  if (text == nullptr) return nullptr;
  // One key for every search: making one hashes the name.
  GSSymbol key(SymbolVariable, text);
  key.depth = -1;
  GSSymbol* found = nullptr;
  if (cls == nullptr) {
    found = globals_.Find(key);
  } else {
    key.depth = membersOnly ? 0 : -1;
    found = chains_.Find(cls->members, key);
    for (const GSBaseRecord* b = cls->bases; found == nullptr && b != nullptr; b = b->next)
      found = chains_.Find(b->base->members, key);
    key.depth = -1;
    if (found == nullptr && outward) found = globals_.Find(key);
  }
  if (found != nullptr) NumberOnUse(found);
  return found;
}

GSDependentSymbol* GSSymbolTable::FindDependent(const char* fileName) const {
  if (fileName == nullptr) return nullptr;
  GSSymbol key(SymbolDependent, fileName);
  key.depth = -1;
  GSSymbol* found = globals_.Find(key);
  return found != nullptr && found->kind == SymbolDependent ? static_cast<GSDependentSymbol*>(found)
                                                            : nullptr;
}

bool GSSymbolTable::Insert(GSClassSymbol* cls, GSSymbol* symbol, bool numbered) {
  if (symbol == nullptr || symbol->owner != nullptr) return false;
  if (cls != nullptr && !cls->IsClass()) return false;
  symbol->depth = depth_;
  if (cls != nullptr) {
    if (!chains_.Insert(cls->members, symbol)) return false;
    symbol->owner = cls;
    if (depth_ == 0 && numbered && symbol->IsVariable()) symbol->index = int32_t(cls->varCount++);
    if (depth_ == 0 && numbered && symbol->IsFunction()) symbol->index = int32_t(cls->funcCount++);
    if (depth_ > 0) symbol->flags |= Local;
  } else {
    if (!globals_.Insert(symbol)) return false;
    symbol->owner = this;
  }
  symbol->scopeNext = scopes_[depth_];
  scopes_[depth_] = symbol;
  if (symbol->IsFunction()) currentFunction_ = static_cast<GSFunctionSymbol*>(symbol);
  return true;
}

void GSSymbolTable::Discard(GSSymbol* symbol) {
  if (symbol != nullptr && symbol->owner == nullptr) DestroySymbol(symbol);
}

void GSSymbolTable::PushScope() {
  if (depth_ >= kMaxDepth) {
    ++overflow_;
    return;
  }
  ++depth_;
  scopes_[depth_] = nullptr;
}

void GSSymbolTable::PopScope() {
  if (overflow_ > 0) {
    --overflow_;
    return;
  }
  if (depth_ == 0) return;
  GSSymbol* symbol = scopes_[depth_];
  scopes_[depth_] = nullptr;
  while (symbol != nullptr) {
    GSSymbol* following = symbol->scopeNext;
    if (symbol->owner == this) {
      globals_.Remove(symbol);
    } else if (symbol->owner != nullptr && symbol->owner->IsClass()) {
      chains_.Remove(static_cast<GSClassSymbol*>(symbol->owner)->members, symbol);
    }
    DestroySymbol(symbol);
    symbol = following;
  }
  --depth_;
}

namespace {

// The functions of `cls` itself that match, in member-table order. Their
// symbol names all start with "::name(", so a long class is searched from
// that prefix on instead of walked whole.
uint32_t CollectOwn(const GSSymbolChains& chains, const GSClassSymbol& cls,
                    const std::string& prefix, uint32_t argumentCount, GSFunctionSymbol** out,
                    uint32_t max) {
  uint32_t n = 0;
  chains.ForEachWithPrefix(cls.members, prefix, [&](GSSymbol* symbol) {
    if (!symbol->IsFunction() || symbol->depth != 0) return true;
    auto* function = static_cast<GSFunctionSymbol*>(symbol);
    if (function->ParamCount() == argumentCount) out[n++] = function;
    return n < max;
  });
  return n;
}

}  // namespace

uint32_t GSSymbolTable::FindFunctions(GSClassSymbol* cls, const char* functionName,
                                      uint32_t argumentCount, GSFunctionSymbol** out,
                                      uint32_t max) {
  if (cls == nullptr || functionName == nullptr || max == 0) return 0;
  // Depth first over the direct bases, without recursion (inheritance
  // chains can be long): a class with matching functions hides its bases.
  std::vector<const GSClassSymbol*> pending;
  uint32_t n = 0;
  try {
    const std::string prefix = std::string("::") + functionName + "(";
    pending.push_back(cls);
    while (!pending.empty() && n < max) {
      const GSClassSymbol* c = pending.back();
      pending.pop_back();
      const uint32_t own = CollectOwn(chains_, *c, prefix, argumentCount, out + n, max - n);
      n += own;
      if (own != 0) continue;
      const size_t mark = pending.size();
      for (const GSBaseRecord* b = c->bases; b != nullptr; b = b->next)
        if (b->r == 1) pending.push_back(b->base);
      std::reverse(pending.begin() + std::ptrdiff_t(mark), pending.end());
    }
  } catch (const std::bad_alloc&) {
    // Out of memory: the candidates found so far.
  }
  return n;
}

bool GSSymbolTable::IsOrDerivesFrom(GSClassSymbol* cls, const char* className,
                                    CompileDiagnostics* diagnostics) {
  if (cls == nullptr || className == nullptr) return false;
  if (std::strcmp(cls->name, className) == 0) return true;
  cls->ResolveBase(*this, diagnostics);
  for (const GSBaseRecord* b = cls->bases; b != nullptr; b = b->next) {
    if (std::strcmp(b->base->name, className) == 0) return true;
  }
  return false;
}

void GSSymbolTable::NumberOnUse(GSSymbol* symbol) {
  if (symbol == nullptr) return;
  if (symbol->IsClass() && symbol->id < 0) symbol->id = classIds_++;
  if (!symbol->IsFunction()) return;
  if (symbol->id < 0) symbol->id = functionIds_++;
  if (symbol->owner != nullptr && symbol->owner->IsClass() && symbol->owner->id < 0)
    symbol->owner->id = classIds_++;
}

void GSSymbolTable::ClearIds() {
  for (Utils::IHashNode* node = Globals().first; node != nullptr; node = node->next) {
    auto* symbol = static_cast<GSSymbol*>(node);
    if (!symbol->IsClass()) continue;
    symbol->id = -1;
    const auto& members = static_cast<GSClassSymbol*>(symbol)->members;
    for (Utils::IHashNode* member = members.first; member != nullptr; member = member->next)
      if (static_cast<GSSymbol*>(member)->IsFunction()) static_cast<GSSymbol*>(member)->id = -1;
  }
  classIds_ = 0;
  functionIds_ = 0;
}

void GSSymbolTable::Dump(CompileLogSink* log) const {
  if (log == nullptr) return;
  log->AppendLine("Symbol Table");
  for (const Utils::IHashNode* node = Globals().first; node != nullptr; node = node->next)
    static_cast<const GSSymbol*>(node)->Dump(log);
}

}  // namespace GSCompiler
