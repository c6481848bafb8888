// GSCompiler::GSJumpLabels: the code generator's jump labels and fix-ups
// for one function at a time.
//
// Labels are numbered from 0 in creation order; each is undefined until
// DefineLabel gives it a code offset. Goto labels are found by name through
// LabelForName, which makes the label on first use. A jump to a label is
// emitted with a 4-byte operand of 0 and a fix-up {label, operand position,
// text, line}; ResolveFixups writes each defined label's offset over its
// fix-ups' operands and reports each fix-up of a label that was never
// defined as the counted error "<text>, line <line>" (GSCompilerReport); a
// fix-up naming a label number that was never made is passed over. The
// generator calls Reset after each function.
//
// Failure: NewLabel and LabelForName answer -1 and AddFixup false when
// memory runs out; the generator turns each into a counted error, so no
// jump is ever left silently pointing at offset 0. DefineLabel answers false
// for an unknown or already defined label. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSCodeBuffer.h"

namespace GSCompiler {

class GSJumpLabels {
 public:
  int NewLabel();
  int LabelForName(const char* name);
  bool DefineLabel(int id, uint32_t offset);
  bool AddFixup(uint32_t position, int id, const char* text, int line);
  // Patches `code` and answers the number of unresolved fix-ups.
  uint32_t ResolveFixups(GSCodeBuffer& code, CompileDiagnostics* diagnostics);
  void Reset();

  bool IsDefined(int id) const;
  uint32_t Offset(int id) const;

 private:
  struct Label {
    bool defined;
    uint32_t offset;
  };
  struct Fixup {
    int id;
    uint32_t position;
    const char* text;
    int line;
  };
  std::vector<Label> labels_;
  std::unordered_map<std::string, int> names_;
  std::vector<Fixup> fixups_;
};

}  // namespace GSCompiler
