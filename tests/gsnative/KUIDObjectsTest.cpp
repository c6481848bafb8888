// What scripts cannot reach yet: KUID objects are one per KUID in each
// context, and a list that the system hands over locked refuses changes.
#include <gtest/gtest.h>

#include <vector>

#include "RuntimeTestSupport.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOKUIDList.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSContext.h"
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

}  // namespace
