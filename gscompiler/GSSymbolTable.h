// GSCompiler::GSSymbolTable: everything the compiler knows by name while it
// compiles one unit and the units it includes.
//
// One table serves a whole compile; Reset() empties it before each compile.
// The global hash (61 buckets) holds source files and classes; each class
// holds its members, parameters and locals in its own hash (31 buckets,
// GSSymbol.h). The global names are found through a hash of their own
// (GSGlobalNames.h); GSSymbolChains.h links the member chains: a class of a
// few members is walked within its own memory, longer ones go through one
// ordered index. So entering and finding a symbol cost at most a logarithm
// however many classes or members there are. Parameters and
// locals are entered at scope depths above 0
// and die when their scope is popped; everything else lives until Reset().
//
// Lookup(name, cls, outward, membersOnly):
// - no class: a file or class of the global hash;
// - with a class: its member hash (membersOnly: depth 0 only, so locals and
//   parameters are not found; else the innermost of any depth), then the
//   member hashes of its resolved bases in base-list order; when `outward`
//   and nothing was found, the global hash.
// Every successful Lookup numbers what it found on first use: a class
// without an id takes the next class id; a function without an id the next
// function id (and its class, when it has none, the next class id).
// ClearIds() forgets every id and both counters.
//
// Insert(cls, symbol, numbered): records the current depth in the symbol;
// with a class, enters it in the class's member hash (false on a duplicate
// key, or when the symbol already has an owner, or `cls` is not a class),
// sets the owner, numbers a variable (next varCount) or function (next
// funcCount) when `numbered` and at depth 0, and sets Local above depth 0.
// Without a class it enters the global hash. The symbol is then linked
// into the current scope's chain; a function becomes the current function.
//
// Scopes: PushScope raises the depth (at most 63; deeper blocks share scope
// 63 and their pops are matched, so outer scopes never die early); PopScope
// removes and destroys every symbol of the innermost scope and lowers the
// depth. Scope 0 (class level) is never popped.
//
// Memory: symbols come from slot pools (one per slot size), names and strings from a frame
// memory of 4,096-byte blocks; at most kMaxBaseRecords base records are
// made (callers ask HasRoomForBaseRecords before a class's base and its
// ancestry are recorded, and report the limit). When memory runs out the factories and CopyText
// answer null (callers report "Internal compiler error." as a counted error). Not thread-safe (one
// compile at a time).
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/containers/BlockMemory.h"
#include "foundation/containers/FrameMemory.h"
#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSGlobalNames.h"
#include "gscompiler/GSSymbol.h"
#include "gscompiler/GSSymbolChains.h"
#include "kiv/String.h"

namespace GSCompiler {

class GSSymbolTable final : public GSSymbol {
 public:
  static constexpr uint32_t kGlobalBuckets = GSGlobalNames::kBuckets;
  static constexpr int32_t kMaxDepth = 63;
  static constexpr uint32_t kMaxCandidates = 1024;
  // Base records (every ancestor of every class) one table may hold; deep
  // inheritance chains grow them quadratically, so they are bounded.
  static constexpr uint32_t kMaxBaseRecords = 1u << 20;

  GSSymbolTable();
  ~GSSymbolTable() override;

  // Empties both memories, the global hash and the scope stack; forgets the
  // current function, the current unit and the id counters.
  void Reset();

  GSSymbol* Lookup(const char* name, GSClassSymbol* cls, bool outward, bool membersOnly);
  // The dependent file of that name (without regard to case), or null.
  // Does not number anything.
  GSDependentSymbol* FindDependent(const char* fileName) const;
  bool Insert(GSClassSymbol* cls, GSSymbol* symbol, bool numbered);
  // Frees a symbol that was made but never entered (no owner).
  void Discard(GSSymbol* symbol);

  void PushScope();
  void PopScope();
  int32_t Depth() const { return depth_; }

