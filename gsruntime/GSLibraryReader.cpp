#include "gsruntime/GSLibraryReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "gscompiler/bytecode/GSByteOrder.h"

namespace GSRuntime {

using namespace GSLibraryFormat;

namespace {

constexpr uint32_t kMaxFrameCount = 0xFFFF;  // P, L, T and the operand depth
constexpr uint32_t kMaxInstanceSlots = 1u << 20;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kMinClassRecord = 8 + 12 + 4 * 12;  // header, three words, four empty chunks
constexpr size_t kMinFunctionRecord = 8 + 14 * 4;

const char* ChunkName(uint32_t tag) {
  static const char* const names[] = {
      "",        "",      "dependencies", "strings",  "class references", "function references",
      "classes", "class", "functions",    "function", "members",          "virtual table",
      "layout"};
  return tag < sizeof names / sizeof names[0] ? names[tag] : "";
}

}  // namespace

GSLibraryReader::GSLibraryReader(GSLibrary& library)
    : lib_(library),
      data_(library.image_.data()),
      size_(library.image_.size()),
      limit_(library.image_.size()) {}

bool GSLibraryReader::Fail(const std::string& what) {
  if (error_.empty()) error_ = what + " at byte " + std::to_string(pos_);
  return false;
}

bool GSLibraryReader::CutShort() {
  return Fail("cut short");
}

bool GSLibraryReader::Open(uint32_t tag, size_t& end, size_t& outer) {
  const size_t start = pos_;
  uint32_t length = 0, got = 0;
  if (limit_ - pos_ < 8)
    return Fail(std::string("chunk ") + std::to_string(tag) + " (" + ChunkName(tag) + ") missing");
  Word(length);
  Word(got);
  pos_ = start;
  if (got != tag)
    return Fail("expected chunk " + std::to_string(tag) + " (" + ChunkName(tag) + "), found tag " +
                std::to_string(got));
  if (length < 8 || length > limit_ - start)
    return Fail("chunk " + std::to_string(tag) + " (" + ChunkName(tag) + ") length " +
                std::to_string(length) + " does not fit");
  pos_ = start + 8;
  end = start + length;
  outer = limit_;
  limit_ = end;
  return true;
}

void GSLibraryReader::Close(size_t end, size_t outer) {
  pos_ = end;
  limit_ = outer;
}

bool GSLibraryReader::Table(GSWordTable& table, uint32_t count, uint32_t width, const char* what) {
  const uint64_t bytes = uint64_t{count} * width * 4;
  if (bytes > limit_ - pos_)
    return Fail(std::string(what) + ": " + std::to_string(count) + " entries do not fit");
  table = GSWordTable{data_ + pos_, count, width};
  pos_ += static_cast<size_t>(bytes);
  return true;
}

bool GSLibraryReader::OutOfRange(uint32_t value, size_t limit, const char* what) {
  return Fail(std::string(what) + " " + std::to_string(value) + " out of range (" +
              std::to_string(limit) + ")");
}

bool GSLibraryReader::Read(std::string& error, int32_t& failedClass) {
  failedClass = -1;
  const bool ok = Header() && Dependencies() && Strings() && ClassRefs() && FunctionRefs() &&
                  Classes(failedClass);
  error = error_;
  return ok;
}

bool GSLibraryReader::Header() {
  GslHeader h{};
  if (size_ < kGslHeaderFixedBytes) return Fail("file too short for a library header");
  Word(h.totalLength);
  Word(h.magic);
  Word(h.version);
  Word(h.textCrc);
  Word(h.nameCrc);
  Word(h.nameLength);
  if (h.magic != kGslMagic) return Fail("not a library (wrong magic)");
  lib_.version_ = h.version;
  lib_.id_ = GSLibraryId{h.textCrc, h.nameCrc};
  const char* name = reinterpret_cast<const char*>(data_ + pos_);
  const size_t room = size_ - pos_;
  lib_.name_.assign(name, strnlen(name, std::min<size_t>(room, h.nameLength)));
  if (h.nameLength == 0 || h.nameLength > room) return Fail("library name length does not fit");
  if (name[h.nameLength - 1] != '\0') return Fail("library name not terminated");
  pos_ += h.nameLength;
  if (h.totalLength != size_)
    return Fail("total length " + std::to_string(h.totalLength) + " differs from the file size " +
                std::to_string(size_));
  return true;
}

bool GSLibraryReader::Dependencies() {
  size_t end, outer;
  uint32_t count = 0;
  GSWordTable table;
  if (!Open(TagDependencies, end, outer) || !Word(count) || !Table(table, count, 2, "dependencies"))
    return false;
  lib_.dependencies_.resize(count);
  for (uint32_t i = 0; i < count; ++i)
    lib_.dependencies_[i].id = GSLibraryId{table.At(i, 0), table.At(i, 1)};
  Close(end, outer);
  return true;
}

bool GSLibraryReader::Strings() {
  size_t end, outer;
  uint32_t count = 0;
  GSWordTable offsets;
  if (!Open(TagStrings, end, outer) || !Word(count) || !Table(offsets, count, 1, "string offsets"))
    return false;
  const size_t base = pos_;
  lib_.strings_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t offset = offsets.At(i);
    if (offset >= end - base)
      return Fail("string " + std::to_string(i) + " lies outside the string chunk");
    const char* text = reinterpret_cast<const char*>(data_ + base + offset);
    const void* nul = std::memchr(text, 0, end - base - offset);
    if (nul == nullptr) return Fail("string " + std::to_string(i) + " not terminated");
    lib_.strings_[i] =
        std::string_view(text, static_cast<size_t>(static_cast<const char*>(nul) - text));
  }
  Close(end, outer);
  return true;
}

