#include "gscompiler/GSStandardBackEnd.h"

#include "gscompiler/GSCodeGenerator.h"
#include "gscompiler/GSLibraryWriter.h"
#include "gscompiler/GSSemanticPass.h"

const GSCompilerBackEnd* GSStandardBackEnd() {
  static const GSCompilerBackEnd backEnd{GSSemanticCheckSource, GSGenerateCode, GSWriteUnitLibrary};
  return &backEnd;
}

void GSStandardBackEndRelease() {
  GSSemanticResetSymbols();
  GSCompiler::GSUnitCode().Clear();
}
