#include "gsruntime/GSString.h"

#include <climits>
#include <new>

namespace GSRuntime {

namespace {

// Clamps [start, end) against `length`; false when end < start.
bool Clamp(int32_t& start, int32_t& end, size_t length) {
  const int32_t size = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
  if (start < 0) start = 0;
  if (end < 0 || end > size) end = size;
  return end >= start;
}

}  // namespace

GSString::GSString(std::string_view value) : GSObjectReference(KindString), text(value) {}

GSString* GSString::Create(std::string_view value, GSContext* context) {
  GSString* string = nullptr;
  try {
    string = new GSString(value);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  string->instance_.Init(string, context);
  return string;
}

GSString::~GSString() {
  instance_.Finish();
}

GSString* GSString::FromRef(GSValue ref) {
  if (ref == 0) return nullptr;
  GSObjectReference* native = GSScriptInstance::FromRef(ref)->native;
  if (native == nullptr || native->GetKind() != KindString) return nullptr;
  return static_cast<GSString*>(native);
}

bool GSString::Substring(const GSString& source, int32_t start, int32_t end, GSString& target) {
  if (!Clamp(start, end, source.text.size())) return false;
  try {
    target.text = source.text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool GSString::Splice(GSString& target, int32_t start, int32_t end, const GSString* insert) {
  if (!Clamp(start, end, target.text.size())) return false;
  try {
    const std::string inserted = insert != nullptr ? insert->text : std::string();
    target.text.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), inserted);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace GSRuntime
