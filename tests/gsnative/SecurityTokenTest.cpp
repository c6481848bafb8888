// Security tokens: issuing, merging and re-issuing grant tables, and the
// token objects that read their rights from script arrays. The game-object
// natives that hand tokens to scripts come with the scriptable objects.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "NativeCallFrame.h"
#include "RuntimeTestSupport.h"
#include "gsnative/GSOKUID.h"
#include "gsnative/GSOSecurityToken.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsnative/SecurityTokenIssuer.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSString.h"
#include "kiv/File.h"
#include "tests/support/CapturedLog.h"

namespace {

using GSRuntime::GSArray;
using GSRuntime::GSObjectReference;

RightSet Rights(std::initializer_list<const char*> names) {
  RightSet set;
  for (const char* name : names) set.insert(Kiv::PString(name));
  return set;
}

const TokenIssuer kOwner{NewTokenIssuerId(), KUID{10, 1, 0}};
const TokenIssuer kDelegate{NewTokenIssuerId(), KUID{20, 2, 0}};
const TokenIssuer kStranger{NewTokenIssuerId(), KUID{30, 3, 0}};
const KUID kTarget{40, 4, 0};

TEST(SecurityGrantsTest, ReIssueNeedsAnIssuerOrADuplicatingDelegate) {
  const SecurityGrants plain = SecurityGrants::Issue(kOwner, kDelegate.kuid, Rights({"a"}));
  EXPECT_FALSE(plain.ReIssue(kDelegate, kTarget, Rights({"a"})).has_value());
  EXPECT_FALSE(plain.ReIssue(kStranger, kTarget, Rights({"a"})).has_value());
  // Rights are names with their case: "Duplicate-Token" is another right.
  const SecurityGrants upper =
      SecurityGrants::Issue(kOwner, kDelegate.kuid, Rights({"Duplicate-Token"}));
  EXPECT_FALSE(upper.ReIssue(kDelegate, kTarget, Rights({"a"})).has_value());

  // The issuer hands the target exactly the rights it asks for.
  const auto byOwner = plain.ReIssue(kOwner, kTarget, Rights({"x", "y"}));
  ASSERT_TRUE(byOwner.has_value());
  EXPECT_EQ(byOwner->Entries().at(kOwner.id).grantees.at(kTarget), Rights({"x", "y"}));
  EXPECT_TRUE(byOwner->HasRight(kOwner.id, kDelegate.kuid, Kiv::PString("a")));
}

TEST(SecurityGrantsTest, MergeUnitesEntriesAndLookupsNeedWholeKUIDs) {
  SecurityGrants merged = SecurityGrants::Issue(kOwner, kTarget, Rights({"a"}));
  const SecurityGrants same = merged;
  merged.MergeFrom(same);
  EXPECT_EQ(merged, same);
  merged.MergeFrom(SecurityGrants::Issue(kOwner, kTarget, Rights({"b"})));
  merged.MergeFrom(SecurityGrants::Issue(kDelegate, kTarget, Rights({"c"})));
  EXPECT_EQ(merged.Entries().at(kOwner.id).grantees.at(kTarget), Rights({"a", "b"}));
  EXPECT_TRUE(merged.HasRight(kDelegate.id, kTarget, Kiv::PString("c")));
  EXPECT_FALSE(merged.HasRight(kDelegate.id, kTarget, Kiv::PString("a")));
  EXPECT_FALSE(merged.HasRight(kOwner.id, KUID{40, 4, 1}, Kiv::PString("a")));
  EXPECT_EQ(merged.FindIssuerByKUID(kDelegate.kuid), kDelegate.id);
  EXPECT_EQ(merged.FindIssuerByKUID(KUID{20, 2, 1}), 0u);
}

// A scripted game object of an asset (none for the null KUID).
class TestIssuer : public GSRuntime::GSGameObject, public SecurityTokenIssuer {
 public:
  explicit TestIssuer(const KUID& kuid) : kuid_(kuid) {}
  bool GetTokenAssetKUID(KUID* out) const override {
    *out = kuid_;
    return !kuid_.IsNull();
  }
  GSRuntime::GSContext* GetTokenContext() const override { return Context(); }

