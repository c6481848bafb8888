// SourceNamesOnSignal: while one exists, SIGINT, SIGTERM and SIGHUP give
// every texture source a conversion holds under its temporary name its
// name back (GiveHeldSourceNamesBack, HeldSourceNames.h) before they end
// the process: the handler does only that, then raises the signal again
// with its default action, so the process ends with the status the signal
// gives. The three are blocked while the handler runs. A signal that was
// ignored when the scope began stays ignored. Destruction puts back the
// actions it found.
//
// Threads: made and destroyed on one thread, one at a time; the signals may
// reach any thread.
#pragma once

#include <signal.h>

#include <iterator>

class SourceNamesOnSignal {
 public:
  SourceNamesOnSignal();
  ~SourceNamesOnSignal();
  SourceNamesOnSignal(const SourceNamesOnSignal&) = delete;
  SourceNamesOnSignal& operator=(const SourceNamesOnSignal&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[std::size(kSignals)] = {};
};
