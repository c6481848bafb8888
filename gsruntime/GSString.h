// GSRuntime::GSString: a script string, a byte string with its embedded
// script instance (kind 2).
//
// Create makes one object (string and instance together) with count 1,
// registered in `context`'s pool when a context is given; null when memory
// runs out. The text is a plain byte string that grows geometrically.
// Destroying the string (through Release at count 0, or the pool
// teardown) frees the text and leaves the pool.
//
// Substring and Splice clamp their bounds: a start below 0 counts as 0; an
// end below 0 or past the length counts as the length; an end below the
// start (or memory running out) answers false and changes nothing.
// - Substring(source, start, end, target): target's text = source's
//   characters [start, end).
// - Splice(target, start, end, insert): target's text = its characters
//   before start, then insert's text (nothing for null), then its
//   characters from end on.
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gsruntime/GSObjectReference.h"
#include "gsruntime/GSScriptInstance.h"

namespace GSRuntime {

class GSContext;

class GSString : public GSObjectReference {
 public:
  static GSString* Create(std::string_view text, GSContext* context);
  ~GSString() override;

  GSValue GetScriptInstance() const override { return GSFromBlock(&instance_.slot0); }

  // The string behind a non-null reference, or null when the reference
  // designates something else.
  static GSString* FromRef(GSValue ref);

  static bool Substring(const GSString& source, int32_t start, int32_t end, GSString& target);
  static bool Splice(GSString& target, int32_t start, int32_t end, const GSString* insert);

  std::string text;

 private:
  explicit GSString(std::string_view text);
  GSEmbeddedInstance instance_;
};

}  // namespace GSRuntime
