#include "gsruntime/GSConstantStrings.h"

#include <cstdint>

#include "gsruntime/GSContext.h"
#include "gsruntime/GSReference.h"

namespace GSRuntime {

GSValue GSConstantStrings::Make(std::string_view literal, GSContext& context, Entry* pair) {
  GSString* made = GSString::Create(literal, &context);
  if (made == nullptr || pool_.BeingDestroyed())
    return made != nullptr ? made->GetScriptInstance() : 0;
  // An empty way of the pair, else each way in turn: a constant used again
  // before its first use ends keeps both its strings.
  uint8_t& turn = turns_[(pair - entries_) / 2];
  Entry* entry = pair[0].instance == nullptr   ? pair
                 : pair[1].instance == nullptr ? pair + 1
                                               : pair + turn;
  turn = static_cast<uint8_t>(entry == pair);
  const GSValue ref = made->GetScriptInstance();
  if (entry->instance != nullptr) GSObjectReference::Release(entry->instance->Block0());
  entry->key = literal.data();
  entry->string = made;
  entry->instance = GSScriptInstance::FromRef(ref);
  ++entry->instance->count;
  return ref;
}

}  // namespace GSRuntime
