// The entries of the compiler's symbol table: source files a unit depends
// on, variables (members, parameters, locals), functions and classes.
//
// Every symbol is a Utils::IHashNode: Hash() is the name hash (h = h * 3 + c
// over the name's characters as signed bytes, 0 for no name; dependent files
// hash their lower-cased name), Compare() the key order of the bucket
// chains: names compare byte-wise (two dependent files without regard to
// case), and among equal names the deeper symbol sorts first; a depth of -1
// on either side matches any depth. So a search with depth -1 finds the
// innermost declaration of a name, and a second symbol of the same name at
// the same depth cannot be entered.
//
// Symbols are created only by the table's factories (GSSymbolTable.h): they
// live in the table's slot pool and their texts in its frame memory, and
// they own nothing themselves, so the table frees them all at once. Slot and
// function numbers are 16-bit values; kNoSlot (0xFFFF) means none.
//
// Object layout: each class part of an object starts with 2 header slots.
// A class's `inheritedVars` is 2 plus, for each direct base in "isclass"
// order, that base's inheritedVars + varCount; `inheritedFuncs` is 0 plus
// each direct base's inheritedFuncs + funcCount. Each base record keeps p
// and q, the offsets at which that base's part starts in an object (and in
// the function numbering) of the class; an ancestor reached through a
// direct base keeps that base's p/q plus its own p/q within the base. An
// own member's slot is inheritedVars + index; a member of base X has
// p(X) + X.inheritedVars + index (functions likewise with q and
// inheritedFuncs). VariableSlot() and FunctionNumber() compute these as seen
// from a class.
//
// Not thread-safe (one compile at a time).
#pragma once

#include <cstdint>

#include "foundation/containers/IHashNode.h"
#include "gscompiler/CompileDiagnostics.h"

namespace GSCompiler {

class GSClassSymbol;
class GSSymbolTable;

// Symbol kinds.
enum SymbolKind : uint32_t {
  SymbolDependent = 1,
  SymbolVariable = 2,
  SymbolFunction = 3,
  SymbolClass = 4,
  SymbolTable = 5,
};

// Symbol flag bits beyond the declaration specifiers of ParseNode.
inline constexpr uint32_t Prototype = 0x2000000;  // a function without a body so far
inline constexpr uint32_t Local = 0x80000000u;    // entered at a depth above 0
inline constexpr uint32_t kNoSlot = 0xFFFF;

// Sorted bucket chains of symbols, kept as one list linked through
// IHashNode::next: bucket 0's chain, then bucket 1's, and so on, each
// sorted by GSSymbol::Compare. Walking from `first` visits every chain in
// that order. Owns nothing; the symbol table links and unlinks the list
// through GSSymbolChains.h, which walks a short list and keeps a long one
// (`indexed`) in its ordered index.
struct SymbolList {
  Utils::IHashNode* first = nullptr;
  uint32_t count = 0;
  bool indexed = false;  // held by the chains' ordered index
};

// A SymbolList of N chains: a symbol's bucket is its name hash modulo N.
template <uint32_t N>
struct SymbolBuckets : SymbolList {
  static constexpr uint32_t kCount = N;
};

class GSSymbol : public Utils::IHashNode {
 public:
  // The name hash is taken here: `name` and `kind` do not change later.
  GSSymbol(uint32_t symbolKind, const char* symbolName)
      : name(symbolName), kind(symbolKind), hash_(HashName(symbolKind, symbolName)) {}
  // A search key like `key` (name, kind and hash) but of depth `keyDepth`,
  // without hashing the name again.
  GSSymbol(const GSSymbol& key, int32_t keyDepth)
      : name(key.name), depth(keyDepth), kind(key.kind), hash_(key.hash_) {}
  ~GSSymbol() override = default;
  GSSymbol(const GSSymbol&) = delete;
  GSSymbol& operator=(const GSSymbol&) = delete;

  uint32_t Hash() const override { return hash_; }
  // Hash() without a virtual call.
  uint32_t NameHash() const { return hash_; }
  int Compare(const Utils::IHashNode& other) const override;
  // Appends the symbol's line(s) of the symbol dump; nothing for the base.
  virtual void Dump(CompileLogSink* log) const;

  bool IsVariable() const { return kind == SymbolVariable; }
  bool IsFunction() const { return kind == SymbolFunction; }
  bool IsClass() const { return kind == SymbolClass; }
  bool IsDefine() const { return (flags & 0x80) != 0; }

  const char* name;
  int32_t index = -1;  // slot, function number or parameter number in the owner
  int32_t id = -1;     // number given on first use by the unit (classes, functions)
  uint32_t type = 12;  // type code; for functions the return type
  int32_t depth = 0;   // scope depth when entered (0 = class or file level)
  uint32_t flags = 0;  // specifier bits, Prototype, Local
  // A define variable's value: int, float bits or bool in `constant`; a
  // string in `constantText` (the empty string when the variable is a
  // string and its constant is not).
  uint32_t constant = 0;
  const char* constantText = nullptr;
  uint32_t kind;

