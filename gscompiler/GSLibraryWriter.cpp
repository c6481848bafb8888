#include "gscompiler/GSLibraryWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gscompiler/GSCodeGenerator.h"
#include "gscompiler/GSSemanticPass.h"
#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"
#include "kiv/String.h"

using namespace GSCompiler;
using namespace GSLibraryFormat;

namespace {

constexpr uint32_t kSideBufferSize = 512;
constexpr int kMaxBuildPasses = 4;
// How many records ahead the writers start fetching the string-table slots
// they will look up (a large table misses the cache on almost every look-up).
constexpr size_t kFetchAhead = 8;
// The most function signatures and member names fetched ahead for one class
// record; a class with more functions fetches their signatures while it is
// written.
constexpr size_t kFunctionsFetchedAhead = 16;
constexpr size_t kMembersFetchedAhead = 16;

class VirtualTable;

// What the chunk writers share.
struct WriteContext {
  CompileUnit& unit;
  GSSymbolTable& symbols;
  GSLibraryStrings& strings;
  CompileLogSink* log;
  VirtualTable& virtualTable;  // scratch of WriteVirtualTable
};

int32_t Signed16(uint32_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(value));
}

template <uint32_t N, typename F>
void ForEachSymbol(const SymbolBuckets<N>& buckets, F f) {
  for (Utils::IHashNode* node = buckets.first; node != nullptr; node = node->next)
    f(static_cast<GSSymbol*>(node));
}

uint32_t ClassRefOf(WriteContext& w, GSClassSymbol* cls) {
  if (cls == nullptr) return kGslNoClass;
  w.symbols.NumberOnUse(cls);
  return static_cast<uint32_t>(cls->id);
}

uint32_t FunctionRefOf(WriteContext& w, GSFunctionSymbol* fn) {
  w.symbols.NumberOnUse(fn);
  return static_cast<uint32_t>(fn->id);
}

// The class-reference index of the class named `name`, or kGslNoClass.
uint32_t ClassRefByName(WriteContext& w, const char* name) {
  if (name == nullptr || *name == '\0') return kGslNoClass;
  GSSymbol* s = w.symbols.Lookup(name, nullptr, false, false);
  if (s == nullptr || !s->IsClass()) return kGslNoClass;
  return static_cast<uint32_t>(s->id);
}

uint32_t DependencyIndexOf(const WriteContext& w, const GSClassSymbol* cls) {
  const GSDependentSymbol* dep = cls->dependent;
  if (dep == nullptr) return 0;
  for (const SourceDependency& d : w.unit.dependencies)
    if (dep->name && Kiv::EqualsIgnoreCase(d.name, dep->name)) return d.index;
  return dep->index >= 0 ? static_cast<uint32_t>(dep->index) : 0;
}

// The virtual slot of a function: its class's function base + its index.
// The semantic pass keeps function numbers and member slots inside what
// the 16 bits hold (GSLibraryLimits.h), so the cut loses nothing.
int32_t VirtualSlotOf(const GSFunctionSymbol* fn) {
  const GSClassSymbol* owner = fn->OwnerClass();
  if (owner == nullptr) return -1;
  return Signed16(owner->inheritedFuncs + static_cast<uint32_t>(fn->index));
}

// ---- chunks 4 and 5 ----

// The numbered classes and functions by id (null where an id has no symbol),
// found in one walk over the globals and their members.
struct NumberedSymbols {
  std::vector<GSClassSymbol*> classes;
  std::vector<GSFunctionSymbol*> functions;
};

NumberedSymbols CollectNumbered(WriteContext& w) {
  NumberedSymbols byId;
  byId.classes.assign(static_cast<size_t>(std::max(w.symbols.ClassIdCount(), 0)), nullptr);
  byId.functions.assign(static_cast<size_t>(std::max(w.symbols.FunctionIdCount(), 0)), nullptr);
  ForEachSymbol(w.symbols.Globals(), [&](GSSymbol* s) {
    if (!s->IsClass()) return;
    if (s->id >= 0 && static_cast<size_t>(s->id) < byId.classes.size())
      byId.classes[static_cast<size_t>(s->id)] = static_cast<GSClassSymbol*>(s);
    ForEachSymbol(static_cast<GSClassSymbol*>(s)->Members(), [&](GSSymbol* m) {
      if (m->IsFunction() && m->id >= 0 && static_cast<size_t>(m->id) < byId.functions.size())
        byId.functions[static_cast<size_t>(m->id)] = static_cast<GSFunctionSymbol*>(m);
    });
  });
  return byId;
}

