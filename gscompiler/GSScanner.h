// GSCompiler::GSScanner: the GameScript scanner over one source text held in
// memory.
//
// The token rules live in GSScanner.l, from which flex generates
// yyFlexLexer::yylex; this class only feeds that scanner from memory and
// keeps its failures inside the compiler. NextToken() gives the next token
// code (the codes of GSGrammar.y: single characters as themselves, named
// tokens from 258 up, 0 at end of input). After it returns, Text() is the
// matched text of that token (NUL-terminated; Length() bytes, which may
// include NUL bytes of the source inside literals) and Line() is the line on
// which the token ends (counting from 1).
//
// The text is not copied: the caller keeps it alive and unchanged for the
// scanner's life. The scanner reads it into a 16,384-byte buffer, each
// refill filling all the room there is; a token longer than the buffer
// doubles it, so scanning stays linear in the token's length.
//
// Failure: flex's own fatal errors (a buffer that cannot grow, an internal
// table fault such as "fatal flex scanner internal error--no action found")
// never end the process: NextToken() answers YYerror (256) once, keeps the
// flex text in FailureText(), and answers 0 from then on. Out of memory
// inside the scanner is handled the same way, and so is a bounded job whose
// time ran out (JobDeadline.h, polled every kTokensPerPoll tokens; the text
// is kCompileStoppedText). Not thread-safe: flex keeps no global state here, but
// one scanner serves one parse at a time.
#pragma once

#include <cstddef>

#include "gscompiler/CompileDiagnostics.h"

#ifndef yyFlexLexerOnce
#include <FlexLexer.h>
#endif

namespace GSCompiler {

// What the scanner throws at a fatal flex error; caught in NextToken().
struct ScannerFailure {
  const char* message;
};

class GSScanner : public yyFlexLexer {
 public:
  static constexpr unsigned kTokensPerPoll = 4096;

  GSScanner(const char* text, size_t length);
  ~GSScanner() override = default;
  GSScanner(const GSScanner&) = delete;
  GSScanner& operator=(const GSScanner&) = delete;

  int NextToken();

  const char* Text() const { return YYText(); }
  int Length() const { return YYLeng(); }
  int Line() const { return lineno(); }

  // The flex message of a failed scan; null while the scan is sound.
  const char* FailureText() const { return failure_; }

 protected:
  int LexerInput(char* buffer, int maxSize) override;
  void LexerError(const char* message) override;

 private:
  const char* text_;
  size_t remaining_;
  const char* failure_ = nullptr;
  unsigned tokens_ = 0;
};

}  // namespace GSCompiler
