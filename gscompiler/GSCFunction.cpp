#include "gscompiler/GSCFunction.h"

#include <cstring>
#include <new>

#include "gscompiler/GslChunkWriter.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

namespace GSCompiler {

using namespace GSLibraryFormat;

namespace {

// The line entries a function's table starts with: three fill the
// allocator's smallest block (24 bytes), as one or two would, and the table
// then doubles from there (3, 6, 12) rather than from 1.
constexpr size_t kFirstLineEntries = 3;

}  // namespace

int GSTempSlots::Alloc() {
  for (int i = 0; i < kCount; ++i) {
    const uint8_t bit = static_cast<uint8_t>(1u << i);
    if ((live_ & bit) != 0) continue;
    live_ |= bit;
    if (static_cast<uint32_t>(i) + 1 > used_) used_ = static_cast<uint32_t>(i) + 1;
    return i;
  }
  return -1;
}

void GSTempSlots::Free(int index) {
  if (index >= 0 && index < kCount) live_ &= static_cast<uint8_t>(~(1u << index));
}

void GSCFunction::AddReferenceSlot(uint32_t slot) {
  try {
    referenceSlots.push_back(slot);
  } catch (const std::bad_alloc&) {
    allocationFailed = true;
  }
}

void GSCFunctionAddLine(GSCFunction& function, uint32_t offset) {
  if (!function.lines.empty() && function.lines.back().line == function.currentLine) return;
  try {
    // Most functions span a few lines: start with room for several.
    if (function.lines.capacity() == 0) function.lines.reserve(kFirstLineEntries);
    function.lines.push_back(GSCFunction::LineDebugInfo{offset, function.currentLine});
  } catch (const std::bad_alloc&) {
    function.allocationFailed = true;
  }
}

GSCFunction* GSCClass::AddFunction(GSFunctionSymbol* functionSymbol) {
  try {
    functions.push_back(std::make_unique<GSCFunction>(functionSymbol));
  } catch (const std::bad_alloc&) {
    allocationFailed = true;
    return nullptr;
  }
  return functions.back().get();
}

void GSCClass::AddReferenceMember(uint32_t slot) {
  try {
    referenceMembers.push_back(slot);
  } catch (const std::bad_alloc&) {
    allocationFailed = true;
  }
}

namespace {

struct RecordBody {
  uint32_t signatureIndex;
  uint32_t returnType;
  uint32_t returnClassRef;
  uint32_t flags;
  int32_t slot;
  uint32_t params;
  uint32_t locals;
  uint32_t temps;
  const GSCodeBuffer* code;
  const std::vector<uint32_t>* referenceSlots;
  const std::vector<GSCFunction::LineDebugInfo>* lines;  // null: no line table
};

bool WriteRecord(ByteBuffer& out, const RecordBody& r) {
  if (r.code->depth != 0 || r.code->Failed()) return false;
  const uint32_t start = GslBeginChunk(out, TagFunction);
  out.WriteU32(r.signatureIndex);
  out.WriteU32(r.returnType);
  out.WriteU32(r.returnClassRef);
  out.WriteU32(r.flags & kGslFunctionFlagMask);
  out.WriteU32(static_cast<uint32_t>(r.slot));
  const GslFrameWords words =
      GslFrameWordsFor(r.params, r.locals, r.temps, static_cast<uint32_t>(r.code->maxDepth));
  out.WriteU32(words.advance);
  out.WriteU32(words.slot0Offset);
  out.WriteU32(words.recordOffset);
  out.WriteU32(words.slotsNeeded);
  out.WriteU32(r.params);
  out.WriteU32(r.locals);
  out.WriteU32(r.temps);
  out.WriteU32(static_cast<uint32_t>(r.referenceSlots->size()));
  for (uint32_t slot : *r.referenceSlots) out.WriteU32(slot);
  out.WriteU32(r.code->Size());
  GslWriteBytes(out, r.code->Data(), r.code->Size());
  GslPadTo4(out, 0xFF);
  if (r.lines) {
    out.WriteU32(kGslLineMarker);
    out.WriteU32(static_cast<uint32_t>(r.lines->size()));
    for (const GSCFunction::LineDebugInfo& e : *r.lines) {
      out.WriteU32(e.offset);
      out.WriteU32(e.line);
    }
    GslPadTo4(out, 0);
  }
  GslEndChunk(out, start);
  return out.errors == 0;
}

}  // namespace

bool GSCFunctionWrite(ByteBuffer& out, const GSCFunction& function,
                      const GSFunctionRecordHead& head) {
  if (function.allocationFailed) return false;
  const RecordBody body{head.signatureIndex, head.returnType,
                        head.returnClassRef, head.flags,
                        head.slot,           head.params,
                        head.locals,         function.temps.Used(),
                        &function.code,      &function.referenceSlots,
                        &function.lines};
  return WriteRecord(out, body);
}

bool GSWriteClassInitialiser(ByteBuffer& out, const GSCClass& cls, uint32_t signatureIndex) {
  if (cls.allocationFailed) return false;
  static const std::vector<uint32_t> kNoSlots;
  const RecordBody body{signatureIndex,
                        0,
                        kGslNoClass,
                        kGslConstructorFlag,
                        -1,
                        1,
                        0,
                        cls.initialiserTemps.Used(),
                        &cls.initialiser,
                        &kNoSlots,
                        nullptr};
  return WriteRecord(out, body);
}

}  // namespace GSCompiler