void WriteClassRefs(WriteContext& w, ByteBuffer& out, const std::vector<GSClassSymbol*>& byId) {
  const uint32_t start = GslBeginChunk(out, TagClassRefs);
  out.WriteU32(static_cast<uint32_t>(byId.size()));
  for (size_t k = 0; k < byId.size(); ++k) {
    if (k + kFetchAhead < byId.size() && byId[k + kFetchAhead] != nullptr)
      w.strings.Prefetch(byId[k + kFetchAhead]->name);
    GSClassSymbol* cls = byId[k];
    out.WriteU32(cls ? DependencyIndexOf(w, cls) : 0);
    out.WriteU32(w.strings.Index(cls ? cls->name : ""));
  }
  GslEndChunk(out, start);
}

void WriteFunctionRefs(WriteContext& w, ByteBuffer& out,
                       const std::vector<GSFunctionSymbol*>& byId) {
  const uint32_t start = GslBeginChunk(out, TagFunctionRefs);
  out.WriteU32(static_cast<uint32_t>(byId.size()));
  for (size_t k = 0; k < byId.size(); ++k) {
    if (k + kFetchAhead < byId.size() && byId[k + kFetchAhead] != nullptr)
      w.strings.Prefetch(byId[k + kFetchAhead]->signature);
    GSFunctionSymbol* fn = byId[k];
    GSClassSymbol* owner = fn ? fn->OwnerClass() : nullptr;
    out.WriteU32(owner ? static_cast<uint32_t>(owner->id) : kGslNoClass);
    out.WriteU32(w.strings.Index(fn && fn->signature ? fn->signature : ""));
    out.WriteU32(static_cast<uint32_t>(fn ? VirtualSlotOf(fn) : -1));
  }
  GslEndChunk(out, start);
}

// ---- the virtual table ----

struct VirtualEntry {
  GSFunctionSymbol* function;
  int32_t p;
};

// The return-type part of a signature: from "$" up to the at sign.
bool SameReturnType(const char* a, const char* b) {
  if (a == nullptr || b == nullptr || a[0] != '$' || b[0] != '$') return false;
  const char* atA = std::strchr(a, '@');
  const char* atB = std::strchr(b, '@');
  const size_t lenA = atA ? static_cast<size_t>(atA - a) : std::strlen(a);
  const size_t lenB = atB ? static_cast<size_t>(atB - b) : std::strlen(b);
  return lenA == lenB && std::strncmp(a, b, lenA) == 0;
}

// The entries of the virtual table so far, and where each function name
// stands in them, so that an override finds what it replaces at once: the
// last entry of each name (an open-addressed table of entry numbers keyed
// by the entry's function name), and for each entry the one of its name
// before it (kNoEntry for the first). One table serves every class of a
// library in turn: Reset() keeps its memory, so a class costs no
// allocation once the largest table so far has been built.
class VirtualTable {
 public:
  static constexpr size_t kNoEntry = SIZE_MAX;

  void Reset() {
    list.clear();
    earlierOfName.clear();
    slots_.clear();
  }
  // Room for `count` entries in all without a rehash.
  void Reserve(size_t count) {
    size_t size = slots_.empty() ? 16 : slots_.size();
    while (size < 2 * count) size *= 2;
    if (size == slots_.size()) return;
    slots_.assign(size, kNoEntry);
    // Entries in order: a later entry of a name replaces an earlier one.
    for (size_t at = 0; at < list.size(); ++at) *SlotOf(list[at].function->name) = at;
  }
  // The last entry of `name` (kNoEntry when there is none), to be updated
  // by the caller; Reserve() must have made room for it.
  size_t& LastOfName(const char* name) { return *SlotOf(name); }
  // The direct bases of `part` (its records with r == 1, in "isclass"
  // order), found once per library and kept through Reset(): a part's
  // base list holds every ancestor, and walking it again at every class
  // that inherits the part would cost the cube of a chain's depth.
  const std::vector<const GSBaseRecord*>& DirectBases(const GSClassSymbol* part) {
    auto [at, added] = directBases_.try_emplace(part);
    if (added)
      for (const GSBaseRecord* b = part->Bases(); b != nullptr; b = b->next)
        if (b->r == 1) at->second.push_back(b);
    return at->second;
  }

  std::vector<VirtualEntry> list;
  std::vector<size_t> earlierOfName;
  std::vector<GSFunctionSymbol*> own;  // scratch: one part's functions

