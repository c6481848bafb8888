// What scripts cannot reach yet: KUID objects are one per KUID in each
// context, and a list that the system hands over locked refuses changes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

#include "NativeCallFrame.h"
#include "RuntimeTestSupport.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOKUIDList.h"
#include "gsnative/KUIDObjectCells.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"
#include "kiv/File.h"

namespace {

struct KUIDClasses {
  KUIDClasses() {
    Kiv::File::Subst(root, VU_SCRIPT_LIBRARIES_DIR);
    machine.Init();
    machine.AddLibraryFolder(root);
    FindScriptClass(machine, "kuid.gsl", "KUID", &gKUIDScriptClass);
    FindScriptClass(machine, "KUIDList.gsl", "KUIDList", &gKUIDListScriptClass);
  }
  ~KUIDClasses() {
    gKUIDScriptClass = nullptr;
    gKUIDListScriptClass = nullptr;
    Kiv::File::Subst(root, Kiv::String());
  }
  const Kiv::PString root{"kuidobjecttest"};
  GSMachine machine;
};

TEST(KUIDObjectsTest, OneObjectPerKUIDAndContext) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDScriptClass, nullptr);
  GSRuntime::GSContext first, second;
  const KUID kuid{5, 7, 3};
  GSOKUID* a = GSOKUID::Create(&first, kuid);
  GSOKUID* again = GSOKUID::Create(&first, kuid);
  GSOKUID* other = GSOKUID::Create(&second, kuid);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, again);
  EXPECT_NE(a, other);
  EXPECT_EQ(GSOKUID::TableSize(), 2u);
  GSRuntime::GSObjectReference::Release(a->GetScriptInstance());
  GSRuntime::GSObjectReference::Release(a->GetScriptInstance());
  GSRuntime::GSObjectReference::Release(other->GetScriptInstance());
  EXPECT_EQ(GSOKUID::TableSize(), 0u);
}

TEST(KUIDObjectsTest, WhatAListNativeReadsOfAKUIDLiesInOneCacheLine) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDScriptClass, nullptr);
  GSRuntime::GSContext context;
  for (int32_t i = 0; i < 3; ++i) {
    GSOKUID* object = GSOKUID::Create(&context, KUID{i, 7, 0});
    ASSERT_NE(object, nullptr);
    GSRuntime::GSScriptInstance* instance =
        GSRuntime::GSScriptInstance::FromRef(object->GetScriptInstance());
    EXPECT_EQ(reinterpret_cast<char*>(instance),
              reinterpret_cast<char*>(object) + KUIDObjectCells::kObjectBytes);
    const auto line = [](const void* at) { return reinterpret_cast<uintptr_t>(at) / 64; };
    const KUID& kuid = *object;
    EXPECT_EQ(line(&kuid), line(&instance->count));
    EXPECT_EQ(line(&kuid.version), line(instance->Slots()));
  }
}

TEST(KUIDObjectsTest, AContextTornDownWithKUIDsStillHeldGivesTheirCellsBack) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDScriptClass, nullptr);
  const size_t chunks = KUIDObjectCells::Get().ChunkCount();
  {
    GSRuntime::GSContext context;
    for (int32_t i = 0; i < 1000; ++i) {
      GSOKUID* object = GSOKUID::Create(&context, KUID{i, 9, 0});
      ASSERT_NE(object, nullptr);
      // Held twice: the teardown deletes the object before its instance.
      GSRuntime::GSObjectReference::AddRef(object->GetScriptInstance());
    }
    EXPECT_EQ(GSOKUID::TableSize(), 1000u);
  }
  EXPECT_EQ(GSOKUID::TableSize(), 0u);
  EXPECT_LE(KUIDObjectCells::Get().ChunkCount(), chunks + 1);
}

TEST(KUIDObjectsTest, LockedListRefusesChanges) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDListScriptClass, nullptr);
  GSRuntime::GSContext context;
  const std::vector<KUID> kuids = {{1, 2, 0}, kNullKUID, {1, 2, 0}};
  GSOKUIDList* list = GSOKUIDList::CreateLocked(&context, kuids);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->IsLocked());
  GSRuntime::GSStack stack;
  list->AddKUID(stack);
  list->RemoveKUID(stack);
  list->Copy(stack);
  list->Clear(stack);
  EXPECT_EQ(print.Count("KUIDList.Copy> list is locked"), 3u);
  EXPECT_EQ(print.Count("KUIDList.Clear> list is locked"), 1u);
  EXPECT_EQ(list->KUIDs(), kuids);
  EXPECT_TRUE(list->Has(kNullKUID));
  GSRuntime::GSObjectReference::Release(list->GetScriptInstance());
}

