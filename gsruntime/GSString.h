// GSRuntime::GSString: a script string, a byte string with its embedded
// script instance (kind 2).
//
// No text is longer than kMaxLength (16,777,216) bytes, and the bytes of a
// string (the object and its text's capacity) are held on the meter of its
// context (GSAllocationMeter.h). Whatever would pass either bound, or
// cannot get the memory, is refused (noted with ER_StringOutOfBounds) and
// changes nothing. Text is copied through these functions, which check
// both bounds and charge the bytes they move to the running budget; code
// that edits `text` directly may change characters or shorten it, never
// lengthen it.
//
// Create makes one object (string and instance together) with count 1,
// registered in `context`'s pool when a context is given; null when
// refused. CreateJoined makes the string of `head` followed by `tail`, its
// storage exactly that long.
//
// - Reserve(length): room for `length` bytes, so that appends up to it
//   keep their storage; the capacity grows geometrically (at least
//   doubling, as far as the cap and the meter allow).
// - Assign(value), Append(value): the text becomes `value`, or gains it at
//   its end (`value` may be part of the text itself).
//
// Substring and Splice clamp their bounds: a start below 0 counts as 0; an
// end below 0 or past the length counts as the length; an end below the
// start (or a refusal) answers false and changes nothing.
// - Substring(source, start, end, target): target's text = source's
//   characters [start, end).
// - Splice(target, start, end, insert): target's text = its characters
//   before start, then insert's text (nothing for null), then its
//   characters from end on.
//
// Destroying the string (through Release at count 0, or the pool teardown)
// frees the text, gives its bytes back to the meter and leaves the pool.
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

class GSContext;

class GSString : public GSObjectReference {
 public:
  static constexpr size_t kMaxLength = size_t{1} << 24;

  static GSString* Create(std::string_view text, GSContext* context);
  static GSString* CreateJoined(std::string_view head, std::string_view tail, GSContext* context);
  ~GSString() override;

  GSValue GetScriptInstance() const override { return GSFromBlock(&instance_.slot0); }

  // The string behind a non-null reference, or null when the reference
  // designates something else.
  static GSString* FromRef(GSValue ref);

  bool Reserve(size_t length);
  bool Assign(std::string_view value);
  bool Append(std::string_view value);

  static bool Substring(const GSString& source, int32_t start, int32_t end, GSString& target);
  static bool Splice(GSString& target, int32_t start, int32_t end, const GSString* insert);

  std::string text;

 private:
  GSString(GSAllocationMeter& meter, std::string value);
  // Create and CreateJoined: the string of `head` then `tail` in `context`.
  static GSString* Make(std::string_view head, std::string_view tail, GSContext* context);
  // Moves the text into new storage of `capacity` bytes (at least its
  // length); false when refused.
  bool Regrow(size_t capacity);
  // The capacity for `length` bytes: the present one when it suffices, else
  // at least double it as far as the cap and the meter allow.
  size_t Growth(size_t length) const;
  void Settle() { charge_.Set(sizeof(GSString) + text.capacity()); }

  GSMeterCharge charge_;
  GSEmbeddedInstance instance_;
};

// Inline: string instructions and every native that reads a string
// argument start with it.
inline GSString* GSString::FromRef(GSValue ref) {
  if (ref == 0) return nullptr;
  GSObjectReference* native = GSScriptInstance::FromRef(ref)->native;
  if (native == nullptr || native->GetKind() != KindString) return nullptr;
  return static_cast<GSString*>(native);
}

}  // namespace GSRuntime
