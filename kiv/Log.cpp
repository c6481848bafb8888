#include "kiv/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "kiv/String.h"

namespace Kiv {

namespace {

struct LogState {
  std::mutex mutex;
  Log::Sink sink;
};

// Never destroyed: lines may be logged while statics are torn down.
LogState& State() {
  static LogState* state = new LogState;
  return *state;
}

}  // namespace

void Log::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  String line = StringPrintfV(format, args);
  va_end(args);
  Write(line);
}

void Log::Write(std::string_view line) {
  std::string text(line);
  if (text.empty() || text.back() != '\n') text.push_back('\n');
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.sink) {
    state.sink(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

Log::Sink Log::SetSink(Sink sink) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  Sink old = std::move(state.sink);
  state.sink = std::move(sink);
  return old;
}

bool Log::WritesToStandardError() {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return !state.sink;
}

}  // namespace Kiv