bool GSLibraryReader::ClassRefs() {
  size_t end, outer;
  uint32_t count = 0;
  GSWordTable table;
  if (!Open(TagClassRefs, end, outer) || !Word(count) ||
      !Table(table, count, 2, "class references"))
    return false;
  lib_.classRefs_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    GSClassRef& ref = lib_.classRefs_[i];
    if (!Index(table.At(i, 0), lib_.dependencies_.size(), "class reference dependency") ||
        !Index(table.At(i, 1), lib_.strings_.size(), "class reference name"))
      return false;
    ref.dependency = table.At(i, 0);
    ref.name = lib_.strings_[table.At(i, 1)].data();
  }
  Close(end, outer);
  return true;
}

bool GSLibraryReader::FunctionRefs() {
  size_t end, outer;
  uint32_t count = 0;
  GSWordTable table;
  if (!Open(TagFunctionRefs, end, outer) || !Word(count) ||
      !Table(table, count, 3, "function references"))
    return false;
  lib_.functionRefs_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    GSFunctionRef& ref = lib_.functionRefs_[i];
    if (!Index(table.At(i, 0), lib_.classRefs_.size(), "function reference class") ||
        !Index(table.At(i, 1), lib_.strings_.size(), "function reference name"))
      return false;
    ref.classRef = table.At(i, 0);
    ref.name = lib_.strings_[table.At(i, 1)].data();
    ref.slot = static_cast<int32_t>(table.At(i, 2));
  }
  Close(end, outer);
  return true;
}

bool GSLibraryReader::Classes(int32_t& failedClass) {
  size_t end, outer;
  uint32_t count = 0;
  if (!Open(TagClasses, end, outer) || !Word(count)) return false;
  if (uint64_t{count} * kMinClassRecord > limit_ - pos_)
    return Fail(std::to_string(count) + " classes do not fit");
  lib_.classes_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    GSClass& cls = lib_.classes_[i];
    cls.machine = lib_.machine_;
    cls.library = &lib_;
    cls.index = i;
    if (!ReadClass(cls)) {
      failedClass = static_cast<int32_t>(i);
      return false;
    }
  }
  Close(end, outer);
  if (pos_ != size_) return Fail(std::to_string(size_ - pos_) + " bytes after the class chunk");
  return true;
}

bool GSLibraryReader::ReadClass(GSClass& cls) {
  size_t end, outer;
  uint32_t name = 0, bases = 0;
  if (!Open(TagClass, end, outer) || !Word(name) ||
      !Index(name, lib_.strings_.size(), "class name") || !Word(cls.flags) || !Word(bases) ||
      !Table(cls.ancestry, bases, 3, "ancestry"))
    return false;
  cls.name = lib_.strings_[name].data();
  for (uint32_t i = 0; i < bases; ++i)
    if (!Index(cls.ancestry.At(i, 0), lib_.classRefs_.size(), "ancestor class reference"))
      return false;
  if (!ReadFunctions(cls) || !ReadMembers(cls) || !ReadMethods(cls) || !ReadLayout(cls) ||
      !CheckLayout(cls))
    return false;
  Close(end, outer);
  return true;
}

bool GSLibraryReader::ReadFunctions(GSClass& cls) {
  size_t end, outer;
  uint32_t count = 0;
  if (!Open(TagFunctions, end, outer) || !Word(count)) return false;
  if (count == 0) return Fail("class without function records");
  if (uint64_t{count} * kMinFunctionRecord > limit_ - pos_)
    return Fail(std::to_string(count) + " functions do not fit");
  cls.functions.reserve(count);
  for (uint32_t i = 0; i < count; ++i) cls.functions.emplace_back(&lib_.store_);
  for (GSFunction& fn : cls.functions) {
    fn.cls = &cls;
    fn.library = &lib_;
    if (!ReadFunction(fn)) return false;
  }
  if (cls.functions.back().params != 1) return Fail("class initialiser takes arguments");
  Close(end, outer);
  return true;
}

