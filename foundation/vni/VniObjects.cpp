#include "foundation/vni/VniObjects.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct VniObject {
  uint32_t object_class = VNI_CLASS_NONE;
  uint32_t references = 1;
  std::string text;                       // Strings only.
  std::vector<VNIHandle> elements;        // Arrays only.
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
    if (found == objects_.end() || --found->second.references != 0) return;
    const std::vector<VNIHandle> elements = std::move(found->second.elements);
    objects_.erase(found);
    // Elements are never arrays: releasing them goes no deeper.
    for (VNIHandle element : elements) ReleaseLocked(element);
  }

  bool SetElement(VNIHandle handle, uint32_t index, VNIHandle element) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto array = objects_.find(handle);
    if (array == objects_.end() || array->second.object_class != VNI_CLASS_ARRAY) return false;
    if (index >= array->second.elements.size()) return false;
    if (element != 0) {
      auto found = objects_.find(element);
      if (found == objects_.end() || found->second.object_class == VNI_CLASS_ARRAY) return false;
      ++found->second.references;
    }
    ReleaseLocked(std::exchange(array->second.elements[index], element));
    return true;
  }

  uint32_t Size(VNIHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto array = objects_.find(handle);
    if (array == objects_.end()) return 0;
    return static_cast<uint32_t>(array->second.elements.size());
  }

  VNIHandle Element(VNIHandle handle, uint32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto array = objects_.find(handle);
    if (array == objects_.end() || index >= array->second.elements.size()) return 0;
    const VNIHandle element = array->second.elements[index];
    if (element != 0) ++objects_.at(element).references;
    return element;
  }

  // The text of a string; stays where it is while the string lives (map
  // nodes do not move and strings never change).
  const char* Text(VNIHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end() || found->second.object_class != VNI_CLASS_STRING) return nullptr;
    return found->second.text.c_str();
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
  // Releases one reference of an object that is not an array.
  void ReleaseLocked(VNIHandle handle) {
    auto found = objects_.find(handle);
    if (found != objects_.end() && --found->second.references == 0) objects_.erase(found);
  }

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

VNIHandle VNIAllocArray(uint32_t count) {
  VniObject object;
  object.object_class = VNI_CLASS_ARRAY;
  try {
    object.elements.assign(count, 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return Table().Add(std::move(object));
}

bool VNISetArrayElement(VNIHandle array, uint32_t index, VNIHandle element) {
  return Table().SetElement(array, index, element);
}

uint32_t VNIGetArraySize(VNIHandle array) {
  return Table().Size(array);
}

VNIHandle VNIGetArrayElement(VNIHandle array, uint32_t index) {
  return Table().Element(array, index);
}

const char* VNIGetStringText(VNIHandle string) {
  return Table().Text(string);
}

namespace {

int SetArrayElementForPlugins(VNIHandle array, uint32_t index, VNIHandle element) {
  return VNISetArrayElement(array, index, element) ? 1 : 0;
}

}  // namespace

const VNIFunctions* VniFunctionTable() {
  static const VNIFunctions functions = {
      VNIAllocString,     VNIAllocLibrary,           VNIRelease,
      VNIAllocArray,      SetArrayElementForPlugins, VNIGetArraySize,
      VNIGetArrayElement, VNIGetObjectClass,         VNIGetStringText};
  return &functions;
}

size_t VniObjectCount() {
  return Table().Count();
}
