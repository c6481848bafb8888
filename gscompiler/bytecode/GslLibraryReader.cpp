#include "gscompiler/bytecode/GslLibraryReader.h"

#include <cstring>

#include "gscompiler/bytecode/GSByteOrder.h"

namespace GSLibraryFormat {

using GSByteCode::GSReadU32;

namespace {

// A bounds-checked cursor over [begin, end) of the file.
struct Cursor {
  const std::vector<uint8_t>& bytes;
  size_t pos;
  size_t end;
  bool ok = true;

  uint32_t U32() {
    if (!ok || end - pos < 4 || pos > end) {
      ok = false;
      return 0;
    }
    const uint32_t v = GSReadU32(bytes.data() + pos);
    pos += 4;
    return v;
  }
  bool Skip(size_t n) {
    if (!ok || end - pos < n) return ok = false;
    pos += n;
    return true;
  }
};

// Reads a chunk header; the chunk's body is [cursor.pos, chunkEnd).
bool OpenChunk(Cursor& c, uint32_t tag, size_t& chunkEnd, std::string& error) {
  const size_t start = c.pos;
  const uint32_t length = c.U32();
  const uint32_t got = c.U32();
  if (!c.ok || got != tag || length < 8 || length > c.end - start) {
    error = "bad chunk, expected tag " + std::to_string(tag) + " at " + std::to_string(start);
    return false;
  }
  chunkEnd = start + length;
  return true;
}

bool ReadFunction(Cursor& outer, GslFunction& f, std::string& error) {
  size_t end;
  if (!OpenChunk(outer, TagFunction, end, error)) return false;
  Cursor c{outer.bytes, outer.pos, end};
  f.signature = c.U32();
  f.returnType = c.U32();
  f.returnClass = c.U32();
  f.flags = c.U32();
  f.slot = static_cast<int32_t>(c.U32());
  f.advance = c.U32();
  f.slot0Offset = c.U32();
  f.recordOffset = c.U32();
  f.slotsNeeded = c.U32();
  f.params = c.U32();
  f.locals = c.U32();
  f.temps = c.U32();
  const uint32_t n = c.U32();
  for (uint32_t i = 0; c.ok && i < n; ++i) f.referenceSlots.push_back(c.U32());
  const uint32_t codeLength = c.U32();
  const size_t codeAt = c.pos;
  if (!c.Skip(codeLength)) {
    error = "code runs past its record";
    return false;
  }
  f.code.assign(c.bytes.begin() + static_cast<std::ptrdiff_t>(codeAt),
                c.bytes.begin() + static_cast<std::ptrdiff_t>(codeAt + codeLength));
  while (c.ok && c.pos % 4 != 0) {
    if (c.pos >= end || c.bytes[c.pos] != 0xFF) {
      error = "code padding is not 0xFF";
      return false;
    }
    ++c.pos;
  }
  if (c.ok && end - c.pos >= 4 && GSReadU32(c.bytes.data() + c.pos) == kGslLineMarker) {
    c.U32();
    f.hasLineTable = true;
    const uint32_t count = c.U32();
    for (uint32_t i = 0; c.ok && i < count; ++i) {
      const uint32_t offset = c.U32();
      f.lines.push_back({offset, c.U32()});
    }
  }
  if (!c.ok) {
    error = "function record too short";
    return false;
  }
  outer.pos = end;
  return true;
}

bool ReadClass(Cursor& outer, GslClass& k, std::string& error) {
  size_t end;
  if (!OpenChunk(outer, TagClass, end, error)) return false;
  Cursor c{outer.bytes, outer.pos, end};
  k.name = c.U32();
  k.flags = c.U32();
  const uint32_t b = c.U32();
  for (uint32_t i = 0; c.ok && i < b; ++i) {
    const uint32_t ref = c.U32();
    const uint32_t p = c.U32();
    k.bases.push_back({ref, p, c.U32()});
  }
  size_t sub;
  if (!c.ok || !OpenChunk(c, TagFunctions, sub, error)) return false;
  {
    Cursor f{c.bytes, c.pos, sub};
    const uint32_t count = f.U32();
    for (uint32_t i = 0; f.ok && i < count; ++i) {
      k.functions.emplace_back();
      if (!ReadFunction(f, k.functions.back(), error)) return false;
    }
    if (!f.ok) return false;
    c.pos = sub;
  }
  if (!OpenChunk(c, TagMembers, sub, error)) return false;
  {
    Cursor m{c.bytes, c.pos, sub};
    const uint32_t count = m.U32();
    for (uint32_t i = 0; m.ok && i < count; ++i) {
      GslMemberEntry e{};
      e.name = m.U32();
      e.type = m.U32();
      e.classRef = m.U32();
      e.flags = m.U32();
      e.slot = static_cast<int32_t>(m.U32());
      k.members.push_back(e);
    }
    if (!m.ok) return (error = "members too short"), false;
    c.pos = sub;
  }
  if (!OpenChunk(c, TagVirtualTable, sub, error)) return false;
  {
    Cursor v{c.bytes, c.pos, sub};
    const uint32_t count = v.U32();
    for (uint32_t i = 0; v.ok && i < count; ++i) {
      const uint32_t fn = v.U32();
      k.virtualTable.push_back({fn, v.U32()});
    }
    if (!v.ok) return (error = "virtual table too short"), false;
    c.pos = sub;
  }
  if (!OpenChunk(c, TagLayout, sub, error)) return false;
  {
    Cursor l{c.bytes, c.pos, sub};
    k.objectSlots = l.U32();
    const uint32_t e = l.U32();
    for (uint32_t i = 0; l.ok && i < e; ++i) {
      const uint32_t a = l.U32();
      const uint32_t b2 = l.U32();
      k.layout.push_back({a, b2, l.U32()});
    }
    const uint32_t n = l.U32();
    for (uint32_t i = 0; l.ok && i < n; ++i) k.referenceMembers.push_back(l.U32());
    if (!l.ok) return (error = "layout too short"), false;
    c.pos = sub;
  }
  outer.pos = end;
  return true;
}

}  // namespace

bool ReadGslFunction(const std::vector<uint8_t>& bytes, size_t offset, GslFunction& out,
                     std::string& error) {
  if (offset > bytes.size()) return (error = "offset out of range"), false;
  Cursor c{bytes, offset, bytes.size()};
  return ReadFunction(c, out, error);
}

const GslFunction* GslLibrary::FindFunction(const std::string& signature) const {
  for (const GslClass& k : classes)
    for (const GslFunction& f : k.functions)
      if (f.signature < strings.size() && strings[f.signature] == signature) return &f;
  return nullptr;
}

bool ReadGsl(const std::vector<uint8_t>& bytes, GslLibrary& out, std::string& error) {
  Cursor c{bytes, 0, bytes.size()};
  GslHeader& h = out.header;
  h.totalLength = c.U32();
  h.magic = c.U32();
  h.version = c.U32();
  h.textCrc = c.U32();
  h.nameCrc = c.U32();
  h.nameLength = c.U32();
  const uint32_t n = h.nameLength;
  if (!c.ok || h.magic != kGslMagic || n == 0 || n > bytes.size() - c.pos) {
    error = "bad header";
    return false;
  }
  out.name.assign(reinterpret_cast<const char*>(bytes.data() + c.pos), n - 1);
  c.pos += n;
  size_t end;
  if (!OpenChunk(c, TagDependencies, end, error)) return false;
  const uint32_t d = c.U32();
  for (uint32_t i = 0; c.ok && i < d; ++i) {
    const uint32_t t = c.U32();
    out.dependencies.push_back({t, c.U32()});
  }
  c.pos = end;
  if (!OpenChunk(c, TagStrings, end, error)) return false;
  const uint32_t s = c.U32();
  std::vector<uint32_t> offsets;
  for (uint32_t i = 0; c.ok && i < s; ++i) offsets.push_back(c.U32());
  const size_t base = c.pos;
  for (uint32_t off : offsets) {
    size_t at = base + off;
    if (at >= end) return (error = "string offset out of range"), false;
    const void* nul = std::memchr(bytes.data() + at, 0, end - at);
    if (nul == nullptr) return (error = "unterminated string"), false;
    out.strings.emplace_back(reinterpret_cast<const char*>(bytes.data() + at));
  }
  if (end % 4 != 0) return (error = "string chunk not padded"), false;
  c.pos = end;
  if (!OpenChunk(c, TagClassRefs, end, error)) return false;
  const uint32_t cr = c.U32();
  for (uint32_t i = 0; c.ok && i < cr; ++i) {
    const uint32_t dep = c.U32();
    out.classRefs.push_back({dep, c.U32()});
  }
  c.pos = end;
  if (!OpenChunk(c, TagFunctionRefs, end, error)) return false;
  const uint32_t fr = c.U32();
  for (uint32_t i = 0; c.ok && i < fr; ++i) {
    const uint32_t k = c.U32();
    const uint32_t sig = c.U32();
    out.functionRefs.push_back({k, sig, static_cast<int32_t>(c.U32())});
  }
  c.pos = end;
  if (!OpenChunk(c, TagClasses, end, error)) return false;
  Cursor k{bytes, c.pos, end};
  const uint32_t kc = k.U32();
  for (uint32_t i = 0; k.ok && i < kc; ++i) {
    out.classes.emplace_back();
    if (!ReadClass(k, out.classes.back(), error)) return false;
  }
  if (!c.ok || !k.ok) return (error = "file too short"), false;
  if (end != bytes.size()) return (error = "bytes after the class chunk"), false;
  if (h.totalLength != bytes.size()) return (error = "total length differs from the size"), false;
  return true;
}

}  // namespace GSLibraryFormat
