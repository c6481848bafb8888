// GSNativeCast: the fast path for an object of exactly the wanted class
// must give the same answer as dynamic_cast for every other object.
#include <gtest/gtest.h>

#include <memory>

#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSNativeCast.h"
#include "gsruntime/GSObject.h"

namespace {

using namespace GSRuntime;

// A native class, one derived from it, and an interface beside them (as
// native classes mix in issuer or host interfaces).
struct Interface {
  virtual ~Interface() = default;
};
struct Native : GSObject {};
struct Derived : Native, Interface {};
struct Other : GSObject {};

TEST(GSNativeCastTest, AgreesWithDynamicCastForExactDerivedAndUnrelatedObjects) {
  Native native;
  Derived derived;
  Other other;
  GSObject plain;
  GSGameObject game;
  GSObjectReference* const objects[] = {&native, &derived, &other, &plain, &game, nullptr};
  for (GSObjectReference* object : objects) {
    SCOPED_TRACE(object == nullptr ? "null" : typeid(*object).name());
    EXPECT_EQ(GSNativeCast<Native>(object), dynamic_cast<Native*>(object));
    EXPECT_EQ(GSNativeCast<const Native>(object), dynamic_cast<const Native*>(object));
    EXPECT_EQ(GSNativeCast<Derived>(object), dynamic_cast<Derived*>(object));
    EXPECT_EQ(GSNativeCast<GSObject>(object), dynamic_cast<GSObject*>(object));
    EXPECT_EQ(GSNativeCast<GSGameObject>(object), dynamic_cast<GSGameObject*>(object));
    EXPECT_EQ(GSNativeCast<Interface>(object), dynamic_cast<Interface*>(object));
    EXPECT_EQ(GSGameObject::FromNative(object), dynamic_cast<GSGameObject*>(object));
  }
  // A derived object seen through its base class keeps its address.
  EXPECT_EQ(GSNativeCast<Native>(static_cast<GSObjectReference*>(&derived)), &derived);
  GSNode* node = &game;
  EXPECT_EQ(GSGameObject::FromNode(node), &game);
  EXPECT_EQ(GSGameObject::FromNode(nullptr), nullptr);
  const auto plainNode = std::make_unique<GSNode>();
  EXPECT_EQ(GSGameObject::FromNode(plainNode.get()), nullptr);
}

}  // namespace