bool GSLibraryReader::ReadFunction(GSFunction& fn) {
  size_t end, outer;
  uint32_t name = 0, slot = 0, locals = 0, temps = 0, refs = 0, marker = 0, lines = 0;
  if (!Open(TagFunction, end, outer) || !Word(name) ||
      !Index(name, lib_.strings_.size(), "function name") || !Word(fn.returnType) ||
      !Word(fn.returnClass) || !Word(fn.flags) || !Word(slot) || !Word(fn.advance) ||
      !Word(fn.slot0Offset) || !Word(fn.recordOffset) || !Word(fn.slotsNeeded) ||
      !Word(fn.params) || !Word(locals) || !Word(temps) || !Word(refs) ||
      !Table(fn.referenceSlots, refs, 1, "reference slots") || !Word(fn.codeSize))
    return false;
  fn.name = lib_.strings_[name].data();
  fn.methodIndex = static_cast<int32_t>(slot);
  if (fn.codeSize > limit_ - pos_)
    return Fail("code of " + std::to_string(fn.codeSize) + " bytes does not fit");
  fn.code = fn.codeSize > 0 ? data_ + pos_ : nullptr;
  pos_ += fn.codeSize;
  const size_t aligned = (pos_ + 3) & ~size_t{3};
  if (aligned <= limit_ && limit_ - aligned >= 4 &&
      GSByteCode::GSReadU32(data_ + aligned) == kGslLineMarker) {
    pos_ = aligned;
    if (!Word(marker) || !Word(lines) || !Table(fn.lines, lines, 2, "line table")) return false;
  }
  if (fn.returnClass != kNone &&
      !Index(fn.returnClass, lib_.classRefs_.size(), "return class reference"))
    return false;
  if (fn.params == 0 || fn.params > kMaxFrameCount || locals > kMaxFrameCount ||
      temps > kMaxFrameCount)
    return Fail("frame counts out of range");
  if (fn.advance != locals + temps + 4 || fn.recordOffset != locals + temps + 1 ||
      fn.slot0Offset != 1 - fn.params || fn.slotsNeeded < fn.advance ||
      fn.slotsNeeded - fn.advance > kMaxFrameCount)
    return Fail(std::string("frame words of ") + fn.name + " do not agree");
  for (uint32_t i = 0; i < refs; ++i)
    if (fn.referenceSlots.At(i) == 0 || fn.referenceSlots.At(i) >= fn.params + locals)
      return Fail(std::string("reference slot of ") + fn.name +
                  " outside its arguments and locals");
  for (uint32_t i = 0; i < lines; ++i)
    if (fn.lines.At(i, 0) > fn.codeSize)
      return Fail(std::string("line table of ") + fn.name + " outside its code");
  if (!CheckKinds(fn, lib_.strings_[name])) return false;
  Close(end, outer);
  return true;
}

// GSFunction::releaseMask: the reference slots as bits when they are
// ascending and below 64.
void GSLibraryReader::SetReleaseMask(GSFunction& fn) {
  fn.releaseMask = 0;
  fn.releaseByMask = false;
  uint64_t mask = 0;
  uint32_t previous = 0;  // slot 0 is never listed
  for (uint32_t r = 0; r < fn.referenceSlots.count; ++r) {
    const uint32_t slot = fn.referenceSlots.At(r);
    if (slot >= 64 || slot <= previous) return;
    mask |= uint64_t{1} << slot;
    previous = slot;
  }
  fn.releaseMask = mask;
  fn.releaseByMask = true;
}

// The signature gives the kinds of the result and of every argument; the
// record's return type and argument count, and which argument slots the
// frame releases, must say the same.
bool GSLibraryReader::CheckKinds(GSFunction& fn, std::string_view signature) {
  if (!GSSignatureKinds(signature, fn.returnKind, fn.paramKinds) ||
      fn.paramKinds.size() != fn.params || fn.returnKind != GSTypeCodeKind(fn.returnType))
    return Fail(std::string("signature of ") + fn.name + " does not match its record");
  fn.paramRefs = 0;
  for (uint32_t i = 0; i < fn.params && i < 64; ++i)
    if (fn.paramKinds[i] == kKindReference) fn.paramRefs |= uint64_t{1} << i;
  SetReleaseMask(fn);
  // The released argument slots: bit i for slot i < 64, the rest (rare)
  // in `more`.
  uint64_t released = 0;
  std::vector<bool> more;
  if (fn.params > 64) more.assign(fn.params, false);
  for (uint32_t r = 0; r < fn.referenceSlots.count; ++r) {
    const uint32_t slot = fn.referenceSlots.At(r);
    if (slot >= fn.params) continue;
    if (slot < 64)
      released |= uint64_t{1} << slot;
    else
      more[slot] = true;
  }
  for (uint32_t i = 1; i < fn.params; ++i) {
    const bool isReleased = i < 64 ? ((released >> i) & 1) != 0 : more[i];
    if (isReleased != (fn.paramKinds[i] == kKindReference))
      return Fail(std::string("argument ") + std::to_string(i) + " of " + fn.name +
                  " is not released as its kind needs");
  }
  return true;
}

