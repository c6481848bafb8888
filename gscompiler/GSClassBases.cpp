// Resolving a class's "isclass" names into its base list and object layout.
//
// Messages name the file that declared the class. A name that fails stays
// pending (bases resolved before it are kept), so a later use of the class
// tries that name again. A class that would appear twice in the ancestry,
// the class itself included, gives the cyclic-derivation message naming the
// class and the class that would repeat. Bases of included classes are
// resolved at first use, recursively.
//
// Every class records each of its ancestors, so a chain of n classes takes
// n(n - 1)/2 records, held to kMaxBaseRecords for the whole compile: a base
// whose records would pass it is refused with a counted error naming the
// class, its line and the limit (a chain of 1448 classes fits), once: the
// class keeps none of that base's records and is not resolved again. A
// chain deeper than kMaxResolveDepth, which could not be held either, gives
// the same error for the class whose use began the resolution, instead of
// exhausting the machine stack.
#include <cstring>

#include "gscompiler/GSSymbol.h"
#include "gscompiler/GSSymbolTable.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

namespace {

constexpr int kMaxResolveDepth = 2048;
static_assert(uint64_t{kMaxResolveDepth} * (kMaxResolveDepth + 1) / 2 >
                  GSSymbolTable::kMaxBaseRecords,
              "a chain too deep to resolve takes more records than a compile holds");
int resolveDepth = 0;  // ResolveBase calls in progress (one compile at a time)
// A ResolveBase call in progress went deeper than kMaxResolveDepth; the
// outermost one reports it.
bool stoppedTooDeep = false;

// Counts one ResolveBase call in progress.
class DepthGuard {
 public:
  DepthGuard() { ++resolveDepth; }
  ~DepthGuard() { --resolveDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool TooDeep() const { return resolveDepth > kMaxResolveDepth; }
  bool Outermost() const { return resolveDepth == 1; }
};

void InternalError(CompileDiagnostics* diagnostics) {
  GSCompilerMessage(diagnostics, "Internal compiler error.");
  if (diagnostics != nullptr) ++diagnostics->errorCount;
}

void TooManyAncestors(CompileDiagnostics* diagnostics, const char* file, int32_t line,
                      const char* className) {
  GSCompilerReportInFile(diagnostics, true, false, file, line,
                         "too many ancestors in one compile for class '%s' (the limit is %u: "
                         "each class counts every class it inherits from, directly or not)",
                         className, GSSymbolTable::kMaxBaseRecords);
}

const char* DeclaringFile(const GSClassSymbol& cls, CompileDiagnostics* diagnostics) {
  if (cls.dependent != nullptr) return cls.dependent->name;
  return diagnostics != nullptr ? diagnostics->fileName : nullptr;
}

// The class that would appear twice when `base` and its ancestry are added
// to `cls`, or null.
const GSClassSymbol* Repeated(const GSClassSymbol& cls, const GSClassSymbol* base) {
  if (base == &cls || cls.FindBase(base) != nullptr) return base;
  for (const GSBaseRecord* a = base->bases; a != nullptr; a = a->next) {
    if (a->base == &cls || cls.FindBase(a->base) != nullptr) return a->base;
  }
  return nullptr;
}

// Appends a record at `*tail` and moves `tail` to its link.
bool Append(GSSymbolTable& table, GSBaseRecord**& tail, GSClassSymbol* base, int32_t p, int32_t q,
            int32_t r) {
  GSBaseRecord* record = table.NewBaseRecord();
  if (record == nullptr) return false;
  *record = GSBaseRecord{base, p, q, r, nullptr};
  *tail = record;
  tail = &record->next;
  return true;
}

enum class Added { kDone, kTooManyAncestors, kOutOfMemory };

// Adds `base` and its ancestry with the layout offsets, or nothing.
Added AddBase(GSSymbolTable& table, GSClassSymbol& cls, GSClassSymbol* base) {
  uint64_t records = 1;
  for (const GSBaseRecord* a = base->bases; a != nullptr; a = a->next) ++records;
  if (!table.HasRoomForBaseRecords(records)) return Added::kTooManyAncestors;
  const int32_t p = int32_t(cls.inheritedVars);
  const int32_t q = int32_t(cls.inheritedFuncs);
  GSBaseRecord** start = &cls.bases;
  while (*start != nullptr) start = &(*start)->next;
  GSBaseRecord** tail = start;
  bool ok = Append(table, tail, base, p, q, 1);
  for (const GSBaseRecord* a = base->bases; ok && a != nullptr; a = a->next)
    ok = Append(table, tail, a->base, p + a->p, q + a->q, 0);
  if (!ok) {
    *start = nullptr;
    return Added::kOutOfMemory;
  }
  cls.inheritedVars += base->inheritedVars + base->varCount;
  cls.inheritedFuncs += base->inheritedFuncs + base->funcCount;
  return Added::kDone;
}

}  // namespace

bool GSClassSymbol::ResolveBase(GSSymbolTable& table, CompileDiagnostics* diagnostics) {
  if (pending == nullptr) return true;
  if (resolving || tooManyAncestors) return false;
  const DepthGuard guard;
  const char* file = DeclaringFile(*this, diagnostics);
  if (guard.TooDeep()) {
    stoppedTooDeep = true;
    return false;
  }
  resolving = true;
  bool ok = true;
  while (pending != nullptr && ok) {
    const GSPendingBase& wanted = *pending;
    GSSymbol* found = table.Lookup(wanted.name, this, true, false);
    if (found == nullptr || !found->IsClass()) {
      GSCompilerReportInFile(diagnostics, true, false, file, wanted.line,
                             "Class %s has not been declared, line %d.", wanted.name, wanted.line);
      ok = false;
      break;
    }
    auto* base = static_cast<GSClassSymbol*>(found);
    if ((base->flags & ParseNode::SpecStatic) != 0) {
      GSCompilerReportInFile(diagnostics, true, false, file, wanted.line,
                             "Cannot extend static class %s, line %d.", base->name, wanted.line);
      ok = false;
      break;
    }
    if ((base->flags & ParseNode::SpecFinal) != 0) {
      GSCompilerReportInFile(diagnostics, true, false, file, wanted.line,
                             "Cannot extend final class %s, line %d.", base->name, wanted.line);
      ok = false;
      break;
    }
    const GSClassSymbol* repeated = base == this || base->resolving ? base : nullptr;
    if (repeated == nullptr && !base->ResolveBase(table, diagnostics)) {
      if (stoppedTooDeep && guard.Outermost()) {
        TooManyAncestors(diagnostics, file, wanted.line, name);
        tooManyAncestors = true;
      }
      ok = false;
      break;
    }
    if (repeated == nullptr) repeated = Repeated(*this, base);
    if (repeated != nullptr) {
      GSCompilerReportInFile(diagnostics, true, false, file, wanted.line,
                             "Class %s and %s causes cyclic derivation, line %d.", name,
                             repeated->name, wanted.line);
      ok = false;
      break;
    }
    const Added added = AddBase(table, *this, base);
    if (added == Added::kTooManyAncestors) {
      TooManyAncestors(diagnostics, file, wanted.line, name);
      tooManyAncestors = true;
    }
    if (added == Added::kOutOfMemory) InternalError(diagnostics);
    if (added != Added::kDone) {
      ok = false;
      break;
    }
    pending = pending->next;
  }
  resolving = false;
  if (guard.Outermost()) stoppedTooDeep = false;
  return ok;
}

}  // namespace GSCompiler
