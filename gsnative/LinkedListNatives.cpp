#include "gsnative/LinkedListNatives.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

constexpr uint32_t kKeySlot = 2;
constexpr uint32_t kValueSlot = 3;
constexpr uint32_t kObjectSlot = 4;

// Field `slot` of an entry's block; 0 outside its instance.
GSValue Field(GSValue entry, uint32_t slot) {
  GSScriptInstance* instance = GSScriptInstance::FromRef(entry);
  const GSValue* at = GSBlockOf(entry) + slot;
  return at < instance->Slots() + instance->slotCount ? *at : 0;
}

std::string_view KeyOf(GSValue entry) {
  const GSString* key = GSString::FromRef(Field(entry, kKeySlot));
  return key != nullptr ? std::string_view(key->text) : std::string_view();
}

const GSObjectReference* ObjectOf(GSValue entry) {
  const GSValue ref = Field(entry, kObjectSlot);
  return ref != 0 ? GSScriptInstance::FromRef(ref)->native : nullptr;
}

bool Equal(GSValue a, GSValue b) {
  return KeyOf(a) == KeyOf(b) &&
         static_cast<uint32_t>(Field(a, kValueSlot)) ==
             static_cast<uint32_t>(Field(b, kValueSlot)) &&
         ObjectOf(a) == ObjectOf(b);
}

GSArray* ArrayArg(GSStack& stack) {
  GSArray* array = nullptr;
  if (!GetObjectParam(stack, 1, array, false)) return nullptr;
  if (array->ElementIsReference()) return array;
  GSNativeRefuse("incorrect parameter type at parameter %d", 1);
  return nullptr;
}

// A tournament tree over positions: each inner node holds the position of
// the smaller of its children's entries (key, then position; null entries
// and taken positions lose to every entry).
class SortTree {
 public:
  SortTree(std::vector<std::string_view>& keys, std::vector<char>& live)
      : keys_(keys), live_(live) {
    size_ = 1;
    while (size_ < keys.size()) size_ <<= 1;
    tree_.assign(2 * size_, kNone);
    for (size_t i = 0; i < keys.size(); ++i) tree_[size_ + i] = live[i] ? i : kNone;
    for (size_t n = size_ - 1; n >= 1; --n) tree_[n] = Better(tree_[2 * n], tree_[2 * n + 1]);
  }

  size_t Smallest() const { return tree_[1]; }
  void Refresh(size_t position) {
    size_t n = size_ + position;
    tree_[n] = live_[position] ? position : kNone;
    for (n >>= 1; n >= 1; n >>= 1) tree_[n] = Better(tree_[2 * n], tree_[2 * n + 1]);
  }

  static constexpr size_t kNone = SIZE_MAX;

 private:
  size_t Better(size_t a, size_t b) const {
    if (a == kNone) return b;
    if (b == kNone) return a;
    const int order = keys_[a].compare(keys_[b]);
    if (order != 0) return order < 0 ? a : b;
    return a < b ? a : b;
  }

  std::vector<std::string_view>& keys_;
  std::vector<char>& live_;
  std::vector<size_t> tree_;
  size_t size_;
};

void SortInternal(GSContext*, GSStack& stack) {
  GSArray* array = ArrayArg(stack);
  if (array == nullptr || array->Size() < 2) return;
  GSValue* elements = array->Data();
  const size_t count = static_cast<size_t>(array->Size());
  std::vector<std::string_view> keys(count);
  std::vector<char> live(count);
  uint64_t keyBytes = 0;
  for (size_t i = 0; i < count; ++i) {
    live[i] = elements[i] != 0;
    if (live[i]) keys[i] = KeyOf(elements[i]);
    keyBytes += kGSBytesPerWorkUnit + keys[i].size();
  }
  // Each entry meets about two comparisons on each level of the tree.
  uint64_t levels = 1;
  while ((size_t{1} << levels) < count) ++levels;
  GSChargeMovedBytes(2 * levels * keyBytes);
  SortTree tree(keys, live);
  for (size_t i = 0; i < count; ++i) {
    const size_t smallest = tree.Smallest();
    if (smallest == SortTree::kNone) return;  // only null elements are left
    if (smallest != i) {
      std::swap(elements[i], elements[smallest]);
      std::swap(keys[i], keys[smallest]);
      std::swap(live[i], live[smallest]);
      tree.Refresh(smallest);
    }
    live[i] = 0;  // position i is final
    tree.Refresh(i);
  }
}

void AddInternal(GSContext*, GSStack& stack) {
  GSArray* array = ArrayArg(stack);
  const GSValue entry = GSNativeArg(stack, 2);
  if (array == nullptr || entry == 0) return;
  if (GSNativeArg(stack, 3) != 0) {
    // Every element is looked at, and a key of equal length compared.
    GSChargeMovedBytes(uint64_t(array->Size()) * (kGSBytesPerWorkUnit + KeyOf(entry).size()));
    for (int32_t i = 0; i < array->Size(); ++i)
      if (array->Data()[i] != 0 && Equal(array->Data()[i], entry)) return;
  }
  const int32_t at = array->Size();
  if (!array->SetSize(at + 1)) return;
  array->Data()[at] = entry;  // the array's count follows
  GSObjectReference::AddRef(entry);
}

}  // namespace

void RegisterLinkedListNatives(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "LinkedList", "$void@LinkedList::SortInternal(LinkedData[])", SortInternal));
  machine.RegisterNative(std::make_unique<GSCNativeFunction>(
      "LinkedList", "$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)", AddInternal));
}
