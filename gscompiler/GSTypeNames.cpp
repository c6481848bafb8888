#include "gscompiler/GSTypeNames.h"

#include <cstring>

namespace {

const char* const kTypeNames[] = {"void",     "bool",     "int",    "float", "string",
                                  "object",   "void[]",   "bool[]", "int[]", "float[]",
                                  "string[]", "object[]", "",       "null"};

const char* const kOperatorNames[] = {"--",  "++", ".",   "+",    "-",       "!",    "~",
                                      "--",  "++", "[,]", "[]",   "()",      "*",    "/",
                                      "%",   "+",  "-",   "<<",   ">>",      "<",    ">",
                                      "<=",  ">=", "==",  "!=",   "&",       "^",    "|",
                                      "and", "or", "=",   "size", "isclass", "copy", "new"};

struct SpecifierName {
  uint32_t bit;
  const char* text;
};
const SpecifierName kSpecifierNames[] = {
    {ParseNode::SpecPublic, "public "}, {ParseNode::SpecNative, "native "},
    {ParseNode::SpecStatic, "static "}, {ParseNode::SpecFinal, "final "},
    {ParseNode::SpecThread, "thread "}, {ParseNode::SpecConstructor, "constructor "},
    {ParseNode::SpecGame, "game "},     {ParseNode::SpecSecured, "secured "},
    {ParseNode::SpecDefine, "define "}};

const char* ClassNameOf(const ParseNode* node) {
  if (node->className) return node->className;
  if (node->Is(ParseNode::NodeDeclaration, ParseNode::TypeSpec) && node->child[0])
    return node->child[0]->text;
  return nullptr;
}

uint32_t TypeCodeOf(const ParseNode* node) {
  if (node->Is(ParseNode::NodeDeclaration, ParseNode::TypeSpec))
    return static_cast<uint32_t>(node->op);
  return node->type;
}

}  // namespace

const char* GSTypeName(uint32_t code) {
  if (code < sizeof kTypeNames / sizeof kTypeNames[0]) return kTypeNames[code];
  return "illegal type";
}

const char* GSTypeNameOrIllegal(const ParseNode* node) {
  static Kiv::String buffer;
  if (node == nullptr) return "illegal type";
  const char* className = ClassNameOf(node);
  const uint32_t code = TypeCodeOf(node);
  if (className == nullptr || *className == '\0') return GSTypeName(code);
  buffer = className;
  if (code == ParseNode::TypeObject + ParseNode::TypeArray) buffer += "[]";
  return buffer.c_str();
}

uint32_t GSParseTypeName(const char* text, Kiv::String* className) {
  if (text == nullptr) return ParseNode::TypeNone;
  for (uint32_t code = 0; code <= 11; ++code)
    if (std::strcmp(text, kTypeNames[code]) == 0) return code;
  if (std::strcmp(text, "null") == 0) return ParseNode::TypeNull;
  if (className == nullptr) return ParseNode::TypeNone;
  const char* brackets = std::strstr(text, "[]");
  if (brackets == nullptr) {
    *className = text;
    return ParseNode::TypeObject;
  }
  className->assign(text, static_cast<size_t>(brackets - text));
  return ParseNode::TypeObject + ParseNode::TypeArray;
}

bool GSSameType(uint32_t typeA, const char* classA, uint32_t typeB, const char* classB) {
  const bool aObjectOrNull = typeA == ParseNode::TypeObject || typeA == ParseNode::TypeNull;
  const bool bObjectOrNull = typeB == ParseNode::TypeObject || typeB == ParseNode::TypeNull;
  if (typeA != typeB) return aObjectOrNull && bObjectOrNull;
  if (typeA != ParseNode::TypeObject) return true;
  const bool aNamed = classA != nullptr && *classA != '\0';
  const bool bNamed = classB != nullptr && *classB != '\0';
  if (aNamed != bNamed) return false;
  return !aNamed || std::strcmp(classA, classB) == 0;
}

Kiv::String GSSpecifierNames(uint32_t bits) {
  Kiv::String out;
  for (const SpecifierName& s : kSpecifierNames)
    if ((bits & s.bit) != 0) out += s.text;
  return out;
}

const char* GSOperatorName(int32_t code) {
  if (code < 0 || code >= static_cast<int32_t>(sizeof kOperatorNames / sizeof kOperatorNames[0]))
    return "";
  return kOperatorNames[code];
}

bool GSFunctionSignature(const ParseNode* decl, const char* className, bool withReturnType,
                         Kiv::String& out) {
  out.clear();
  if (decl == nullptr || decl->nodeClass != ParseNode::NodeDeclaration) return false;
  if (decl->kind != ParseNode::FunctionDecl && decl->kind != ParseNode::FunctionProto) return false;
  if (withReturnType && decl->child[0]) {
    out += '$';
    out += GSTypeNameOrIllegal(decl->child[0]);
  }
  if (className) {
    out += '@';
    out += className;
  }
  out += "::";
  if (decl->child[1] && decl->child[1]->text) out += decl->child[1]->text;
  out += '(';
  for (const ParseNode* p = decl->child[2]; p; p = p->next) {
    if (p != decl->child[2]) out += ',';
    out += GSTypeNameOrIllegal(p->child[0]);
  }
  out += ')';
  return true;
}

const char* GSExpressionName(const ParseNode* expr) {
  if (expr == nullptr || expr->nodeClass != ParseNode::NodeExpression) return nullptr;
  if (expr->kind == ParseNode::Identifier) return expr->text;
  if (expr->kind == ParseNode::Operator && expr->op == ParseNode::OpMember && expr->child[1])
    return expr->child[1]->text;
  return nullptr;
}

bool GSMarkValueConsumed(ParseNode* expr) {
  if (expr == nullptr || (expr->flags & ParseNode::ValueDiscarded) == 0) return false;
  expr->flags |= GSCompiler::ValueConsumed;
  return true;
}

bool GSIsReferenceType(uint32_t code) {
  return code == ParseNode::TypeString || code == ParseNode::TypeObject ||
         (code >= 7 && code <= 11) || code == ParseNode::TypeNull;
}
