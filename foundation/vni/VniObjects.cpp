#include "foundation/vni/VniObjects.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

struct VniObject {
  uint32_t object_class = VNI_CLASS_NONE;
  uint32_t references = 1;
  std::string text;                       // Strings only.
  VNILibraryFunction function = nullptr;  // Libraries only.
  void* user_data = nullptr;
};

class VniObjectTable {
 public:
  VNIHandle Add(VniObject&& object) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Handles are 32-bit; a full table gives no more (memory runs out long before).
    if (objects_.size() >= UINT32_MAX - 1) return 0;
    while (next_ == 0 || objects_.count(next_) != 0) ++next_;
    const VNIHandle handle = next_++;
    try {
      objects_.emplace(handle, std::move(object));
    } catch (const std::bad_alloc&) {
      return 0;
    }
    return handle;
  }

  void Release(VNIHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end()) return;
    if (--found->second.references == 0) objects_.erase(found);
  }

  // Adds a reference to `handle` when it names an object of `object_class`;
  // answers the object (its address stays valid while the reference is held,
  // as map nodes do not move) or null.
  const VniObject* Hold(VNIHandle handle, uint32_t object_class) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end() || found->second.object_class != object_class) return nullptr;
    ++found->second.references;
    return &found->second;
  }

  uint32_t ClassOf(VNIHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    return found == objects_.end() ? VNI_CLASS_NONE : found->second.object_class;
  }

  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_.size();
  }

 private:
  std::mutex mutex_;
  std::unordered_map<VNIHandle, VniObject> objects_;
  VNIHandle next_ = 1;
};

// Never destroyed: plug-ins and other threads may still release objects
// while the process ends.
VniObjectTable& Table() {
  static VniObjectTable* table = new VniObjectTable;
  return *table;
}

}  // namespace

VNIHandle VNIAllocString(const char* text) {
  if (text == nullptr) return 0;
  VniObject object;
  object.object_class = VNI_CLASS_STRING;
  try {
    object.text = text;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return Table().Add(std::move(object));
}

VNIHandle VNIAllocLibrary(VNILibraryFunction function, void* user_data) {
  if (function == nullptr) return 0;
  VniObject object;
  object.object_class = VNI_CLASS_LIBRARY;
  object.function = function;
  object.user_data = user_data;
  return Table().Add(std::move(object));
}

void VNIRelease(VNIHandle object) {
  if (object != 0) Table().Release(object);
}

VNIHandle VNICallLibraryFunction(VNIHandle library, VNIHandle function_name, VNIHandle argument) {
  const VniObject* target = Table().Hold(library, VNI_CLASS_LIBRARY);
  if (target == nullptr) return 0;
  const VniObject* name = Table().Hold(function_name, VNI_CLASS_STRING);
  if (name == nullptr) {
    Table().Release(library);
    return 0;
  }
  const VNIHandle result = target->function(target->user_data, name->text.c_str(), argument);
  Table().Release(function_name);
  Table().Release(library);
  return result;
}

uint32_t VNIGetObjectClass(VNIHandle object) {
  return Table().ClassOf(object);
}

const VNIFunctions* VniFunctionTable() {
  static const VNIFunctions functions = {VNIAllocString, VNIAllocLibrary, VNIRelease};
  return &functions;
}

size_t VniObjectCount() {
  return Table().Count();
}
