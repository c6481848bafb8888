#include "gsruntime/GSMessage.h"

#include <new>

namespace GSRuntime {

GSMessageRef GSMessage::Create() {
  GSMessage* message = new (std::nothrow) GSMessage;
  return message != nullptr ? GSMessageRef(message) : GSMessageRef();
}

GSMessageRef GSMessage::Clone() const {
  GSMessageRef copy = Create();
  if (!copy) return copy;
  copy->major = major;
  copy->minor = minor;
  copy->source = source;
  copy->destination = destination;
  copy->due = due;
  copy->payload = payload;
  return copy;
}

uint32_t GSDelayMilliseconds(float seconds) {
  const double ms = static_cast<double>(seconds) * 1000.0;
  if (!(ms >= 1.0)) return 0;  // NaN, negative, or under a millisecond
  if (ms >= static_cast<double>(GSMessage::kDueMask)) return GSMessage::kDueMask;
  return static_cast<uint32_t>(ms);
}

}  // namespace GSRuntime