  // Factories: the name is copied into the table's memory; null when out of
  // memory. The class factory records the current unit in the class.
  GSDependentSymbol* NewDependent(const char* fileName, uint32_t textCrc, uint32_t nameCrc);
  GSVariableSymbol* NewVariable(const char* variableName);
  GSFunctionSymbol* NewFunction(const char* symbolName);
  GSClassSymbol* NewClass(const char* className);
  // A NUL-terminated copy in the table's frame memory; null when out of
  // memory. Typed arrays for function parameters likewise.
  const char* CopyText(std::string_view text);
  GSParamType* NewParamTypes(uint32_t count);
  GSBaseRecord* NewBaseRecord();
  GSPendingBase* NewPendingBase();

  // Functions of `cls` named `functionName` (the part between "::" and "(")
  // with `argumentCount` parameters, in member-table order, at most `max`;
  // only when the class itself has none, each direct base in "isclass"
  // order is searched the same way (so an override hides its base's
  // function). Answers the count written to `out`.
  uint32_t FindFunctions(GSClassSymbol* cls, const char* functionName, uint32_t argumentCount,
                         GSFunctionSymbol** out, uint32_t max);
  // Whether `count` more base records stay within kMaxBaseRecords.
  bool HasRoomForBaseRecords(uint64_t count) const {
    return baseRecords_ + count <= kMaxBaseRecords;
  }
  // True when `cls` is named `className` or has a resolved base of that
  // name (its bases are resolved first).
  bool IsOrDerivesFrom(GSClassSymbol* cls, const char* className, CompileDiagnostics* diagnostics);

  // Gives `symbol` an id on first use (see Lookup).
  void NumberOnUse(GSSymbol* symbol);
  void ClearIds();

  // Writes "Symbol Table" and every symbol's dump line to `log`.
  void Dump(CompileLogSink* log) const override;

  // The global hash's chains, linked in order on this call.
  const SymbolBuckets<kGlobalBuckets>& Globals() const { return globals_.Linked(); }
  GSFunctionSymbol* CurrentFunction() const { return currentFunction_; }
  void SetCurrentFunction(GSFunctionSymbol* function) { currentFunction_ = function; }
  GSDependentSymbol* CurrentUnit() const { return currentUnit_; }
  void SetCurrentUnit(GSDependentSymbol* unit) { currentUnit_ = unit; }
  int32_t ClassIdCount() const { return classIds_; }
  int32_t FunctionIdCount() const { return functionIds_; }

  // For tests of out-of-memory handling: after `symbols` more successful
  // symbol allocations every further one fails (negative: no limit).
  void LimitSymbolAllocations(int64_t symbols) { allocationBudget_ = symbols; }

 private:
  // The pool whose slots fit symbols of `symbolKind`, and a slot from it.
  Utils::BlockMemory& PoolOf(uint32_t symbolKind);
  void* AllocateSymbol(uint32_t symbolKind);
  void DestroySymbol(GSSymbol* symbol);

  Utils::BlockMemory functionPool_;
  Utils::BlockMemory variablePool_;  // variables and dependent files
  Utils::BlockMemory classPool_;
  Utils::FrameMemory texts_;
  GSGlobalNames globals_;  // source files and classes
  GSSymbolChains chains_;  // every class's members
  GSSymbol* scopes_[kMaxDepth + 1] = {};
  int32_t depth_ = 0;
  int32_t overflow_ = 0;  // pushes beyond kMaxDepth not yet popped
  GSFunctionSymbol* currentFunction_ = nullptr;
  GSDependentSymbol* currentUnit_ = nullptr;
  int32_t classIds_ = 0;
  int32_t functionIds_ = 0;
  int64_t allocationBudget_ = -1;
  uint32_t baseRecords_ = 0;
};

// The symbol name of a function: "::" name "(" parameter type names joined
// by "," ")". A parameter type name is the class name for an object, the
// class name and "[]" for an object array, else the type name.
// ParamTypeName gives one such name (a class type without class name gives
// the plain type name).
Kiv::String ParamTypeName(uint32_t type, const char* className);

}  // namespace GSCompiler