 private:
  uint32_t hash_;  // declared here to fill the padding after `kind`

 public:
  GSSymbol* scopeNext = nullptr;  // next symbol of the same scope
  GSSymbol* owner = nullptr;      // class for members and locals, table for classes and files

 private:
  static uint32_t HashName(uint32_t symbolKind, const char* symbolName);
};

// The first 8 bytes of `name` as a number (big-endian, zeros past its end;
// 0 for none). Where two names' prefixes differ they compare byte-wise as
// the numbers do, so an index orders most names without reading them; for
// two dependent files (compared without regard to case) they decide nothing.
uint64_t NamePrefix(const char* name);
inline bool PrefixesOrder(bool aDependent, bool bDependent) {
  return !(aDependent && bDependent);
}

// A source file of the unit (name lower-cased, without folder).
class GSDependentSymbol final : public GSSymbol {
 public:
  explicit GSDependentSymbol(const char* fileName) : GSSymbol(SymbolDependent, fileName) {}
  void Dump(CompileLogSink* log) const override;

  uint32_t textCrc = 0;
  uint32_t nameCrc = 0;
};

class GSVariableSymbol final : public GSSymbol {
 public:
  explicit GSVariableSymbol(const char* variableName) : GSSymbol(SymbolVariable, variableName) {}
  void Dump(CompileLogSink* log) const override;

  const char* className = nullptr;  // class of an object or object[] variable, else null
};

// One parameter's type as a function symbol keeps it.
struct GSParamType {
  uint32_t type;
  const char* className;  // null when none
};

class GSFunctionSymbol final : public GSSymbol {
 public:
  // `symbolName` is "::Name(type,type)"; see GSSymbolTable::FunctionName.
  explicit GSFunctionSymbol(const char* symbolName) : GSSymbol(SymbolFunction, symbolName) {}
  void Dump(CompileLogSink* log) const override;

  uint32_t ParamCount() const { return paramCount; }
  // True when the name part of the symbol name (between "::" and "(")
  // equals `functionName`.
  bool HasName(const char* functionName) const;
  GSClassSymbol* OwnerClass() const;

  const char* signature = nullptr;  // "$ret@Class::Name(types)"
  uint32_t nextParam = 1;           // parameter count + 1 once numbered (P)
  uint32_t localCount = 0;          // L
  uint32_t tempCount = 0;           // T, kept by the code generator
  const char* returnClass = nullptr;
  uint32_t paramCount = 0;
  const GSParamType* params = nullptr;  // paramCount entries, in the table's memory
};

// One resolved base of a class: an ancestor with its slot offset p, its
// function offset q and r = 1 for a base named in the class's own "isclass"
// list, 0 for an ancestor added through one.
struct GSBaseRecord {
  GSClassSymbol* base;
  int32_t p;
  int32_t q;
  int32_t r;
  GSBaseRecord* next;
};

// A base name not resolved yet, with the line of the name.
struct GSPendingBase {
  const char* name;
  int32_t line;
  GSPendingBase* next;
};

class GSClassSymbol final : public GSSymbol {
 public:
  static constexpr uint32_t kMemberBuckets = 31;

  explicit GSClassSymbol(const char* className) : GSSymbol(SymbolClass, className) {}
  void Dump(CompileLogSink* log) const override;

  // Resolves the pending base names once (messages in the file that
  // declared the class, counted in `diagnostics`); true when every base
  // resolved. Later calls do nothing and answer true once it succeeded.
  bool ResolveBase(GSSymbolTable& table, CompileDiagnostics* diagnostics);

  // The record of `ancestor` in the base list, or null.
  const GSBaseRecord* FindBase(const GSClassSymbol* ancestor) const;
  // Slot of member variable `member` (of this class or an ancestor) in an
  // object of this class; kNoSlot for a define, a non-member or an unknown
  // owner.
  uint32_t VariableSlot(const GSSymbol* member) const;
  // Number of function `function` (of this class or an ancestor) in this
  // class's function numbering; kNoSlot when its owner is not related.
  uint32_t FunctionNumber(const GSSymbol* function) const;

  const SymbolBuckets<kMemberBuckets>& Members() const { return members; }
  const GSBaseRecord* Bases() const { return bases; }
  bool HasPendingBases() const { return pending != nullptr; }

  GSDependentSymbol* dependent = nullptr;  // the file that declared the class
  GSPendingBase* pending = nullptr;
  GSBaseRecord* bases = nullptr;  // in the order added
  SymbolBuckets<kMemberBuckets> members;
  uint32_t varCount = 0;
  uint32_t funcCount = 0;
  uint32_t inheritedVars = 2;
  uint32_t inheritedFuncs = 0;
  bool resolving = false;  // ResolveBase is running (cycle guard)
  // A base passed the ancestor limit: reported once, never tried again.
  bool tooManyAncestors = false;
};

}  // namespace GSCompiler
