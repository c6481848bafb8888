#include "gsruntime/GSConstantStrings.h"

#include <cstdint>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSString.h"

namespace GSRuntime {

namespace {

// Whether nothing but the table holds the kept string `ref` (0: none).
bool Free(GSValue ref) {
  return ref != 0 && GSScriptInstance::FromRef(ref)->count == 1;
}

}  // namespace

GSValue GSConstantStrings::Take(std::string_view literal, GSContext& context) {
  if (context.Pool().BeingDestroyed()) {
    GSString* made = GSString::Create(literal, &context);
    return made != nullptr ? made->GetScriptInstance() : 0;
  }
  const uintptr_t address = reinterpret_cast<uintptr_t>(literal.data());
  Entry* pair = entries_ + ((address ^ (address >> 6)) % kSlots & ~size_t{1});
  for (Entry* entry = pair; entry != pair + 2; ++entry) {
    if (entry->key != literal.data() || !Free(entry->ref) ||
        std::string_view(entry->string->text) != literal)
      continue;
    const GSValue ref = entry->ref;
    ++GSScriptInstance::FromRef(ref)->count;
    if (literal.size() >= kGSBytesPerWorkUnit) GSChargeMovedBytes(literal.size());
    return ref;
  }
  GSString* made = GSString::Create(literal, &context);
  if (made == nullptr) return 0;
  // An empty way of the pair, else each way in turn: a constant used again
  // before its first use ends keeps both its strings.
  uint8_t& turn = turns_[(pair - entries_) / 2];
  Entry* entry = pair[0].ref == 0 ? pair : pair[1].ref == 0 ? pair + 1 : pair + turn;
  turn = static_cast<uint8_t>(entry == pair);
  const GSValue ref = made->GetScriptInstance();
  if (entry->ref != 0) GSObjectReference::Release(entry->ref);
  entry->key = literal.data();
  entry->string = made;
  entry->ref = ref;
  ++GSScriptInstance::FromRef(ref)->count;
  return ref;
}

}  // namespace GSRuntime
