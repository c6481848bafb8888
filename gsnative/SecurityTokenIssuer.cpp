#include "gsnative/SecurityTokenIssuer.h"

#include <memory>

#include "gsnative/GSOKUID.h"
#include "gsnative/GSOSecurityToken.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSStack.h"

using namespace GSRuntime;

namespace {

void PushToken(GSStack& stack, GSOSecurityToken* token) {
  stack.PushObject(gSecurityTokenScriptClass, token);
}

// Whether `token` grants `right` (argument 3) under `issuer` to `grantee`.
void PushHasRight(GSStack& stack, const GSOSecurityToken& token, uint64_t issuer,
                  const KUID& grantee) {
  Kiv::PString right;
  if (!CheckStringParam(stack, 3, right, true)) return;
  stack.Push(GSFromBool(issuer != 0 && token.HasRight(issuer, grantee, right)));
}

}  // namespace

void SecurityTokenIssuer::IssueSecurityToken(GSStack& stack) {
  KUID self;
  if (!GetTokenAssetKUID(&self)) return;
  GSOKUID* grantee = nullptr;
  if (!GetObjectParam(stack, 1, grantee, false)) return;
  const GSArray* rights = GSArray::FromRef(GSNativeArg(stack, 2));
  PushToken(stack, GSOSecurityToken::Issue(GetTokenContext(), {issuerId_, self}, *grantee, rights));
}

void SecurityTokenIssuer::ReIssueSecurityToken(GSStack& stack) {
  KUID self;
  if (!GetTokenAssetKUID(&self)) return;
  GSOSecurityToken* token = nullptr;
  GSOKUID* target = nullptr;
  if (!GetObjectParam(stack, 1, token, false) || !GetObjectParam(stack, 2, target, false)) return;
  const GSArray* rights = GSArray::FromRef(GSNativeArg(stack, 3));
  PushToken(stack, GSOSecurityToken::ReIssueToken(*token, GetTokenContext(), {issuerId_, self},
                                                  *target, rights));
}

void SecurityTokenIssuer::MergeSecurityTokens(GSStack& stack) {
  KUID self;
  if (!GetTokenAssetKUID(&self)) return;
  const GSArray* tokens = GSArray::FromRef(GSNativeArg(stack, 1));
  PushToken(stack, GSOSecurityToken::Merge(GetTokenContext(), tokens));
}

void SecurityTokenIssuer::ValidateByObject(GSStack& stack) {
  KUID self;
  if (!GetTokenAssetKUID(&self)) return;
  GSOSecurityToken* token = nullptr;
  SecurityTokenIssuer* issuer = nullptr;
  if (!GetObjectParam(stack, 1, token, false) || !GetObjectParam(stack, 2, issuer, false)) return;
  PushHasRight(stack, *token, issuer->issuerId_, self);
}

void SecurityTokenIssuer::ValidateByKUID(GSStack& stack) {
  KUID self;
  if (!GetTokenAssetKUID(&self)) return;
  GSOSecurityToken* token = nullptr;
  GSOKUID* issuer = nullptr;
  if (!GetObjectParam(stack, 1, token, false) || !GetObjectParam(stack, 2, issuer, false)) return;
  PushHasRight(stack, *token, token->FindIssuerByKUID(*issuer), self);
}

void RegisterSecurityTokenIssuerNatives(GSMachine& machine) {
  using Method = void (SecurityTokenIssuer::*)(GSStack&);
  struct Entry {
    const char* signature;
    Method method;
  };
  static const Entry kNatives[] = {
      {"$SecurityToken@VandruGameObject::IssueSecurityToken(KUID,string[])",
       &SecurityTokenIssuer::IssueSecurityToken},
      {"$SecurityToken@VandruGameObject::IssueSecurityToken(SecurityToken,KUID,string[])",
       &SecurityTokenIssuer::ReIssueSecurityToken},
      {"$SecurityToken@VandruGameObject::MergeSecurityTokens(SecurityToken[])",
       &SecurityTokenIssuer::MergeSecurityTokens},
      {"$bool@VandruGameObject::Validate(SecurityToken,VandruGameObject,string)",
       &SecurityTokenIssuer::ValidateByObject},
      {"$bool@VandruGameObject::Validate(SecurityToken,KUID,string)",
       &SecurityTokenIssuer::ValidateByKUID},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(std::make_unique<GSCPPNativeFunction<SecurityTokenIssuer>>(
        "VandruGameObject", e.signature, e.method));
}
