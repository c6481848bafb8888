// InstallQuestions: questions the daemon asks a tool while it installs, and
// their answers.
//
// Ask sends notification 2 (u32 clientTransactionID, PString asset name,
// KUID) on the request's connection and waits for the tool's one-way 0x96
// (u32 clientTransactionID, i32 answer) for that id on that connection.
// Callers ask only for a request whose callback byte was 1: a tool without
// a callback could not answer. The answer 2 or 3 means "replace"; 2 is also
// what a tool sends when it has no callback, 4 when the id is not pending
// on its side. Replace() tells them apart from a refusal.
//
// Bounds: the wait ends with kNoAnswer when the connection closes, when the
// daemon gives up its work (DaemonContext::AbandonWork; an install in hand
// when the exit is requested may still ask), or after kAnswerTimeoutMs (10
// minutes: a person may be answering). An answer for an id that is not waiting is dropped.
//
// Threads: any thread; one lock guards the table of waiting questions.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "foundation/text/KUID.h"

class DaemonConnection;
class DaemonContext;
class DaemonRequest;

class InstallQuestions {
 public:
  static constexpr uint32_t kAnswerTimeoutMs = 10 * 60 * 1000;
  static constexpr int32_t kNoAnswer = -1;

  explicit InstallQuestions(DaemonContext& context) : context_(context) {}

  // Asks about `kuid` (named `name`) for `request`; the answer or kNoAnswer.
  int32_t Ask(DaemonRequest& request, std::string_view name, const KUID& kuid);
  // Request 0x96 from `connection`.
  void Answer(const DaemonConnection& connection, uint32_t id, int32_t answer);
  // Close observer: wakes the questions waiting on the connection.
  void OnClosed(const std::shared_ptr<DaemonConnection>& connection);

  static bool Replace(int32_t answer) { return answer == 2 || answer == 3; }

 private:
  struct Pending {
    bool answered = false;
    int32_t answer = kNoAnswer;
  };
  using Key = std::pair<const DaemonConnection*, uint32_t>;

  DaemonContext& context_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<Key, Pending> pending_;
};
