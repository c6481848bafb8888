#include "gscompiler/CompileLog.h"

#include <cstring>
#include <new>

#include "foundation/text/ResultLine.h"

void CompileLog::AppendLine(std::string_view line) {
  char* copy = static_cast<char*>(lines_.Allocate(line.size() + 1, 2));
  if (copy == nullptr) return;
  if (!line.empty()) std::memcpy(copy, line.data(), line.size());
  copy[line.size()] = '\0';
  if (count_ == capacity_ && !Grow()) return;
  queue_[writeIndex_] = copy;
  writeIndex_ = (writeIndex_ + 1) % capacity_;
  ++count_;
}

std::string CompileLog::ShownName(std::string_view name) const {
  if (!namesEscaped_) return std::string(name);
  return CopyResultLine(Kiv::String(name));
}

// Makes room for growStep_ more lines, the oldest line moving to index 0.
bool CompileLog::Grow() {
  const uint64_t newCapacity = uint64_t(capacity_) + growStep_;
  if (newCapacity > UINT32_MAX) return false;
  char** grown = new (std::nothrow) char*[newCapacity];
  if (grown == nullptr) return false;
  for (uint32_t i = 0; i < count_; ++i) grown[i] = queue_[(readIndex_ + i) % capacity_];
  delete[] queue_;
  queue_ = grown;
  capacity_ = uint32_t(newCapacity);
  readIndex_ = 0;
  writeIndex_ = count_;
  return true;
}

const char* CompileLog::TakeLine() {
  if (count_ == 0) return nullptr;
  const char* line = queue_[readIndex_];
  readIndex_ = (readIndex_ + 1) % capacity_;
  --count_;
  return line;
}

void CompileLog::Reset() {
  delete[] queue_;
  queue_ = nullptr;
  capacity_ = count_ = readIndex_ = writeIndex_ = 0;
  lines_.FreeBlocks();
}

void CompileLogAppend(CompileLog* log, const char* text) {
  if (log == nullptr || text == nullptr) return;
  log->AppendLine(text);
}

void GSCompilerResetLog(CompileLog* log) {
  if (log != nullptr) log->Reset();
}
