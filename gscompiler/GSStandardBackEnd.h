// The compiler's standard back end for the driver (CompileUnit.h): the
// semantic pass (GSSemanticPass.h) checks each source; the code generator
// and the library writer plug their hooks in here as they are built (a null
// hook makes the driver fail that stage). The object lives for the process.
#pragma once

#include "gscompiler/CompileUnit.h"

const GSCompilerBackEnd* GSStandardBackEnd();

// Frees what the back end keeps after a compile (the symbol table and the
// generated code of the last unit) until the next compile; for a host that
// wants nothing of a finished or stopped job left in memory.
void GSStandardBackEndRelease();
