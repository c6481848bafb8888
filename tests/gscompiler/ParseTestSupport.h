// Helpers shared by the compiler front-end tests: a log that keeps its
// lines, a one-call parse, a token dump and a compact tree dump.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/GSParse.h"
#include "gscompiler/ParseNode.h"

namespace GSTest {

class VectorLog : public GSCompiler::CompileLogSink {
 public:
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

struct Parsed {
  GSCompiler::ParseResult result;
  std::vector<std::string> log;
  uint32_t errors = 0;
};

// Parses `source` under the file name `name` into `arena`.
Parsed Parse(GSCompiler::ParseArena& arena, std::string_view source, const char* name = "test.gs");

struct Token {
  int code;
  std::string text;
  int line;
  bool operator==(const Token&) const = default;
};

// Every token of `source` up to end of input (the 0 token not included).
std::vector<Token> Scan(std::string_view source);
// The token codes only.
std::vector<int> Codes(std::string_view source);

// A one-line picture of a chain: nodes as "(Kind fields children...)",
// chain members separated by blanks. Recursion follows children, so keep
// the trees small.
std::string Dump(const ParseNode* chain);

}  // namespace GSTest
