// The engine's log: one process-wide sink for diagnostic lines.
//
// Lines go to standard error by default. A sink can be installed (the
// tool's start-up and tests do). Printf and Write are thread-safe: each line
// reaches the sink whole, one at a time, ending in exactly one newline added
// when the text does not already end in one (nothing else is added). The
// sink is called under the log's lock, so it must not log itself. Printf
// formats texts of any length; a null format writes an empty line.
#pragma once

#include <functional>
#include <string_view>

namespace Kiv {

class Log {
 public:
  using Sink = std::function<void(std::string_view line)>;
  static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static void Write(std::string_view line);
  // Installs a sink; an empty one restores standard error. Answers the old one.
  static Sink SetSink(Sink sink);
  // True while no sink is installed (lines go to standard error).
  static bool WritesToStandardError();
};

}  // namespace Kiv
