// The semantic pass as the driver's back end (CompileUnit.h) runs it.
//
// GSSemanticCheckSource(unit, context, source, isTop) is the back end's
// checkSource hook: it declares the source as a dependent file of the
// unit's symbol table (name, text CRC, name CRC; "Internal Compiler
// Error." when that fails), forgets every class and function id (so the
// ids count what the last checked source, the top source, refers to), makes
// the source the table's current unit and runs CheckTree over its tree -
// fully for the top source, in declarations-only mode for an include.
// Answers the context's error count.
//
// GSUnitSymbolTable() is the symbol table of the compile in progress (one
// compile at a time, like the parser): the code generator and the library
// writer read the classes and functions it holds after the top source was
// checked. It is reset when a new compile starts: detected when the source
// to check is already in the table or the table holds a file that is not
// one of the unit's sources read so far (at the same index and CRCs).
// GSSemanticResetSymbols() resets it explicitly. Not thread-safe.
#pragma once

#include <cstdint>

#include "gscompiler/CompileUnit.h"
#include "gscompiler/GSSymbolTable.h"

uint32_t GSSemanticCheckSource(CompileUnit& unit, CompileContext& context,
                               const SourceDependency& source, bool isTop);

GSCompiler::GSSymbolTable& GSUnitSymbolTable();
void GSSemanticResetSymbols();