 private:
  size_t* SlotOf(const char* name) {
    const std::string_view key(name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = std::hash<std::string_view>()(key) & mask;; i = (i + 1) & mask) {
      size_t& slot = slots_[i];
      if (slot == kNoEntry || key == list[slot].function->name) return &slot;
    }
  }

  std::vector<size_t> slots_;
  std::unordered_map<const GSClassSymbol*, std::vector<const GSBaseRecord*>> directBases_;
};

// Adds the entries of `part`, whose block lies at `p` in the class being
// written: its direct bases' first, recursively (a base's block lies at its
// record's p within `part`), then its own functions. `depth` counts the
// parts above `part`; the semantic pass refused cyclic bases, so it never
// passes the class's `ancestors` (a guard only).
bool AddVirtualEntries(WriteContext& w, const GSClassSymbol* part, int32_t p, uint32_t depth,
                       uint32_t ancestors, VirtualTable& table) {
  if (depth > ancestors) return false;
  for (const GSBaseRecord* b : table.DirectBases(part))
    if (!AddVirtualEntries(w, b->base, p + b->p, depth + 1, ancestors, table)) return false;
  std::vector<GSFunctionSymbol*>& own = table.own;
  own.clear();
  ForEachSymbol(part->Members(), [&](GSSymbol* m) {
    if (m->IsFunction()) own.push_back(static_cast<GSFunctionSymbol*>(m));
  });
  // Ascending slot; of two with the same slot the later-taken goes first.
  std::reverse(own.begin(), own.end());
  std::stable_sort(
      own.begin(), own.end(),
      [](const GSFunctionSymbol* a, const GSFunctionSymbol* b) { return a->index < b->index; });
  table.Reserve(table.list.size() + own.size());
  for (GSFunctionSymbol* fn : own) {
    size_t& last = table.LastOfName(fn->name);
    // Every earlier entry of the name takes the override, and the override
    // is added as well.
    for (size_t at = last; at != VirtualTable::kNoEntry; at = table.earlierOfName[at]) {
      VirtualEntry& e = table.list[at];
      if (!SameReturnType(e.function->signature, fn->signature)) {
        if (w.log) {
          w.log->AppendLine("Wrong return type on function: ");
          w.log->AppendLine(fn->signature ? fn->signature : "");
          w.log->AppendLine("\n");
        }
        return false;
      }
      e = VirtualEntry{fn, p};
    }
    table.earlierOfName.push_back(last);
    last = table.list.size();
    table.list.push_back(VirtualEntry{fn, p});
  }
  return true;
}

bool WriteVirtualTable(WriteContext& w, ByteBuffer& out, const GSClassSymbol* cls) {
  VirtualTable& table = w.virtualTable;
  table.Reset();
  uint32_t ancestors = 0;
  for (const GSBaseRecord* b = cls->Bases(); b != nullptr; b = b->next) ++ancestors;
  if (!AddVirtualEntries(w, cls, 0, 0, ancestors, table)) return false;
  const uint32_t start = GslBeginChunk(out, TagVirtualTable);
  out.WriteU32(static_cast<uint32_t>(table.list.size()));
  for (const VirtualEntry& e : table.list) {
    out.WriteU32(FunctionRefOf(w, e.function));
    out.WriteU32(static_cast<uint32_t>(e.p));
  }
  GslEndChunk(out, start);
  return true;
}

// ---- class records ----

// The signature under which a class's initialiser is recorded.
Kiv::String InitialiserName(const GSClassSymbol* cls) {
  return Kiv::String("::") + cls->name + "()";
}

// Starts fetching the string-table slots that writing `compiled` looks up.
void PrefetchClassStrings(WriteContext& w, const GSCClass& compiled) {
  const GSClassSymbol* cls = compiled.symbol;
  if (cls == nullptr) return;
  w.strings.Prefetch(cls->name);
  const size_t functions = std::min(compiled.functions.size(), kFunctionsFetchedAhead);
  for (size_t k = 0; k < functions; ++k)
    if (compiled.functions[k]->symbol != nullptr)
      w.strings.Prefetch(compiled.functions[k]->symbol->signature);
  w.strings.Prefetch(InitialiserName(cls).c_str());
  size_t members = 0;
  for (Utils::IHashNode* node = cls->Members().first;
       node != nullptr && members < kMembersFetchedAhead; node = node->next, ++members) {
    const auto* m = static_cast<GSSymbol*>(node);
    if (m->IsVariable()) w.strings.Prefetch(m->name);
  }
}

