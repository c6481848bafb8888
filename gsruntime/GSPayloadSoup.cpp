#include "gsruntime/GSPayloadSoup.h"

namespace GSRuntime {

namespace {

const GSSoupClassHook* soupClassHook = nullptr;

bool IsReservedName(const Kiv::PString& name) {
  return name.View().starts_with("__");
}

}  // namespace

void GSSetSoupClassHook(const GSSoupClassHook* hook) {
  soupClassHook = hook;
}

bool GSPayloadFromArgument(GSValue ref, std::shared_ptr<Soup>& payload) {
  if (ref == 0) {
    payload.reset();
    return true;
  }
  Soup source;
  if (soupClassHook == nullptr || !soupClassHook->soupOf(ref, source)) return false;
  auto copy = std::make_shared<Soup>();
  Soup::Copy(*copy, source);
  // From the last tag down: removing a tag moves only those behind it, and
  // every tag with a reserved name goes, repeated names included.
  for (uint32_t i = copy->CountTags(); i-- > 0;) {
    const Kiv::PString name = copy->GetIndexedTagName(i);
    if (IsReservedName(name)) copy->RemoveNamedTag(name);
  }
  payload = std::move(copy);
  return true;
}

GSValue GSMakePayloadObject(GSContext* context, const Soup& soup) {
  if (soupClassHook == nullptr) return 0;
  return soupClassHook->makeLocked(context, soup);
}

}  // namespace GSRuntime
