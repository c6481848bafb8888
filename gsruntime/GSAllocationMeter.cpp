#include "gsruntime/GSAllocationMeter.h"

#include <utility>

#include "gsruntime/GSContext.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

GSResult lastRefusal = ER_Done;

}  // namespace

GSAllocationMeter& GSAllocationMeter::Of(GSContext* context) {
  if (context != nullptr) return context->Meter();
  // Made on first use and never destroyed, so strings made without a
  // context may come and go at any time, static destruction included.
  static GSAllocationMeter& unowned = *new GSAllocationMeter;
  return unowned;
}

void GSAllocationMeter::KeepWhileHeld(MPRef<ReferenceCountMP> holder, uint64_t bytes) {
  if (bytes == 0) return;
  kept_.push_back(Kept{std::move(holder), bytes});
  if (kept_.size() >= 2 * keptAfterSweep_ + 64) Sweep();
}

void GSAllocationMeter::Sweep() {
  size_t to = 0;
  for (Kept& kept : kept_) {
    if (kept.holder->RefCount() == 1) {
      live_ -= kept.bytes;
      continue;
    }
    kept_[to++] = std::move(kept);
  }
  kept_.resize(to);
  keptAfterSweep_ = to;
}

void GSNativeCharge::Set(GSContext* context, uint64_t bytes) {
  if (meter_ == nullptr) meter_ = &GSAllocationMeter::Of(context);
  meter_->Release(bytes_);
  meter_->live_ += bytes;
  bytes_ = bytes;
}

void GSNativeCharge::KeepWhileHeld(MPRef<ReferenceCountMP> holder) {
  if (meter_ == nullptr || bytes_ == 0) return;
  meter_->KeepWhileHeld(std::move(holder), bytes_);
  bytes_ = 0;
}

void GSChargeMovedBytes(uint64_t bytes) {
  gsRunBudgetUsed += bytes / kGSBytesPerWorkUnit;
}

bool GSRefuse(GSResult code) {
  ++gsRefusals;
  lastRefusal = code;
  return false;
}

GSResult GSLastRefusal() {
  return lastRefusal;
}

}  // namespace GSRuntime
