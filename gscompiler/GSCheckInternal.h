// The parts of the semantic pass that call each other (GSSemanticCheck.h is
// the public face). Every check reports its own messages as counted errors
// and answers true when the node passed.
#pragma once

#include <cstdint>

#include "gscompiler/GSSemanticCheck.h"

namespace GSCompiler {

// Pre-visit (declarations; true and nothing done for an expression, which
// the walk therefore skips) and post-visit (statements, expressions).
bool CheckDeclaration(SemanticContext& context, CheckState& state, ParseNode* node);
bool CheckStatement(SemanticContext& context, CheckState& state, ParseNode* node);

// A TypeSpec: sets its type and class name; a named class must exist
// (not checked in declarations-only mode). Checks a node once.
bool CheckTypeSpec(SemanticContext& context, CheckState& state, ParseNode* typeSpec);

// A call (Part of the expression checks).
bool CheckCall(SemanticContext& context, CheckState& state, ParseNode* call);

// The assignment rule (assignments and initialisers): `source` typed
// sourceType/sourceClass into targetType/targetClass.
bool CheckAssignable(SemanticContext& context, int line, uint32_t targetType,
                     const char* targetClass, uint32_t sourceType, const char* sourceClass);
// The cast rule (casts and call arguments): classes may go either way
// along the inheritance. No message.
bool CanCast(SemanticContext& context, uint32_t targetType, const char* targetClass,
             uint32_t sourceType, const char* sourceClass);

// The class symbol of that name, or null (numbered on use).
GSClassSymbol* FindClass(SemanticContext& context, const char* className);

// "Internal compiler error." (or the text given) to the log, counted.
void ReportInternalError(SemanticContext& context, const char* text = "Internal compiler error.");

// True when `node` is the callee of its parent Call / the left side of its
// parent member access.
bool IsCallee(const ParseNode* node);
bool IsMemberObject(const ParseNode* node);

// FindEnclosingStatement for the node whose statement check is running,
// found among the statements the walk is inside (their post-visits wait on
// its stack) instead of through every sibling before the node, so that a
// long run of labels or jumps is checked in linear time. Null outside a
// walk.
ParseNode* EnclosingStatement(const CheckState& state, uint32_t kindMask);

// The last node of a `next` chain (null for null).
ParseNode* LastInChain(ParseNode* chain);

}  // namespace GSCompiler