 private:
  KUID kuid_;
};

// The token objects and natives, with the classes of the built libraries.
class SecurityTokenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Kiv::File::Subst(root_, VU_SCRIPT_LIBRARIES_DIR);
    machine_.Init();
    RegisterSecurityTokenIssuerNatives(machine_);
    machine_.AddLibraryFolder(root_);
    ASSERT_TRUE(FindScriptClass(machine_, "SecurityToken.gsl", "SecurityToken",
                                &gSecurityTokenScriptClass));
    ASSERT_TRUE(FindScriptClass(machine_, "kuid.gsl", "KUID", &gKUIDScriptClass));
    ASSERT_TRUE(
        FindScriptClass(machine_, "VandruGameObject.gsl", "VandruGameObject", &gameObjectClass_));
  }
  void TearDown() override {
    for (GSObjectReference* object : held_) GSObjectReference::Release(object->GetScriptInstance());
    gSecurityTokenScriptClass = nullptr;
    gKUIDScriptClass = nullptr;
    Kiv::File::Subst(root_, Kiv::String());
  }

  TestIssuer* Issuer(const TokenIssuer& issuer) {
    auto* object = new TestIssuer(issuer.kuid);
    EXPECT_TRUE(object->AttachScriptInstance(gameObjectClass_, &context_));
    return Hold(object);
  }
  GSObjectReference* Kuid(const KUID& kuid) { return Hold(GSOKUID::Create(&context_, kuid)); }

  using Native = void (SecurityTokenIssuer::*)(GSRuntime::GSStack&);

  // Runs a native of `object` on a frame holding `args`; what it pushed,
  // or nothing.
  static std::optional<GSRuntime::GSValue> Run(SecurityTokenIssuer& object, Native native,
                                               std::initializer_list<GSObjectReference*> args) {
    std::vector<GSRuntime::GSValue> values;
    for (GSObjectReference* arg : args) values.push_back(arg ? arg->GetScriptInstance() : 0);
    GSTest::NativeCallFrame frame(0, values);
    (object.*native)(frame.Stack());
    return frame.Pushed();
  }
  // The token a native pushed (held by the test), else null.
  GSOSecurityToken* Token(SecurityTokenIssuer& object, Native native,
                          std::initializer_list<GSObjectReference*> args) {
    const std::optional<GSRuntime::GSValue> result = Run(object, native, args);
    if (!result || *result == 0) return nullptr;
    GSRuntime::GSObjectReference* token = GSRuntime::GSScriptInstance::FromRef(*result)->native;
    return Hold(dynamic_cast<GSOSecurityToken*>(token));
  }
  // What a bool native pushed: 1 or 0, and -1 when nothing.
  static int Validate(SecurityTokenIssuer& object, Native native,
                      std::initializer_list<GSObjectReference*> args) {
    const std::optional<GSRuntime::GSValue> result = Run(object, native, args);
    if (!result) return -1;
    return GSRuntime::GSInt(*result) != 0 ? 1 : 0;
  }

  // A reference array of the given elements (null for a null element); the
  // test holds it.
  GSArray* Array(std::initializer_list<GSObjectReference*> elements) {
    GSArray* array = Hold(GSArray::Create(&context_, true));
    int32_t index = 0;
    for (GSObjectReference* element : elements)
      GSArray::SetElement(*array, index++, element ? element->GetScriptInstance() : 0, true,
                          nullptr);
    return array;
  }
  GSObjectReference* String(const char* text) {
    return Hold(GSRuntime::GSString::Create(text, &context_));
  }
  template <typename T>
  T* Hold(T* object) {
    EXPECT_NE(object, nullptr);
    held_.push_back(object);
    return object;
  }

  GSTest::PrintCapture print_;
  const Kiv::PString root_{"securitytokentest"};
  GSMachine machine_;
  GSRuntime::GSContext context_;
  GSRuntime::GSClass* gameObjectClass_ = nullptr;
  std::vector<GSObjectReference*> held_;
};

TEST_F(SecurityTokenTest, IssueTakesOnlyStringElementsAsRights) {
  GSArray* rights = Array({String("open"), nullptr, Array({}), String("open")});
  GSOSecurityToken* token = Hold(GSOSecurityToken::Issue(&context_, kOwner, kTarget, rights));
  EXPECT_EQ(token->Grants().Entries().at(kOwner.id).grantees.at(kTarget), Rights({"open"}));
  EXPECT_EQ(token->GetScriptClass(), gSecurityTokenScriptClass);
}

TEST_F(SecurityTokenTest, MergeSkipsWhatIsNotATokenAndNeedsOne) {
  GSOSecurityToken* first =
      Hold(GSOSecurityToken::Issue(&context_, kOwner, kTarget, Array({String("a")})));
  GSOSecurityToken* second =
      Hold(GSOSecurityToken::Issue(&context_, kDelegate, kTarget, Array({String("b")})));
  EXPECT_EQ(GSOSecurityToken::Merge(&context_, Array({nullptr, String("x")})), nullptr);
  EXPECT_EQ(GSOSecurityToken::Merge(&context_, nullptr), nullptr);
  GSOSecurityToken* self = Hold(GSOSecurityToken::Merge(&context_, Array({first, first})));
  EXPECT_EQ(self->Grants(), first->Grants());
  GSOSecurityToken* both =
      Hold(GSOSecurityToken::Merge(&context_, Array({nullptr, first, String("x"), second})));
  EXPECT_TRUE(both->HasRight(kOwner.id, kTarget, Kiv::PString("a")));
  EXPECT_TRUE(both->HasRight(kDelegate.id, kTarget, Kiv::PString("b")));
}

