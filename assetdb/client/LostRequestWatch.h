// LostRequestWatch: whether a daemon request of the calling thread was lost
// for want of a connection while the watch lived
// (VADClient::LostRequestCountOfThisThread rose since it was made).
//
// A request whose connection ended answers as a refusal would (no handle,
// no record, no entry); a command asks the watch before it builds a claim
// on such an answer ("Unknown AssetID.", "Asset is not local."), and makes
// none when the connection was lost: the dispatcher then says so
// (cli/Dispatcher.h).
//
// Reads only this thread's count; one thread uses a watch.
#pragma once

#include <cstdint>

#include "assetdb/client/VADClient.h"

class LostRequestWatch {
 public:
  LostRequestWatch() : before_(VADClient::LostRequestCountOfThisThread()) {}

  bool Lost() const { return VADClient::LostRequestCountOfThisThread() != before_; }

 private:
  const uint64_t before_;
};
