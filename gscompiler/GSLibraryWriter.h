// The .gsl library writer (layout in GSLibraryFormat.h).
//
// GSLibraryWrite(out, unit, log, name) writes the library of a unit whose
// code was generated (GSCodeGenerator.h) into `out`, from the start of an
// empty buffer: the header with `name` lower-cased and the unit's LibraryId
// (its top source's text and name CRCs), chunk 2 from the unit's sources in
// reading order, chunk 3 from the library string table, then chunks 4, 5
// and 6. Chunks 4, 5 and 6 are built first (at the start of `out`), so that
// every string index is known before chunk 3 is written. Building the class
// records can give ids to classes and functions the unit had not referred
// to yet (a base class's functions in a virtual table, a member's class);
// they are then built again, so the reference tables always cover every
// index the records use. The head (header, chunks 2 and 3) is written
// behind them and the two parts swap places in `out`, so the library is
// held once. Finally the total length is filled in.
//
// Class records: the name, flags & 0x14C, the resolved base list, the
// functions in the class's function order and the class initialiser last,
// the member variables in member-hash order (defines left out), the
// virtual table and the layout (see GSLibraryFormat.h). Virtual table: the
// bases named in the class's own "isclass" list come first, recursively;
// then each class's own functions in ascending slot order; a function
// whose symbol name matches an earlier entry replaces it (and is also
// appended), and two such functions with different return types make the
// record fail with the log lines "Wrong return type on function: ", the
// signature and "\n".
//
// Failure: false when a class record fails (a virtual-table return-type
// clash, a function whose stack depth does not end at 0, a buffer that
// failed to grow), when the unit's code was not generated, or when any
// growth of `out` failed; `out` then holds no usable library. The driver
// reports "Internal Compiler Error." and writes nothing.
//
// GSWriteUnitLibrary(unit, out) is the driver's back-end hook: the library
// of the unit just generated, named after the unit's top source.
// Not thread-safe (one compile at a time).
#pragma once

#include <cstdint>

#include "foundation/stream/ByteBuffer.h"
#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/CompileUnit.h"

bool GSLibraryWrite(ByteBuffer& out, CompileUnit& unit, GSCompiler::CompileLogSink* log,
                    const char* name);
bool GSWriteUnitLibrary(CompileUnit& unit, ByteBuffer& out);