bool WriteFunctions(WriteContext& w, ByteBuffer& out, const GSCClass& compiled) {
  const uint32_t start = GslBeginChunk(out, TagFunctions);
  out.WriteU32(static_cast<uint32_t>(compiled.functions.size()) + 1);
  const size_t count = compiled.functions.size();
  for (size_t k = 0; k < count; ++k) {
    const size_t ahead = k + kFunctionsFetchedAhead;
    if (ahead < count && compiled.functions[ahead]->symbol != nullptr)
      w.strings.Prefetch(compiled.functions[ahead]->symbol->signature);
    const auto& fn = compiled.functions[k];
    GSFunctionSymbol* s = fn->symbol;
    if (s == nullptr) return false;
    GSFunctionRecordHead head;
    head.signatureIndex = w.strings.Index(s->signature ? s->signature : "");
    head.returnType = s->type;
    head.returnClassRef = ClassRefByName(w, s->returnClass);
    head.flags = s->flags;
    head.slot = VirtualSlotOf(s);
    head.params = s->nextParam;
    head.locals = s->localCount;
    if (!GSCFunctionWrite(out, *fn, head)) return false;
  }
  const Kiv::String initialiser = InitialiserName(compiled.symbol);
  if (!GSWriteClassInitialiser(out, compiled, w.strings.Index(initialiser.c_str()))) return false;
  GslEndChunk(out, start);
  return true;
}

void WriteMembers(WriteContext& w, ByteBuffer& out, const GSClassSymbol* cls) {
  const uint32_t start = GslBeginChunk(out, TagMembers);
  const uint32_t countAt = out.position;
  out.WriteU32(0);
  uint32_t count = 0;
  ForEachSymbol(cls->Members(), [&](GSSymbol* m) {
    if (!m->IsVariable() || m->IsDefine() || (m->flags & Local) != 0) return;
    const auto* v = static_cast<GSVariableSymbol*>(m);
    const bool objectType =
        v->type == ParseNode::TypeObject || v->type == ParseNode::TypeObject + ParseNode::TypeArray;
    out.WriteU32(w.strings.Index(v->name));
    out.WriteU32(v->type);
    out.WriteU32(objectType ? ClassRefByName(w, v->className) : kGslNoClass);
    out.WriteU32(v->flags & ParseNode::SpecPublic);
    out.WriteU32(
        static_cast<uint32_t>(Signed16(cls->inheritedVars + static_cast<uint32_t>(v->index))));
    ++count;
  });
  GslPatchU32(out, countAt, count);
  GslEndChunk(out, start);
}

void WriteBaseTable(WriteContext& w, ByteBuffer& out, const GSCClass& compiled) {
  const GSClassSymbol* cls = compiled.symbol;
  (void)w;
  const uint32_t start = GslBeginChunk(out, TagLayout);
  out.WriteU32(cls->inheritedVars + cls->varCount + 3);
  uint32_t bases = 0;
  for (const GSBaseRecord* b = cls->Bases(); b != nullptr; b = b->next) ++bases;
  out.WriteU32(2 * bases + 1);
  for (const GSBaseRecord* b = cls->Bases(); b != nullptr; b = b->next) {
    out.WriteU32(0);
    out.WriteU32(static_cast<uint32_t>(b->p));
    out.WriteU32(static_cast<uint32_t>(-b->p));
    out.WriteU32(1);
    out.WriteU32(static_cast<uint32_t>(b->p + 1));
    out.WriteU32(static_cast<uint32_t>(b->q));
  }
  out.WriteU32(1);
  out.WriteU32(1);
  out.WriteU32(0);
  out.WriteU32(static_cast<uint32_t>(compiled.referenceMembers.size()));
  for (uint32_t slot : compiled.referenceMembers) out.WriteU32(slot);
  GslEndChunk(out, start);
}

bool WriteClass(WriteContext& w, ByteBuffer& out, const GSCClass& compiled) {
  GSClassSymbol* cls = compiled.symbol;
  if (cls == nullptr) return false;
  const uint32_t start = GslBeginChunk(out, TagClass);
  out.WriteU32(w.strings.Index(cls->name));
  out.WriteU32(cls->flags & kGslClassFlagMask);
  uint32_t bases = 0;
  for (const GSBaseRecord* b = cls->Bases(); b != nullptr; b = b->next) ++bases;
  out.WriteU32(bases);
  for (const GSBaseRecord* b = cls->Bases(); b != nullptr; b = b->next) {
    out.WriteU32(ClassRefOf(w, b->base));
    out.WriteU32(static_cast<uint32_t>(b->p));
    out.WriteU32(static_cast<uint32_t>(b->r));
  }
  if (!WriteFunctions(w, out, compiled)) return false;
  WriteMembers(w, out, cls);
  if (!WriteVirtualTable(w, out, cls)) return false;
  WriteBaseTable(w, out, compiled);
  GslEndChunk(out, start);
  return true;
}

