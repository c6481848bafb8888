#include "gsruntime/GSString.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <new>

#include "gsruntime/GSThread.h"

namespace GSRuntime {

namespace {

// Clamps [start, end) against `length`; false when end < start.
bool Clamp(int32_t& start, int32_t& end, size_t length) {
  const int32_t size = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
  if (start < 0) start = 0;
  if (end < 0 || end > size) end = size;
  return end >= start;
}

bool Refused() {
  return GSRefuse(ER_StringOutOfBounds);
}

// GSChargeMovedBytes without the call for moves too short to cost a unit
// (most texts scripts make).
inline void Moved(size_t bytes) {
  if (bytes >= kGSBytesPerWorkUnit) GSChargeMovedBytes(bytes);
}

// `head` then `tail`, in storage of exactly that length.
std::string Joined(std::string_view head, std::string_view tail) {
  std::string text;
  text.reserve(head.size() + tail.size());
  text.append(head).append(tail);
  return text;
}

}  // namespace

GSString::GSString(GSAllocationMeter& meter, std::string value)
    : GSObjectReference(KindString), text(std::move(value)), charge_(meter) {}

GSString* GSString::Create(std::string_view value, GSContext* context) {
  return Make(value, {}, context);
}

GSString* GSString::CreateJoined(std::string_view head, std::string_view tail,
                                 GSContext* context) {
  return Make(head, tail, context);
}

GSString* GSString::Make(std::string_view head, std::string_view tail, GSContext* context) {
  if (head.size() > kMaxLength || tail.size() > kMaxLength - head.size()) {
    Refused();
    return nullptr;
  }
  const size_t length = head.size() + tail.size();
  GSAllocationMeter& meter = GSAllocationMeter::Of(context);
  if (!meter.AdmitsAfterSweep(sizeof(GSString) + length)) {
    Refused();
    return nullptr;
  }
  GSString* string = nullptr;
  try {
    string = new GSString(meter, tail.empty() ? std::string(head) : Joined(head, tail));
  } catch (const std::bad_alloc&) {
    Refused();
    return nullptr;
  }
  string->Settle();
  Moved(length);
  string->instance_.Init(string, context);
  if (context != nullptr && string->instance_.header.poolSlot == nullptr) {
    // Untracked, it could outlive its context and the meter it holds bytes on.
    delete string;
    Refused();
    return nullptr;
  }
  return string;
}

GSString::~GSString() {
  instance_.Finish();
}

bool GSString::Regrow(size_t capacity) {
  if (!charge_.Admits(capacity)) return Refused();
  try {
    std::string grown;
    grown.reserve(capacity);
    grown.append(text);
    text.swap(grown);
  } catch (const std::bad_alloc&) {
    return Refused();
  }
  Moved(text.size());
  Settle();
  return true;
}

size_t GSString::Growth(size_t length) const {
  if (length <= text.capacity()) return text.capacity();
  const size_t capacity = std::max(length, std::min(2 * text.capacity(), kMaxLength));
  return capacity > length && !charge_.Admits(capacity) ? length : capacity;
}

bool GSString::Reserve(size_t length) {
  if (length > kMaxLength) return Refused();
  if (length <= text.capacity()) return true;
  return Regrow(Growth(length));
}

bool GSString::Assign(std::string_view value) {
  if (value.size() > kMaxLength) return Refused();
  if (value.size() > text.capacity()) {
    if (!charge_.Admits(value.size())) return Refused();
    try {
      std::string fresh;
      fresh.reserve(value.size());
      fresh.append(value);
      text.swap(fresh);
    } catch (const std::bad_alloc&) {
      return Refused();
    }
    Settle();
  } else {
    text.assign(value.data(), value.size());  // keeps the storage
  }
  Moved(value.size());
  return true;
}

bool GSString::Append(std::string_view value) {
  const size_t size = text.size();
  if (size > kMaxLength || value.size() > kMaxLength - size) return Refused();
  if (size + value.size() > text.capacity()) {
    // A part of the text itself moves with it.
    const std::less<const char*> before;
    const bool inside = !before(value.data(), text.data()) && before(value.data(), text.data() + size);
    const size_t offset = inside ? static_cast<size_t>(value.data() - text.data()) : 0;
    if (!Reserve(size + value.size())) return false;
    if (inside) value = std::string_view(text.data() + offset, value.size());
  }
  text.append(value.data(), value.size());
  Moved(value.size());
  return true;
}

bool GSString::Substring(const GSString& source, int32_t start, int32_t end, GSString& target) {
  if (!Clamp(start, end, source.text.size())) return false;
  return target.Assign(std::string_view(source.text)
                           .substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

bool GSString::Splice(GSString& target, int32_t start, int32_t end, const GSString* insert) {
  if (!Clamp(start, end, target.text.size())) return false;
  const std::string_view inserted = insert != nullptr ? std::string_view(insert->text) : "";
  const size_t head = static_cast<size_t>(start);
  const size_t cut = static_cast<size_t>(end - start);
  const size_t tail = target.text.size() - head - cut;
  if (inserted.size() > kMaxLength - head - tail) return Refused();
  const size_t length = head + inserted.size() + tail;
  if (length <= target.text.capacity() && insert != &target) {
    target.text.replace(head, cut, inserted.data(), inserted.size());  // keeps the storage
    Moved(inserted.size() + tail);
    return true;
  }
  // New storage, read from the old text (which `inserted` may be).
  const size_t capacity = target.Growth(length);
  if (!target.charge_.Admits(capacity)) return Refused();
  try {
    std::string fresh;
    fresh.reserve(capacity);
    fresh.append(target.text, 0, head).append(inserted).append(target.text, head + cut, tail);
    target.text.swap(fresh);
  } catch (const std::bad_alloc&) {
    return Refused();
  }
  target.Settle();
  Moved(length);
  return true;
}

}  // namespace GSRuntime
