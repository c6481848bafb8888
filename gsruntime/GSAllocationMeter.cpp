#include "gsruntime/GSAllocationMeter.h"

#include "gsruntime/GSContext.h"
#include "gsruntime/GSInterpreter.h"
#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

uint64_t refusals = 0;
GSResult lastRefusal = ER_Done;

// Constant-initialised and trivially destroyed, so strings made without a
// context may come and go at any time, static destruction included.
GSAllocationMeter unowned;

}  // namespace

GSAllocationMeter& GSAllocationMeter::Of(GSContext* context) {
  return context != nullptr ? context->Meter() : unowned;
}

void GSChargeMovedBytes(uint64_t bytes) {
  gsRunBudgetUsed += bytes / kGSBytesPerWorkUnit;
}

bool GSRefuse(GSResult code) {
  ++refusals;
  lastRefusal = code;
  return false;
}

uint64_t GSRefusalCount() {
  return refusals;
}

GSResult GSLastRefusal() {
  return lastRefusal;
}

}  // namespace GSRuntime
