// Resolving a class's "isclass" names into its base list and object layout.
//
// Messages name the file that declared the class. A name that fails stays
// pending (bases resolved before it are kept), so a later use of the class
// tries that name again. A class that would appear twice in the ancestry,
// the class itself included, gives the cyclic-derivation message naming the
// class and the class that would repeat. Bases of included classes are
// resolved at first use, recursively; a chain deeper than kMaxResolveDepth
// stops with a counted "Internal compiler error." instead of exhausting the
// machine stack.
#include <cstring>

#include "gscompiler/GSSymbol.h"
#include "gscompiler/GSSymbolTable.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

namespace {

constexpr int kMaxResolveDepth = 2048;
int resolveDepth = 0;  // ResolveBase calls in progress (one compile at a time)

// Counts one ResolveBase call in progress.
class DepthGuard {
 public:
  DepthGuard() { ++resolveDepth; }
  ~DepthGuard() { --resolveDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool TooDeep() const { return resolveDepth > kMaxResolveDepth; }
};

void InternalError(CompileDiagnostics* diagnostics) {
  GSCompilerMessage(diagnostics, "Internal compiler error.");
  if (diagnostics != nullptr) ++diagnostics->errorCount;
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

// Adds `base` and its ancestry with the layout offsets; false when out of
// memory.
bool AddBase(GSSymbolTable& table, GSClassSymbol& cls, GSClassSymbol* base) {
  const int32_t p = int32_t(cls.inheritedVars);
  const int32_t q = int32_t(cls.inheritedFuncs);
  GSBaseRecord** tail = &cls.bases;
  while (*tail != nullptr) tail = &(*tail)->next;
  if (!Append(table, tail, base, p, q, 1)) return false;
  for (const GSBaseRecord* a = base->bases; a != nullptr; a = a->next) {
    if (!Append(table, tail, a->base, p + a->p, q + a->q, 0)) return false;
  }
  cls.inheritedVars += base->inheritedVars + base->varCount;
  cls.inheritedFuncs += base->inheritedFuncs + base->funcCount;
  return true;
}

}  // namespace

bool GSClassSymbol::ResolveBase(GSSymbolTable& table, CompileDiagnostics* diagnostics) {
  if (pending == nullptr) return true;
  if (resolving) return false;
  const DepthGuard guard;
  if (guard.TooDeep()) {
    InternalError(diagnostics);
    return false;
  }
  resolving = true;
  const char* file = DeclaringFile(*this, diagnostics);
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
    if (!AddBase(table, *this, base)) {
      InternalError(diagnostics);
      ok = false;
      break;
    }
    pending = pending->next;
  }
  resolving = false;
  return ok;
}

}  // namespace GSCompiler
