// The soup payload of script messages, and the hook through which the
// runtime reaches the script class "Soup".
//
// The script "Soup" class and its native side belong to a library above the
// runtime; that library hands the runtime a GSSoupClassHook
// (GSSetSoupClassHook) when it registers its natives. Without a hook no
// object counts as a soup: a payload argument other than null is refused,
// and a message's payload gets no script object.
//
// GSPayloadFromArgument(ref, payload): the payload of SendMessage and
// PostMessage from their soup argument. A null `ref` leaves `payload` empty
// and answers true; a Soup object gives a deep copy of its soup without the
// top-level tags whose names begin with "__" (later changes of either soup
// do not reach the other); any other object answers false and leaves
// `payload` as it was.
//
// GSMakePayloadObject(context, soup): a new locked Soup object over `soup`
// (shared) in `context`, carrying the count of its creation; 0 without a
// hook or when no object could be made.
//
// Not thread-safe: the runtime runs on one thread. Set the hook before
// scripts run.
#pragma once

#include <memory>

#include "foundation/soup/Soup.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSContext;

struct GSSoupClassHook {
  // The soup of the object `ref` designates (never null); false when it is
  // not a Soup object.
  bool (*soupOf)(GSValue ref, Soup& soup);
  // See GSMakePayloadObject.
  GSValue (*makeLocked)(GSContext* context, const Soup& soup);
};

// `hook` must outlive its use; null removes it.
void GSSetSoupClassHook(const GSSoupClassHook* hook);

bool GSPayloadFromArgument(GSValue ref, std::shared_ptr<Soup>& payload);
GSValue GSMakePayloadObject(GSContext* context, const Soup& soup);

}  // namespace GSRuntime
