// The code generator: turns the checked parse tree of one unit into byte
// code, one GSCFunction per script function and one initialiser per class.
//
// GSGenerateCode(unit) refuses (false) a unit without a tree or with
// errors; otherwise it compiles the top source's top-level chain with
// CompileStatementList into the process-wide GSUnitCode(): the generated
// classes (in source order, each with its functions in declaration order)
// and the library string table, which the library writer then reads. It
// answers false when any node failed; every failure has put a line in the
// compile log, and the ones that are not messages of the language
// ("Internal compiler error." for a ninth temporary, an allocation failure
// or a buffer that could not grow) are counted errors too, so a unit whose
// generation went wrong never yields a library.
//
// What it emits is fixed by the instruction set (GSOpcodes.h) and by what
// the semantic pass left in the nodes (GSSemanticCheck.h): slots, function
// numbers, types, class names, LValue, Local, MethodCall, HasDefault, the
// case and on-label chains and the break/continue targets. Choices made
// here:
// - Filled forward jumps do not call the line hook, so each line table is
//   in code order.
// - A local variable's initialiser follows the same copy rule as an
//   assignment (SCOPY for a string l-value, call result or cast), so that
//   `string a = b;` does not make a and b share one mutable string.
// - A value converted to an object of another class gets a CAST to that
//   class, so the reference carries that class's view of the object.
// - Switch and wait tables are written in the order their labels are
//   reached; a label count that disagrees with the statement's chain is an
//   internal error.
//
// Messages: "case has duplicate value, line %d" and "%s, line %d" for an
// unresolved break, continue or goto are counted errors of the report, and
// so is code that passes what a library can hold (GSLibraryLimits.h): "too
// many different strings in the code of one library (the limit is 65536)",
// "too many classes referred to in one library for its code to name class
// '%s' (the limit is 65536)", "too many cases in switch (the limit is
// 65535)", "too many on labels in wait (the limit is 65535)" and, for a
// function or class initialiser whose operand-stack depths summed over its
// code pass what the loader checks, "%s is too large to load (...)";
// "Function %s not implemented", "Native function %s has been implemented",
// "Compiler error GEC", "Compiler error GEOUM" and "Compiler error GECTS"
// go to the compile log and fail the generation. Every line the generator
// writes is "file(line) : text" with the line of the construct at fault
// (a function's name for the two function messages).
//
// Not thread-safe: one compile at a time (the unit code is process-wide,
// like the symbol table and the parser).
#pragma once

#include <memory>
#include <vector>

#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSCFunction.h"
#include "gscompiler/GSLibraryStrings.h"

namespace GSCompiler {

// The code of the unit being compiled.
struct GSUnitCodeState {
  const CompileUnit* unit = nullptr;  // the unit generated last
  bool generated = false;             // generation succeeded
  std::vector<std::unique_ptr<GSCClass>> classes;
  GSLibraryStrings strings;

  void Clear();
};

GSUnitCodeState& GSUnitCode();

}  // namespace GSCompiler

bool GSGenerateCode(CompileUnit& unit);
