// CompileLog: the compiler's message sink, a queue of text lines that the
// caller drains in order.
//
// Each line is copied into the log's frame memory (blocks of 2048 bytes) and
// a pointer to the copy is queued in a ring of line pointers. When the ring
// is full it first grows by its grow step (set to 128 by GSCompilerMain;
// 16 by default), keeping the lines in order. A line whose copy or growth
// cannot be allocated is dropped; nothing else fails. Lines are kept without
// a line break; whoever prints them adds one.
//
// TakeLine hands out the oldest line not yet taken (null when none is
// left); its text stays valid until GSCompilerResetLog. GSCompilerResetLog
// (or the destructor) frees the ring and every block: the log is then empty
// and can be used again.
//
// Names in the lines (ShownName, CompileDiagnostics.h) are kept as they are
// by default: whoever prints the lines escapes them there (an asset's
// compile errors go through the results printer). A log whose lines are
// printed as they are (the compiler's command line) is told so with
// ShowNamesEscaped: each name then shows as CopyResultLine
// (foundation/text/ResultLine.h) gives it, so that a name cannot split a
// line or reach the terminal as a control sequence; the rest of each line
// stays as the compiler wrote it.
//
// CompileLogAppend(log, text) appends one line; a null log or a null text
// keeps nothing. The log is the GSCompiler::CompileLogSink of the parser's
// and the checks' messages. Not thread-safe (one compile at a time).
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/containers/FrameMemory.h"
#include "gscompiler/CompileDiagnostics.h"

class CompileLog final : public GSCompiler::CompileLogSink {
 public:
  static constexpr uint32_t kBlockSize = 2048;
  static constexpr uint32_t kDefaultGrowStep = 16;

  CompileLog() : lines_(kBlockSize) {}
  ~CompileLog() override { Reset(); }
  CompileLog(const CompileLog&) = delete;
  CompileLog& operator=(const CompileLog&) = delete;

  void AppendLine(std::string_view line) override;
  std::string ShownName(std::string_view name) const override;
  void ShowNamesEscaped() { namesEscaped_ = true; }
  const char* TakeLine();
  void Reset();

  void SetGrowStep(uint32_t step) { growStep_ = step != 0 ? step : 1; }
  uint32_t Count() const { return count_; }
  uint32_t Capacity() const { return capacity_; }

 private:
  bool Grow();

  Utils::FrameMemory lines_;
  char** queue_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t growStep_ = kDefaultGrowStep;
  uint32_t count_ = 0;
  uint32_t readIndex_ = 0;
  uint32_t writeIndex_ = 0;
  bool namesEscaped_ = false;
};

void CompileLogAppend(CompileLog* log, const char* text);
void GSCompilerResetLog(CompileLog* log);
