// DaemonHttpRequest: a web request that the asset-database daemon performs
// for this program (the program never talks to the internet itself).
//
// Start (request 0xE6; body: byte 0, the URL built from the record as an
// interned string, u32 mode, u32 0xFFFFFFFF, an empty binary soup; reply:
// u64 handle, all ones when absent, then a status record) always answers a
// new request. One with a daemon handle enters the process-wide registry,
// so that status notifications (code 4: u64 handle, status record) reach it
// through DispatchStatus; Start installs DispatchStatus as the client's
// web-status hook. A start that failed (no handle) is not registered:
// nothing can address it.
//
// Status record on the wire: u8 done (a short read counts as done); u32
// second word; u32 result (0 is success); u32 third word; string result
// path; interned name. Each u32 reads as 0 when the reply runs short.
// ReadStatus reads one record; ApplyStatus reads the whole record first,
// then stores it under the registry's lock, unless the request is done and
// the record is not: a done request stays done, whichever of a reply and a
// pushed status came last.
//
// Poll: a request whose status is done answers it without asking the
// daemon; otherwise it asks (request 0xE8, body u64 handle, reply a status
// record) without holding the lock, and applies the reply. GetResult polls
// and answers the result word; GetResultPath polls and answers the result
// path and name (true when the path is not empty); IsDone polls while the
// status is not done and answers the done flag. Asking on every call, and
// not only until a first status has come, matters: a status the daemon
// pushes just after its start reply can reach the reader thread before the
// request is registered, and is then lost. A done status is final: a
// status that is not done (a start or poll reply that a pushed final status
// overtook) never replaces it. Close posts request
// 0xE7 with the handle (when there is one) and takes the request out of the
// registry; Delete closes and frees it.
//
// Every wait on a request ends: a request that cannot reach the daemon is
// done, with result kResultNoDaemon, when its start gave no handle or when
// a poll fails (the connection is gone, and the daemon forgets its requests
// with it); and a request that is not done kTimeoutMs (10 minutes, enough
// for any download the daemon serves; SetTimeoutForTests changes it) after
// its start is done, with result kResultTimedOut, and the daemon is no
// longer asked about it. So a caller that waits for IsDone never waits for
// ever.
//
// Threads: a request belongs to the thread that started it; the daemon
// client's reader thread applies pushed status records through
// DispatchStatus. One recursive process-wide lock guards the registry and
// every read and write of a request's status. Only the owner frees a
// request (Delete), after which no notification can reach it.
#pragma once

#include <cstdint>

#include "assetdb/protocol/URLRecord.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class TStream;

struct DaemonHttpStatus {
  bool done = false;
  uint32_t result = 0;
  uint32_t second = 0;
  uint32_t third = 0;
  Kiv::String resultPath;
  Kiv::PString name;
};

class DaemonHttpRequest {
 public:
  static constexpr uint64_t kNoHandle = ~uint64_t(0);
  static constexpr uint32_t kModeDownload = 0;
  static constexpr uint32_t kModeQuery = 2;
  // Results of requests that ended on this side.
  static constexpr uint32_t kResultNoDaemon = 0xFFFFFFFEu;
  static constexpr uint32_t kResultTimedOut = 0xFFFFFFFFu;
  static constexpr uint64_t kDefaultTimeoutMs = 10 * 60 * 1000;

  DaemonHttpRequest(const DaemonHttpRequest&) = delete;
  DaemonHttpRequest& operator=(const DaemonHttpRequest&) = delete;

  static DaemonHttpRequest* Start(const UrlRecord& url, uint32_t mode);
  static void Delete(DaemonHttpRequest* request);
  // The notification path: the status record in `stream` for `handle`; a
  // handle that is not registered is ignored.
  static void DispatchStatus(uint64_t handle, TStream& stream);
  static void ApplyStatus(TStream& stream, DaemonHttpRequest& request);
  static DaemonHttpStatus ReadStatus(TStream& stream);

  void Poll(DaemonHttpStatus& out);
  uint32_t GetResult();
  bool GetResultPath(Kiv::String& path, Kiv::PString& name);
  bool IsDone();
  void Close();

  uint64_t GetHandle() const { return handle_; }
  bool StatusReceived() const;
  const UrlRecord& GetUrl() const { return url_; }

  static void SetTimeoutForTests(uint64_t ms);
  static uint32_t RegisteredCount();

 private:
  DaemonHttpRequest(uint64_t handle, const UrlRecord& url);
  ~DaemonHttpRequest() = default;

  // Under the lock: ends the request on this side with `result`.
  void EndLocally(uint32_t result);
  bool TimedOut() const;

  uint64_t handle_;
  bool statusReceived_ = false;
  bool registered_ = false;
  DaemonHttpStatus status_;
  UrlRecord url_;
  uint64_t startMs_;
};
