#include "foundation/threads/VandruWorkerCallChain.h"

#include "foundation/threads/CallGuarded.h"
#include "foundation/threads/TCXCallbackCPPVoidPtr.h"
#include "foundation/threads/WorkerThread.h"

// The task a chain posts for its front call. When the queue deletes it
// without running it, the chain learns that its calls were discarded.
class VandruWorkerCallChain::Step : public TCXCallbackCPPVoidPtr<VandruWorkerCallChain> {
 public:
  explicit Step(VandruWorkerCallChain* chain)
      : TCXCallbackCPPVoidPtr(chain, &VandruWorkerCallChain::RunOne), chain_(chain) {}
  ~Step() override {
    if (!ran_) chain_->Discard();
  }
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;

  int Invoke(void* argument) override {
    ran_ = true;
    return TCXCallbackCPPVoidPtr::Invoke(argument);
  }

 private:
  VandruWorkerCallChain* chain_;
  bool ran_ = false;
};

VandruWorkerCallChain::VandruWorkerCallChain(WorkerThread* queue) : queue_(queue) {}

VandruWorkerCallChain::~VandruWorkerCallChain() {
  Wait();
  for (const Call& call : calls_) delete call.callback;
}

WorkerThread& VandruWorkerCallChain::Queue() {
  return queue_ != nullptr ? *queue_ : WorkerThread::Get();
}

void VandruWorkerCallChain::Add(uint32_t flags, TCXCallbackBase* callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(Call{callback, flags | WorkerThread::kAsynchronous});
}

void VandruWorkerCallChain::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_ || calls_.empty()) return;
    discarded_ = false;
    running_ = true;
  }
  RunNext();
}

// Never holds the chain's lock while it posts: the queue's waiters look at
// the chain under the queue's guard.
void VandruWorkerCallChain::RunNext() {
  uint32_t flags = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (calls_.empty()) {
      running_ = false;
      return;
    }
    flags = calls_.front().flags;
  }
  Queue().Post(new Step(this), flags, this, nullptr);
}

void VandruWorkerCallChain::RunOne(void* /*argument*/) {
  TCXCallbackBase* callback = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (calls_.empty()) return;
    callback = calls_.front().callback;
    calls_.pop_front();
  }
  RunGuardedCall(callback);
  delete callback;
  RunNext();
}

void VandruWorkerCallChain::Discard() {
  std::deque<Call> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(calls_);
    discarded_ = true;
    running_ = false;
  }
  for (const Call& call : dropped) delete call.callback;
}

void VandruWorkerCallChain::Wait() {
  if (!IsRunning()) return;
  Queue().RunPendingUntil([this] { return !IsRunning(); });
}

bool VandruWorkerCallChain::IsRunning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

bool VandruWorkerCallChain::WasDiscarded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return discarded_;
}
