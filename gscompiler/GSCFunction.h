// GSCompiler::GSCFunction and GSCompiler::GSCClass: the compiled form of a
// script function and of a class while a unit is being compiled, and the
// writers of their function records (tag 9) in a .gsl library.
//
// A GSCFunction holds the emitted code (GSCodeBuffer, with its stack depth
// bookkeeping), the frame slots of its reference-typed parameters and
// locals, its temporaries and its line table. The symbol pointer is the
// semantic pass's function symbol; nothing here reads it (the library
// writer does). A GSCClass owns its functions (in the order they were
// appended) and holds the class initialiser's code, temporaries and the
// member slots of its reference-typed members.
//
// Line table: GSCFunctionAddLine(function, offset) is the line hook; it
// appends (offset, currentLine) unless the last entry already has that line,
// so the table holds one entry per change of source line in code order.
//
// Temporaries: each function (and each class initialiser) has 8, frame
// slots P + L + i (i = 0..7). Alloc answers the first free i and raises the
// count to i + 1, or -1 when all eight are live; the generator reports that
// as an internal compiler error.
//
// Record writing (layout in GSLibraryFormat.h): GSCFunctionWrite writes the
// tag-9 record of a function from the head fields that the library writer
// resolves (signature and return-class indices, flags, slot, P, L) and from
// the function's own state (T, maximum depth, reference slots, code, line
// table). GSWriteClassInitialiser writes the class initialiser's record (no
// line table). Both answer false, writing nothing usable, when the final
// stack depth is not 0, when the function's own buffers failed to grow, or
// when `out` has a growth error after the write.
//
// Allocation failures while recording lines or reference slots set
// `allocationFailed`; the generator counts them as errors. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/stream/ByteBuffer.h"
#include "gscompiler/GSCodeBuffer.h"

namespace GSCompiler {

class GSFunctionSymbol;
class GSClassSymbol;

class GSTempSlots {
 public:
  static constexpr int kCount = 8;
  // The first free temporary (0..7), or -1 when all are live.
  int Alloc();
  void Free(int index);
  // The highest temporary index used + 1.
  uint32_t Used() const { return used_; }

 private:
  uint8_t live_ = 0;
  uint32_t used_ = 0;
};

class GSCFunction {
 public:
  struct LineDebugInfo {
    uint32_t offset;
    uint32_t line;
  };

  explicit GSCFunction(GSFunctionSymbol* functionSymbol) : symbol(functionSymbol) {
    code.lineHook = nullptr;
    code.lineOwner = this;
  }
  GSCFunction(const GSCFunction&) = delete;
  GSCFunction& operator=(const GSCFunction&) = delete;
  virtual ~GSCFunction() = default;

  void AddReferenceSlot(uint32_t slot);

  GSFunctionSymbol* symbol;
  GSCodeBuffer code;
  std::vector<uint32_t> referenceSlots;
  std::vector<LineDebugInfo> lines;
  uint32_t currentLine = 0;
  GSTempSlots temps;
  bool allocationFailed = false;
};

void GSCFunctionAddLine(GSCFunction& function, uint32_t offset);

class GSCClass {
 public:
  explicit GSCClass(GSClassSymbol* classSymbol) : symbol(classSymbol) {}
  GSCClass(const GSCClass&) = delete;
  GSCClass& operator=(const GSCClass&) = delete;
  virtual ~GSCClass() = default;

  // Appends a new function; null (and allocationFailed set) when out of
  // memory.
  GSCFunction* AddFunction(GSFunctionSymbol* functionSymbol);
  void AddReferenceMember(uint32_t slot);

  GSClassSymbol* symbol;
  std::vector<std::unique_ptr<GSCFunction>> functions;
  GSCodeBuffer initialiser;
  GSTempSlots initialiserTemps;
  std::vector<uint32_t> referenceMembers;
  bool allocationFailed = false;
};

// The fields of a function record that the library writer resolves.
struct GSFunctionRecordHead {
  uint32_t signatureIndex = 0;
  uint32_t returnType = 0;
  uint32_t returnClassRef = 0xFFFFFFFF;
  uint32_t flags = 0;   // specifier bits; masked with 0x3B when written
  int32_t slot = -1;    // function base + index, as a signed 16-bit value
  uint32_t params = 1;  // P: parameters + 1
  uint32_t locals = 0;  // L
};

bool GSCFunctionWrite(ByteBuffer& out, const GSCFunction& function,
                      const GSFunctionRecordHead& head);
bool GSWriteClassInitialiser(ByteBuffer& out, const GSCClass& cls, uint32_t signatureIndex);

}  // namespace GSCompiler
