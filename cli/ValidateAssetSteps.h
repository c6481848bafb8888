// ValidateAssetSteps: the "validate" of one installed asset as a chain of
// daemon requests that its caller drives, so that one thread can keep the
// chains of several assets in flight.
//
// The requests, their order and what is made of their replies are those of
// ValidateAsset (cli/ValidateAsset.h): handle (0x1E, the daemon's messages
// into the log), open for edit (0x20, only while the handle is not open;
// made in place, waiting), record (0x15), validation (0x26, when the folder
// calls for one; the daemon's messages into the log), release (0x1F). Each
// request leaves as VADClient::Transact sends it (connecting, and starting
// the daemon, as Transact would); each waits for the reply of the one
// before it.
//
// Start sends the first request. Advance takes the reply of the request in
// flight (waiting for it when it is not in yet) and sends the next one, or
// ends the chain: Finished, and Looked holds ValidateAsset's answer. Ready
// tells without waiting whether the reply is in, so Advance would not wait.
// Given a done signal, it is set whenever the reply of this chain's request
// comes in or the request fails (VADClientTransaction::SetDoneSignal): a
// thread driving several chains waits on one signal for any of them.
//
// LostRequests counts the requests of this chain that failed for want of
// the daemon (VADClient::LostRequestCountOfThisThread read around each), so
// a thread running several chains tells which one lost the daemon.
//
// Every call belongs to one thread. The destructor of an unfinished chain
// waits for the reply of its request in flight and releases its handle.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "assetdb/client/ReplySignal.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADRequest.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"
#include "kiv/PString.h"

class ResultsLog;

class ValidateAssetSteps {
 public:
  // `log` outlives the chain; `done` may be null.
  ValidateAssetSteps(const KUID& kuid, ResultsLog& log, std::shared_ptr<ReplySignal> done);
  ~ValidateAssetSteps();
  ValidateAssetSteps(const ValidateAssetSteps&) = delete;
  ValidateAssetSteps& operator=(const ValidateAssetSteps&) = delete;

  void Start();
  bool Ready() const;
  void Advance();

  bool Finished() const { return step_ == Step::kDone; }
  bool Looked() const { return looked_; }
  uint64_t LostRequests() const { return lost_; }

 private:
  enum class Step { kIdle, kHandle, kRecord, kValidation, kRelease, kDone };

  // Starts request_ (its body written) and moves to `next`.
  void Send(uint32_t code, ResultsLog* log, Step next);
  // Finishes request_: Transact's answer, the reply rewound.
  bool Receive();
  void TakeHandle();
  void TakeRecord();
  // Ends the look at the asset: pops its subject, releases the handle.
  void EndLook();
  void Release();

  const KUID kuid_;
  ResultsLog& log_;
  const std::shared_ptr<ReplySignal> done_;
  std::optional<VADRequest> request_;
  Step step_ = Step::kIdle;
  VADAssetHandleRef ref_;
  Kiv::PString contentSet_;
  Kiv::File::Path folder_;
  bool subjectPushed_ = false;
  bool looked_ = false;
  uint64_t lost_ = 0;
};
