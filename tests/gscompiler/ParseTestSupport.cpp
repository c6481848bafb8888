#include "ParseTestSupport.h"

#include <cstdio>

#include "gscompiler/GSScanner.h"

namespace GSTest {

Parsed Parse(GSCompiler::ParseArena& arena, std::string_view source, const char* name) {
  VectorLog log;
  GSCompiler::CompileDiagnostics diagnostics;
  diagnostics.fileName = name;
  diagnostics.log = &log;
  Parsed parsed;
  parsed.result = GSCompiler::GSParseSource(source.data(), source.size(), diagnostics, arena);
  parsed.log = log.lines;
  parsed.errors = diagnostics.errorCount;
  return parsed;
}

std::vector<Token> Scan(std::string_view source) {
  GSCompiler::GSScanner scanner(source.data(), source.size());
  std::vector<Token> tokens;
  for (int code = scanner.NextToken(); code > 0; code = scanner.NextToken()) {
    tokens.push_back(
        {code, std::string(scanner.Text(), static_cast<size_t>(scanner.Length())), scanner.Line()});
  }
  return tokens;
}

std::vector<int> Codes(std::string_view source) {
  std::vector<int> codes;
  for (const Token& t : Scan(source)) codes.push_back(t.code);
  return codes;
}

namespace {

const char* KindName(const ParseNode* n) {
  static const char* const declarations[] = {"FunctionDecl", "FunctionProto", "IncludeDecl",
                                             "ClassDecl",    "VarDeclList",   "Declarator",
                                             "TypeSpec",     "Param",         "Name"};
  static const char* const statements[] = {"Return", "Break",  "Continue", "Goto",    "For",
                                           "While",  "Switch", "If",       "Default", "Case",
                                           "Label",  "Block",  "Wait",     "On"};
  static const char* const expressions[] = {"Op", "Const", "Id", "Call", "Member", "Me", "Null"};
  if (n->nodeClass == ParseNode::NodeDeclaration && n->kind < 9) return declarations[n->kind];
  if (n->nodeClass == ParseNode::NodeStatement && n->kind < 14) return statements[n->kind];
  if (n->nodeClass == ParseNode::NodeExpression && n->kind < 7) return expressions[n->kind];
  return "?";
}

void DumpNode(const ParseNode* n, std::string& out);

void DumpChain(const ParseNode* n, std::string& out) {
  for (bool first = true; n != nullptr; n = n->next, first = false) {
    if (!first) out += ' ';
    DumpNode(n, out);
  }
}

void DumpNode(const ParseNode* n, std::string& out) {
  out += '(';
  out += KindName(n);
  if (n->op != -1) out += ' ' + std::to_string(n->op);
  if (n->text != nullptr) out += " \"" + std::string(n->text) + '"';
  if (n->Is(ParseNode::NodeExpression, ParseNode::Constant)) {
    char buffer[32];
    if (n->op == ParseNode::ConstFloat) {
      std::snprintf(buffer, sizeof buffer, " %g", static_cast<double>(n->FloatValue()));
    } else if (n->op != ParseNode::ConstString) {
      std::snprintf(buffer, sizeof buffer, " %d", n->IntValue());
    } else {
      buffer[0] = '\0';
    }
    out += buffer;
  }
  if (n->flags & ParseNode::ValueDiscarded) out += " vd";
  int last = 3;
  while (last >= 0 && n->child[last] == nullptr) --last;
  for (int i = 0; i <= last; ++i) {
    out += ' ';
    if (n->child[i] == nullptr) {
      out += '_';
    } else if (n->child[i]->next != nullptr) {
      out += '[';
      DumpChain(n->child[i], out);
      out += ']';
    } else {
      DumpNode(n->child[i], out);
    }
  }
  out += ')';
}

}  // namespace

std::string Dump(const ParseNode* chain) {
  std::string out;
  DumpChain(chain, out);
  return out;
}

}  // namespace GSTest