TEST_F(SecurityTokenTest, UnauthorisedReIssueLogsOneLineAndGivesNull) {
  GSOSecurityToken* token = Hold(GSOSecurityToken::Issue(
      &context_, kOwner, kDelegate.kuid, Array({String("duplicate-token"), String("a")})));
  VUTest::CapturedLog log;
  EXPECT_EQ(
      GSOSecurityToken::ReIssueToken(*token, &context_, kStranger, kTarget, Array({String("a")})),
      nullptr);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0],
            "GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security "
            "token (<kuid:30:3>)");
  // No right asked for: null, and nothing to report.
  EXPECT_EQ(GSOSecurityToken::ReIssueToken(*token, &context_, kDelegate, kTarget, Array({nullptr})),
            nullptr);
  GSOSecurityToken* handed = Hold(GSOSecurityToken::ReIssueToken(
      *token, &context_, kDelegate, kTarget, Array({String("a"), String("z")})));
  EXPECT_TRUE(handed->HasRight(kDelegate.id, kTarget, Kiv::PString("a")));
  EXPECT_FALSE(handed->HasRight(kDelegate.id, kTarget, Kiv::PString("z")));
  EXPECT_EQ(log.Lines().size(), 1u);
}

TEST_F(SecurityTokenTest, NativesDelegateTheIntersectionOfRights) {
  using I = SecurityTokenIssuer;
  TestIssuer& owner = *Issuer(kOwner);
  TestIssuer& delegate = *Issuer(kDelegate);
  TestIssuer& target = *Issuer({0, kTarget});
  GSOSecurityToken* issued =
      Token(owner, &I::IssueSecurityToken,
            {Kuid(kDelegate.kuid), Array({String("duplicate-token"), String("a"), String("b")})});
  ASSERT_NE(issued, nullptr);
  EXPECT_EQ(Validate(delegate, &I::ValidateByObject, {issued, &owner, String("a")}), 1);
  EXPECT_EQ(Validate(delegate, &I::ValidateByKUID, {issued, Kuid(kOwner.kuid), String("b")}), 1);
  EXPECT_EQ(Validate(delegate, &I::ValidateByKUID, {issued, Kuid(kTarget), String("b")}), 0);
  EXPECT_EQ(Validate(target, &I::ValidateByObject, {issued, &owner, String("a")}), 0);

  GSOSecurityToken* handed = Token(delegate, &I::ReIssueSecurityToken,
                                   {issued, Kuid(kTarget), Array({String("b"), String("c")})});
  ASSERT_NE(handed, nullptr);
  EXPECT_EQ(Validate(target, &I::ValidateByObject, {handed, &delegate, String("b")}), 1);
  EXPECT_EQ(Validate(target, &I::ValidateByObject, {handed, &delegate, String("c")}), 0);

  GSOSecurityToken* merged =
      Token(target, &I::MergeSecurityTokens, {Array({issued, nullptr, handed})});
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(Validate(target, &I::ValidateByObject, {merged, &delegate, String("b")}), 1);
}

TEST_F(SecurityTokenTest, NativesOfAnObjectWithoutAssetPushNothing) {
  using I = SecurityTokenIssuer;
  TestIssuer& owner = *Issuer(kOwner);
  TestIssuer& none = *Issuer({0, kNullKUID});
  GSOSecurityToken* issued =
      Token(owner, &I::IssueSecurityToken, {Kuid(kTarget), Array({String("a")})});
  ASSERT_NE(issued, nullptr);
  EXPECT_EQ(Token(none, &I::IssueSecurityToken, {Kuid(kTarget), Array({String("a")})}), nullptr);
  EXPECT_EQ(Token(none, &I::MergeSecurityTokens, {Array({issued})}), nullptr);
  EXPECT_EQ(Validate(none, &I::ValidateByObject, {issued, &owner, String("a")}), -1);
  // A null token or KUID stops the call before anything is made.
  EXPECT_EQ(Token(owner, &I::IssueSecurityToken, {nullptr, Array({})}), nullptr);
  EXPECT_EQ(Validate(owner, &I::ValidateByKUID, {nullptr, Kuid(kOwner.kuid), nullptr}), -1);
  EXPECT_EQ(print_.Count("null object at parameter 1"), 2u);
}

}  // namespace
