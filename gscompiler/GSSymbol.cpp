#include "gscompiler/GSSymbol.h"

#include <strings.h>

#include <cstring>

#include "gscompiler/GSSymbolTable.h"
#include "gscompiler/GSTypeNames.h"
#include "kiv/String.h"

namespace GSCompiler {

// The cached name hash takes no room of its own (see GSSymbol.h).
static_assert(sizeof(void*) != 8 || sizeof(GSSymbol) == 80);

namespace {

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

int CompareNames(const char* a, const char* b, bool ignoreCase) {
  a = OrEmpty(a);
  b = OrEmpty(b);
  return ignoreCase ? strcasecmp(a, b) : std::strcmp(a, b);
}

void Append(CompileLogSink* log, const Kiv::String& line) {
  if (log != nullptr) log->AppendLine(line);
}

void DumpTyped(CompileLogSink* log, const GSSymbol& s, const char* className) {
  const Kiv::String specifiers = GSSpecifierNames(s.flags);
  if (className != nullptr) {
    Append(log, Kiv::StringPrintf("%d:%d:%s<%s> %s %s", s.index, s.depth, GSTypeName(s.type),
                                  className, OrEmpty(s.name), specifiers.c_str()));
    return;
  }
  Append(log, Kiv::StringPrintf("%d:%d:%s %s %s", s.index, s.depth, GSTypeName(s.type),
                                OrEmpty(s.name), specifiers.c_str()));
}

}  // namespace

uint32_t GSSymbol::HashName(uint32_t symbolKind, const char* symbolName) {
  uint32_t h = 0;
  if (symbolName == nullptr) return h;
  if (symbolKind != SymbolDependent) {
    // Most names: no case folding, one step per byte.
    for (const char* c = symbolName; *c; ++c)
      h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*c)));
    return h;
  }
  for (const char* c = symbolName; *c; ++c) {
    const char ch = *c >= 'A' && *c <= 'Z' ? char(*c - 'A' + 'a') : *c;
    h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(ch)));
  }
  return h;
}

uint64_t NamePrefix(const char* name) {
  uint64_t prefix = 0;
  int length = 0;
  for (; name != nullptr && length < 8 && name[length] != '\0'; ++length)
    prefix = prefix << 8 | static_cast<unsigned char>(name[length]);
  return length == 0 ? 0 : prefix << (8 * (8 - length));
}

int GSSymbol::Compare(const Utils::IHashNode& other) const {
  const GSSymbol& o = static_cast<const GSSymbol&>(other);
  const bool ignoreCase = kind == SymbolDependent && o.kind == SymbolDependent;
  const int c = CompareNames(name, o.name, ignoreCase);
  if (c != 0) return c;
  if (depth == -1 || o.depth == -1 || depth == o.depth) return 0;
  return depth > o.depth ? -1 : 1;  // deeper first
}

void GSSymbol::Dump(CompileLogSink*) const {}

void GSDependentSymbol::Dump(CompileLogSink* log) const {
  Append(log, Kiv::StringPrintf("\nDependent \"%s\", crc 0x%X, filename crc 0x%X\n", OrEmpty(name),
                                textCrc, nameCrc));
}

void GSVariableSymbol::Dump(CompileLogSink* log) const {
  DumpTyped(log, *this, className);
}

void GSFunctionSymbol::Dump(CompileLogSink* log) const {
  DumpTyped(log, *this, returnClass);
}

bool GSFunctionSymbol::HasName(const char* functionName) const {
  if (name == nullptr || functionName == nullptr) return false;
  if (std::strncmp(name, "::", 2) != 0) return false;
  const char* start = name + 2;
  const char* open = std::strchr(start, '(');
  if (open == nullptr) return false;
  const size_t length = size_t(open - start);
  return std::strlen(functionName) == length && std::strncmp(start, functionName, length) == 0;
}

GSClassSymbol* GSFunctionSymbol::OwnerClass() const {
  return owner != nullptr && owner->IsClass() ? static_cast<GSClassSymbol*>(owner) : nullptr;
}

void GSClassSymbol::Dump(CompileLogSink* log) const {
  const Kiv::String frame(40, '=');
  Append(log, frame);
  Kiv::String line =
      Kiv::StringPrintf("%d:%s %s (%s)::", id, OrEmpty(name), GSSpecifierNames(flags).c_str(),
                        dependent != nullptr ? OrEmpty(dependent->name) : "");
  for (const GSBaseRecord* b = bases; b != nullptr; b = b->next)
    line += Kiv::StringPrintf("%d:%s,", b->p, OrEmpty(b->base->name));
  Append(log, line);
  for (const Utils::IHashNode* n = members.first; n != nullptr; n = n->next)
    static_cast<const GSSymbol*>(n)->Dump(log);
  Append(log, frame);
}

const GSBaseRecord* GSClassSymbol::FindBase(const GSClassSymbol* ancestor) const {
  for (const GSBaseRecord* b = bases; b != nullptr; b = b->next) {
    if (b->base == ancestor) return b;
  }
  return nullptr;
}

uint32_t GSClassSymbol::VariableSlot(const GSSymbol* member) const {
  if (member == nullptr || !member->IsVariable() || member->IsDefine() || member->index < 0)
    return kNoSlot;
  if ((member->flags & Local) != 0) return uint32_t(member->index) & 0xFFFF;
  if (member->owner == this) return (inheritedVars + uint32_t(member->index)) & 0xFFFF;
  if (member->owner == nullptr || !member->owner->IsClass()) return kNoSlot;
  const auto* x = static_cast<const GSClassSymbol*>(member->owner);
  const GSBaseRecord* record = FindBase(x);
  if (record == nullptr) return kNoSlot;
  return (uint32_t(record->p) + x->inheritedVars + uint32_t(member->index)) & 0xFFFF;
}

uint32_t GSClassSymbol::FunctionNumber(const GSSymbol* function) const {
  if (function == nullptr || !function->IsFunction() || function->index < 0) return kNoSlot;
  if (function->owner == this) return (inheritedFuncs + uint32_t(function->index)) & 0xFFFF;
  if (function->owner == nullptr || !function->owner->IsClass()) return kNoSlot;
  const auto* x = static_cast<const GSClassSymbol*>(function->owner);
  const GSBaseRecord* record = FindBase(x);
  if (record == nullptr) return kNoSlot;
  return (uint32_t(record->q) + x->inheritedFuncs + uint32_t(function->index)) & 0xFFFF;
}

}  // namespace GSCompiler
