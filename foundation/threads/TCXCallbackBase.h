// A deferred call: the unit of work of the worker queue and of call chains.
//
// A TCXCallbackBase is posted to a WorkerThread (or added to a
// VandruWorkerCallChain), which owns it from then on and deletes it after it
// ran, or without running it when the task is cancelled or the queue stops.
// Invoke is called at most once, with the argument the task was posted with.
// The base's Invoke does nothing and answers -1; kinds that call something
// override it. Invoke must not throw: an exception that escapes it ends the
// process when the exception guard is on (see CallGuarded.h).
#pragma once

class TCXCallbackBase {
 public:
  virtual int Invoke(void* /*argument*/) { return -1; }
  virtual ~TCXCallbackBase() = default;

 protected:
  TCXCallbackBase() = default;
  TCXCallbackBase(const TCXCallbackBase&) = default;
  TCXCallbackBase& operator=(const TCXCallbackBase&) = default;
};