bool BuildSide(WriteContext& w, ByteBuffer& side, const GSUnitCodeState& code) {
  if (!side.Init(kSideBufferSize)) return false;
  {
    const NumberedSymbols byId = CollectNumbered(w);
    WriteClassRefs(w, side, byId.classes);
    WriteFunctionRefs(w, side, byId.functions);
  }
  const uint32_t start = GslBeginChunk(side, TagClasses);
  side.WriteU32(static_cast<uint32_t>(code.classes.size()));
  for (size_t k = 0; k < code.classes.size(); ++k) {
    if (k + kFetchAhead < code.classes.size())
      PrefetchClassStrings(w, *code.classes[k + kFetchAhead]);
    if (!WriteClass(w, side, *code.classes[k])) return false;
  }
  GslEndChunk(side, start);
  return side.errors == 0;
}

void WriteHeader(ByteBuffer& out, const CompileUnit& unit, const Kiv::String& name) {
  out.WriteU32(0);
  out.WriteU32(kGslMagic);
  out.WriteU32(kGslVersionBits);
  out.WriteU32(unit.top.textCrc);
  out.WriteU32(unit.top.nameCrc);
  out.WriteU32(static_cast<uint32_t>(name.size()) + 1);
  GslWriteBytes(out, name.c_str(), static_cast<uint32_t>(name.size()) + 1);
}

void WriteDependencies(ByteBuffer& out, const CompileUnit& unit) {
  const uint32_t start = GslBeginChunk(out, TagDependencies);
  out.WriteU32(static_cast<uint32_t>(unit.dependencies.size()));
  for (const SourceDependency& d : unit.dependencies) {
    out.WriteU32(d.textCrc);
    out.WriteU32(d.nameCrc);
  }
  GslEndChunk(out, start);
}

bool WriteLibrary(ByteBuffer& out, CompileUnit& unit, CompileLogSink* log, const char* name) {
  GSUnitCodeState& code = GSUnitCode();
  if (!code.generated || code.unit != &unit || name == nullptr) return false;
  VirtualTable virtualTable;
  WriteContext w{unit, GSUnitSymbolTable(), code.strings, log, virtualTable};
  // The classes are built in `out` itself and moved up behind the header,
  // the dependencies and the string table once those are known (building
  // the classes may add strings): a large library is then held once, not
  // once in a side buffer and again in `out`.
  bool built = false;
  for (int pass = 0; pass < kMaxBuildPasses && !built; ++pass) {
    const int32_t classIds = w.symbols.ClassIdCount();
    const int32_t functionIds = w.symbols.FunctionIdCount();
    if (!BuildSide(w, out, code)) return false;
    built = classIds == w.symbols.ClassIdCount() && functionIds == w.symbols.FunctionIdCount();
  }
  if (!built || code.strings.Failed()) return false;
  const Kiv::String lowerName = Kiv::AsciiLower(name);
  // The classes part is made of words and padded records, so the head
  // written behind it lies at the same offsets modulo 4 as at the start and
  // pads the same; swapping the two parts needs no second buffer.
  const uint32_t classesSize = out.size;
  if (classesSize % 4 != 0) return false;
  WriteHeader(out, unit, lowerName);
  WriteDependencies(out, unit);
  code.strings.Write(out);
  if (out.errors != 0) return false;
  GslRotateBytes(out.Data(), out.Data() + classesSize, out.Data() + out.size);
  GslPatchU32(out, 0, out.size);
  return out.errors == 0;
}

}  // namespace

bool GSLibraryWrite(ByteBuffer& out, CompileUnit& unit, CompileLogSink* log, const char* name) {
  try {
    return WriteLibrary(out, unit, log, name);
  } catch (const std::bad_alloc&) {
    out.errors |= ByteBuffer::kGrowthFailed;
    return false;
  }
}

bool GSWriteUnitLibrary(CompileUnit& unit, ByteBuffer& out) {
  return GSLibraryWrite(out, unit, unit.log, unit.top.FileName().c_str());
}
