#include "RouterPump.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gsruntime/GSNode.h"
#include "gsruntime/GSRouter.h"

uint64_t PumpRouter(GSRouter& router, double seconds, double step,
                    const std::function<void(double)>& beforeTick) {
  const uint64_t total = static_cast<uint64_t>(std::llround(std::max(seconds, 0.0) * 1000.0));
  const uint64_t tick = std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(step * 1000.0)));
  const float elapsed = static_cast<float>(tick) / 1000.0f;
  uint64_t ticks = 0;
  // Kept from tick to tick, so that a tick allocates nothing.
  std::vector<GSRuntime::GSMessageRef> messages;
  std::vector<uint32_t> ids;
  for (uint64_t passed = 0; passed < total && router.HasWork(); passed += tick, ++ticks) {
    if (beforeTick) beforeTick(static_cast<double>(tick) / 1000.0);
    router.AdvanceClock(tick);
    router.TakePosted(messages);
    for (const GSRuntime::GSMessageRef& message : messages) router.Send(message);
    router.TakeDue(messages);
    for (const GSRuntime::GSMessageRef& message : messages) router.Send(message);
    messages.clear();  // delivered messages go now, as they did with the tick
    router.TakeScheduled(ids);
    for (uint32_t id : ids)
      if (GSRuntime::GSNode* node = router.FindNode(id)) node->Update(elapsed);
  }
  return ticks;
}
