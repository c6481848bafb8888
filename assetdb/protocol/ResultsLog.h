// ResultsLog: the thread-safe, ordered list of result messages that every
// command, daemon request and validation step reports into.
//
// Each message has a severity (kInformation 1, kWarning 2, kError 3,
// kSuccess 4; other values are stored and carried but counted nowhere), a
// final text and an optional subject (normally the asset's KUID as a
// VandruPropertyAssetID named "AssetID", see AssetSubject). The log counts
// warnings, errors and success notices, keeps a `viewed` flag (1 when new
// and after every full read, 0 after every change) and a stack of default
// subjects: a message added without a subject takes the stack's top.
//
// AddResult takes a text in which "$" tags are already looked up; it fills
// the parameters of an optional soup of named text tags into it: for each
// tag in order, "$(NAME)" (NAME the tag's name upper-cased, matched in any
// letter case) becomes the tag's value. Inserted values are never scanned
// again (foundation/SubstituteParams.h).
//
// Stream form of a message batch (how the daemon returns a request's
// messages, and how the command host returns a job's), little-endian:
//   u32 status   0: records follow (the writer always writes 0); any other
//                value: no records (the daemon had none to send)
//   u32 n        only when the status is 0: the number of records
//   n records    u32 severity; text as TStream::WriteString; subject as
//                WritePropertyRef
// WriteMessages writes the records from a 0-based first index to the end (a
// first index past the end writes n = 0). A text longer than 65535 bytes is
// cut to at most 65535 bytes, at a UTF-8 character boundary, so the record
// stays readable; the log keeps the whole text.
// ReadMessages appends the records of one batch. The bytes are untrusted:
// the count n is never used to allocate; records are read one at a time and
// reading stops at the first damaged record (a short read, or a length that
// the stream refuses), which is not appended. Records before it stay. A
// damaged batch (including a missing status word, and any stream that
// already holds an error) answers false, leaves the stream's error code set
// and adds one error message ("$vad_results_batch_damaged", no subject) so
// that the loss shows in the printed log. A non-zero status adds nothing and
// answers true. Either way `viewed` becomes 0.
//
// Request map: a process-wide map from a daemon request id to a log, so that
// the messages the daemon sends for a request land in the request's log. The
// map does not own the logs. A log removes every entry of its own when it is
// destroyed. FindByRequest's answer is only safe to use while the log's
// owner keeps it alive; a thread other than the owner's delivers messages
// with ReadMessagesForRequest, which holds the map's lock while it reads, so
// the log cannot be destroyed in the middle (its destructor waits).
//
// Announcements ("list-updated" after AddResult and ReadMessages,
// "list-destroyed" from the destructor, value = the log's address) go to the
// log's NuMessageRecipient listeners while the log's lock is held.
//
// Threads: every operation runs under the log's lock (a recursive
// CountedMutex) for its whole duration; Lock and Unlock let a reader hold it
// across several calls (the printer does). Assign locks this log, then the
// other: two threads must not assign two logs to each other at once. Lock
// order: the request map's lock may be held while a log's lock is taken,
// never the other way round; do not register, find or unregister requests
// while holding a log's lock.
//
// Failure: no operation fails except ReadMessages on damaged bytes (above);
// memory exhaustion is the allocator's (std::bad_alloc).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "assetdb/protocol/NuMessageRecipient.h"
#include "assetdb/protocol/ResultList.h"
#include "foundation/base/CountedMutex.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/text/KUID.h"
#include "kiv/String.h"

class Soup;
class TStream;

class ResultsLog : public NuMessageRecipient {
 public:
  static constexpr uint32_t kInformation = 1;
  static constexpr uint32_t kWarning = 2;
  static constexpr uint32_t kError = 3;
  static constexpr uint32_t kSuccess = 4;

  ResultsLog() = default;
  ~ResultsLog() override;
  ResultsLog(const ResultsLog&) = delete;
  ResultsLog& operator=(const ResultsLog&) = delete;

  // Appends one message; `parameters` (may be null) holds named text tags.
  void AddResult(uint32_t severity, const PropertyRef& subject, Kiv::String text,
                 const Soup* parameters = nullptr);

  void PushSubject(const PropertyRef& subject);
  // Removes the top of the subject stack; nothing when it is empty.
  void PopSubject();

  // Makes this log a copy of `other`: messages and counters (not the
  // subject stack); `viewed` becomes 0. Nothing when `other` is this log.
  void Assign(ResultsLog& other);

  // Writes the messages from `firstIndex` on as one batch; `viewed` becomes 1.
  void WriteMessages(TStream& stream, uint32_t firstIndex);
  // Reads one batch and appends its messages; false for a damaged batch.
  bool ReadMessages(TStream& stream);

  // Calls `visit` for each message in order, under the lock; `viewed`
  // becomes 1 (a full read).
  void VisitMessages(const std::function<void(const ResultMessage&)>& visit);
  // Copies of the messages, in order (for callers that look them over
  // without holding the lock). Does not change `viewed`.
  std::vector<ResultMessage> Messages() const;

  uint32_t MessageCount() const;
  uint32_t GetWarningCount() const;
  uint32_t GetErrorCount() const;
  uint32_t GetSuccessCount() const;
  bool IsViewed() const;
  uint32_t SubjectDepth() const;

  // Holds the log's lock across several calls (recursive).
  void Lock() const { lock_.Lock(); }
  void Unlock() const { lock_.Unlock(); }

  // --- The process-wide request map.
  // Enters `log` under `id`, replacing an earlier entry of that id.
  static void RegisterRequest(uint32_t id, ResultsLog* log);
  // The log registered for `id`, or null.
  static ResultsLog* FindByRequest(uint32_t id);
  static void UnregisterRequest(uint32_t id);
  // Removes every entry that points at `log`.
  static void UnregisterLog(const ResultsLog* log);
  // Reads one batch from `stream` into the log registered for `id`, holding
  // the map's lock meanwhile. Answers 0 when no log is registered for the id
  // (nothing is read), 1 when the batch was read whole, -1 when it was
  // damaged (see ReadMessages).
  static int ReadMessagesForRequest(uint32_t id, TStream& stream);

 private:
  class Guard;

  void AppendLocked(ResultMessage message);
  void AnnounceLocked(const Kiv::PString& name);

  mutable CountedMutex lock_;
  ResultList messages_;
  uint32_t warningCount_ = 0;
  uint32_t errorCount_ = 0;
  uint32_t successCount_ = 0;
  bool viewed_ = true;
  std::vector<PropertyRef> subjectStack_;
};

// A subject for messages about an asset: a new VandruPropertyAssetID named
// "AssetID" holding `asset`.
PropertyRef AssetSubject(const KUID& asset);
