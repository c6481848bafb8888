#include <gtest/gtest.h>

#include <string>

#include "foundation/vni/VniObjects.h"

namespace {

VNIHandle EchoName(void* user_data, const char* function_name, VNIHandle argument) {
  auto* seen = static_cast<std::string*>(user_data);
  *seen = std::string(function_name) + "/" + std::to_string(argument);
  return VNIAllocString("result");
}

// Gives back the caller's references while it runs, as another thread may.
VNIHandle ReleaseWhileCalled(void* user_data, const char* function_name, VNIHandle) {
  auto* handles = static_cast<VNIHandle*>(user_data);
  VNIRelease(handles[0]);
  VNIRelease(handles[1]);
  handles[2] = static_cast<VNIHandle>(std::string(function_name).size());
  return 0;
}

TEST(VniObjects, CallsReachTheLibraryAndCheckTheirObjects) {
  const size_t objects = VniObjectCount();
  std::string seen;
  const VNIHandle library = VNIAllocLibrary(EchoName, &seen);
  const VNIHandle name = VNIAllocString("Go");
  ASSERT_NE(library, 0u);
  ASSERT_NE(name, 0u);
  EXPECT_EQ(VNIGetObjectClass(name), static_cast<uint32_t>(VNI_CLASS_STRING));

  const VNIHandle result = VNICallLibraryFunction(library, name, 7);
  EXPECT_EQ(seen, "Go/7");
  EXPECT_EQ(VNIGetObjectClass(result), static_cast<uint32_t>(VNI_CLASS_STRING));
  VNIRelease(result);

  // Swapped or stale handles make no call.
  seen.clear();
  EXPECT_EQ(VNICallLibraryFunction(name, library, 0), 0u);
  EXPECT_EQ(VNICallLibraryFunction(library, 0, 0), 0u);
  EXPECT_EQ(seen, "");

  VNIRelease(name);
  VNIRelease(library);
  EXPECT_EQ(VNIGetObjectClass(library), static_cast<uint32_t>(VNI_CLASS_NONE));
  EXPECT_EQ(VNICallLibraryFunction(library, name, 0), 0u);
  VNIRelease(library);  // Released twice: nothing happens.
  VNIRelease(0);
  EXPECT_EQ(VNIAllocString(nullptr), 0u);
  EXPECT_EQ(VNIAllocLibrary(nullptr, nullptr), 0u);
  EXPECT_EQ(VniObjectCount(), objects);
}

TEST(VniObjects, ObjectsOutliveAReleaseDuringTheCall) {
  const size_t objects = VniObjectCount();
  VNIHandle handles[3] = {};
  handles[0] = VNIAllocLibrary(ReleaseWhileCalled, handles);
  handles[1] = VNIAllocString("LongEnoughToLiveOnTheHeap-LongEnoughToLiveOnTheHeap");
  EXPECT_EQ(VNICallLibraryFunction(handles[0], handles[1], 0), 0u);
  EXPECT_EQ(handles[2], 51u);  // The name was still readable.
  EXPECT_EQ(VniObjectCount(), objects);
}

TEST(VniObjects, ArraysHoldStringsAndLetThemGoWithTheArray) {
  const size_t objects = VniObjectCount();
  const VNIHandle array = VNIAllocArray(2);
  const VNIHandle inner = VNIAllocArray(1);
  const VNIHandle text = VNIAllocString("x");
  ASSERT_NE(array, 0u);
  EXPECT_EQ(VNIGetObjectClass(array), static_cast<uint32_t>(VNI_CLASS_ARRAY));
  EXPECT_EQ(VNIGetArraySize(array), 2u);
  EXPECT_EQ(VNIGetArraySize(text), 0u);

  // Refused: past the end, an array element (no cycles), a stale handle,
  // a target that is not an array.
  EXPECT_FALSE(VNISetArrayElement(array, 2, text));
  EXPECT_FALSE(VNISetArrayElement(array, 0, inner));
  EXPECT_FALSE(VNISetArrayElement(array, 0, array));
  EXPECT_FALSE(VNISetArrayElement(array, 0, 0xFFFFFFF0u));
  EXPECT_FALSE(VNISetArrayElement(text, 0, text));

  EXPECT_TRUE(VNISetArrayElement(array, 1, text));
  EXPECT_TRUE(VNISetArrayElement(array, 1, text));  // The same element again keeps one count.
  VNIRelease(text);                                 // The array's reference keeps it.
  const VNIHandle element = VNIGetArrayElement(array, 1);
  EXPECT_EQ(element, text);
  EXPECT_STREQ(VNIGetStringText(element), "x");
  EXPECT_EQ(VNIGetStringText(array), nullptr);
  EXPECT_EQ(VNIGetArrayElement(array, 0), 0u);
  EXPECT_EQ(VNIGetArrayElement(array, 9), 0u);
  VNIRelease(element);

  VNIRelease(array);
  VNIRelease(inner);
  EXPECT_EQ(VNIGetObjectClass(text), static_cast<uint32_t>(VNI_CLASS_NONE));
  EXPECT_EQ(VniObjectCount(), objects);
}

}  // namespace