bool GSLibraryReader::ReadMembers(GSClass& cls) {
  size_t end, outer;
  uint32_t count = 0;
  if (!Open(TagMembers, end, outer) || !Word(count) || !Table(cls.members, count, 5, "members"))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t classRef = cls.members.At(i, 2);
    if (!Index(cls.members.At(i, 0), lib_.strings_.size(), "member name") ||
        (classRef != kNone && !Index(classRef, lib_.classRefs_.size(), "member class reference")))
      return false;
  }
  Close(end, outer);
  return true;
}

bool GSLibraryReader::ReadMethods(GSClass& cls) {
  size_t end, outer;
  uint32_t count = 0;
  GSWordTable table;
  if (!Open(TagVirtualTable, end, outer) || !Word(count) ||
      !Table(table, count, 2, "virtual table"))
    return false;
  cls.methods.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!Index(table.At(i, 0), lib_.functionRefs_.size(), "virtual table function reference"))
      return false;
    cls.methods[i].refIndex = table.At(i, 0);
    cls.methods[i].offset = table.At(i, 1);
  }
  Close(end, outer);
  return true;
}

bool GSLibraryReader::ReadLayout(GSClass& cls) {
  size_t end, outer;
  uint32_t entries = 0, refs = 0;
  if (!Open(TagLayout, end, outer) || !Word(cls.instanceSlots) || !Word(entries) ||
      !Table(cls.initialisers, entries, 3, "slot initialisers") || !Word(refs) ||
      !Table(cls.referenceSlots, refs, 1, "reference fields"))
    return false;
  Close(end, outer);
  return true;
}

// The layout must be the one the base list gives: for each base (0, p, -p)
// and (1, p + 1, q) with q inside the method table, then (1, 1, 0); block
// headers, reference fields and method-table offsets inside the instance.
bool GSLibraryReader::CheckLayout(const GSClass& cls) {
  const uint32_t slots = cls.instanceSlots;
  const uint32_t bases = cls.AncestorCount();
  if (slots < 2 || slots > kMaxInstanceSlots) return Fail("instance slot count out of range");
  if (cls.initialisers.count != 2 * bases + 1)
    return Fail("slot initialisers do not match the base list");
  std::vector<uint32_t> headers{0, 1};
  std::vector<uint32_t> blocks{0};
  for (uint32_t i = 0; i < bases; ++i) {
    const uint32_t p = cls.AncestorOffset(i);
    if (p < 2 || p >= slots - 1) return Fail("ancestor block outside the instance");
    const GSWordTable& init = cls.initialisers;
    if (init.At(2 * i, 0) != 0 || init.At(2 * i, 1) != p || init.At(2 * i, 2) != 0 - p ||
        init.At(2 * i + 1, 0) != 1 || init.At(2 * i + 1, 1) != p + 1 ||
        init.At(2 * i + 1, 2) > cls.methods.size())
      return Fail("slot initialisers do not match the base list");
    headers.push_back(p);
    headers.push_back(p + 1);
    blocks.push_back(p);
  }
  const uint32_t last = 2 * bases;
  if (cls.initialisers.At(last, 0) != 1 || cls.initialisers.At(last, 1) != 1 ||
      cls.initialisers.At(last, 2) != 0)
    return Fail("slot initialisers do not match the base list");
  std::sort(headers.begin(), headers.end());
  std::sort(blocks.begin(), blocks.end());
  for (uint32_t i = 0; i < cls.referenceSlots.count; ++i) {
    const uint32_t s = cls.referenceSlots.At(i);
    if (s >= slots || std::binary_search(headers.begin(), headers.end(), s))
      return Fail("reference field " + std::to_string(s) + " outside the fields");
  }
  for (const GSMethodEntry& m : cls.methods)
    if (!std::binary_search(blocks.begin(), blocks.end(), m.offset))
      return Fail("virtual table entry on no ancestor block");
  for (const GSFunction& fn : cls.functions)
    if (fn.methodIndex != -1 &&
        (fn.methodIndex < 0 || static_cast<uint32_t>(fn.methodIndex) >= cls.methods.size()))
      return Fail(std::string("method index of ") + fn.name + " out of range");
  return true;
}

}  // namespace GSRuntime