// Calls `native` of `list` with `arg` as its one argument (the frame takes
// a count of the list with it); what it pushed.
std::optional<GSRuntime::GSValue> CallWith(GSOKUIDList* list,
                                           void (GSOKUIDList::*native)(GSRuntime::GSStack&),
                                           GSRuntime::GSValue arg) {
  GSRuntime::GSObjectReference::AddRef(list->GetScriptInstance());
  GSTest::NativeCallFrame frame(list->GetScriptInstance(), {arg});
  (list->*native)(frame.Stack());
  return frame.Pushed();
}

TEST(KUIDObjectsTest, ListNativesReadEveryFieldOfTheirArgument) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDListScriptClass, nullptr);
  GSRuntime::GSContext context;
  GSOKUIDList* list = GSOKUIDList::Create(&context);
  ASSERT_NE(list, nullptr);
  // Signs and the full width of each field, so that no field borrows bits
  // from its neighbour.
  const KUID kuids[] = {{5, 7, 3},          kNullKUID,          {-33554432, INT_MIN, 127},
                        {0x1FFFFFF, INT_MAX, 0}, {1, -2, 0}, {-2, 1, 127},
                        {INT_MIN, -1, INT_MAX}, {0, 0, -1}};
  std::vector<GSOKUID*> objects;
  for (const KUID& kuid : kuids) {
    GSOKUID* object = GSOKUID::Create(&context, kuid);
    ASSERT_NE(object, nullptr);
    objects.push_back(object);
    EXPECT_EQ(CallWith(list, &GSOKUIDList::HasKUID, object->GetScriptInstance()),
              GSRuntime::GSFromBool(false));
    CallWith(list, &GSOKUIDList::AddKUID, object->GetScriptInstance());
    EXPECT_EQ(list->KUIDs().back(), kuid);
    EXPECT_EQ(CallWith(list, &GSOKUIDList::HasKUID, object->GetScriptInstance()),
              GSRuntime::GSFromBool(true));
  }
  EXPECT_EQ(list->KUIDs(), std::vector<KUID>(std::begin(kuids), std::end(kuids)));
  CallWith(list, &GSOKUIDList::RemoveKUID, objects[4]->GetScriptInstance());
  EXPECT_FALSE(list->Has(kuids[4]));
  EXPECT_EQ(list->KUIDs().size(), std::size(kuids) - 1);
  EXPECT_EQ(print.Count("incorrect parameter type at parameter 1"), 0u);
  for (GSOKUID* object : objects) GSRuntime::GSObjectReference::Release(object->GetScriptInstance());
  GSRuntime::GSObjectReference::Release(list->GetScriptInstance());
}

TEST(KUIDObjectsTest, KUIDInstancesWithoutTheirObjectAreRefused) {
  GSTest::PrintCapture print;
  KUIDClasses classes;
  ASSERT_NE(gKUIDListScriptClass, nullptr);
  ASSERT_NE(gKUIDScriptClass, nullptr);
  GSRuntime::GSContext context;
  GSOKUIDList* list = GSOKUIDList::Create(&context);
  ASSERT_NE(list, nullptr);
  // A KUID made by script code ("new KUID()") has a plain object.
  auto* plain = new GSRuntime::GSObject;
  ASSERT_TRUE(plain->AttachScriptInstance(gKUIDScriptClass, &context));
  // A KUID object gone while its instance is still held.
  GSOKUID* gone = GSOKUID::Create(&context, KUID{4, 4, 0});
  ASSERT_NE(gone, nullptr);
  const GSRuntime::GSValue orphan = gone->GetScriptInstance();
  GSRuntime::GSObjectReference::AddRef(orphan);
  delete gone;
  for (const GSRuntime::GSValue arg : {plain->GetScriptInstance(), orphan}) {
    CallWith(list, &GSOKUIDList::AddKUID, arg);
    EXPECT_EQ(CallWith(list, &GSOKUIDList::HasKUID, arg), std::nullopt);
    CallWith(list, &GSOKUIDList::RemoveKUID, arg);
  }
  EXPECT_EQ(print.Count("incorrect parameter type at parameter 1"), 6u);
  EXPECT_TRUE(list->KUIDs().empty());
  CallWith(list, &GSOKUIDList::AddKUID, 0);
  EXPECT_EQ(print.Count("null object at parameter 1"), 1u);
  GSRuntime::GSObjectReference::Release(orphan);
  GSRuntime::GSObjectReference::Release(plain->GetScriptInstance());
  GSRuntime::GSObjectReference::Release(list->GetScriptInstance());
}

}  // namespace
