#include "gsnative/GSOSecurityToken.h"

#include <memory>
#include <new>
#include <utility>

#include "assetdb/client/VADClient.h"
#include "foundation/base/LogMessage.h"
#include "gsnative/AssetModifiedFlag.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

using namespace GSRuntime;

GSClass* gSecurityTokenScriptClass = nullptr;

namespace {

// The native object behind a non-null reference element, or null.
GSObjectReference* NativeOf(GSValue ref) {
  if (ref == 0) return nullptr;
  return GSScriptInstance::FromRef(ref)->native;
}

}  // namespace

uint64_t GSOSecurityToken::HeldBytes(const SecurityGrants& grants) {
  uint64_t bytes = sizeof(GSOSecurityToken);
  for (const auto& [id, issuer] : grants.Entries()) {
    bytes += kEntryBytes;
    for (const auto& [kuid, rights] : issuer.grantees) {
      bytes += kEntryBytes;
      for (const Kiv::PString& right : rights) bytes += kEntryBytes + right.Length();
    }
  }
  return bytes;
}

GSOSecurityToken* GSOSecurityToken::Make(GSContext* context, SecurityGrants grants) {
  const uint64_t bytes = HeldBytes(grants);
  GSChargeMovedBytes(bytes);
  auto* token = new (std::nothrow) GSOSecurityToken(std::move(grants));
  if (token == nullptr) return nullptr;
  if (!token->charge_.TrySet(context, bytes)) {
    delete token;
    ScriptError("SecurityToken> token too large");
    return nullptr;
  }
  if (!token->AttachScriptInstance(gSecurityTokenScriptClass, context)) {
    delete token;
    return nullptr;
  }
  return token;
}

void GSOSecurityToken::SetRightsFromArray(RightSet& out, const GSArray* array) {
  out.clear();
  if (array == nullptr || !array->ElementIsReference()) return;
  for (int32_t i = 0; i < array->Size(); ++i) {
    const GSString* text = dynamic_cast<const GSString*>(NativeOf(array->Data()[i]));
    if (text != nullptr) out.insert(Kiv::PString(text->text));
  }
}

GSOSecurityToken* GSOSecurityToken::Issue(GSContext* context, const TokenIssuer& issuer,
                                          const KUID& grantee, const GSArray* rights) {
  RightSet set;
  SetRightsFromArray(set, rights);
  return Make(context, SecurityGrants::Issue(issuer, grantee, std::move(set)));
}

GSOSecurityToken* GSOSecurityToken::Copy(GSContext* context, const GSOSecurityToken& source) {
  return Make(context, source.grants_);
}

GSOSecurityToken* GSOSecurityToken::Merge(GSContext* context, const GSArray* tokens) {
  if (tokens == nullptr || !tokens->ElementIsReference()) return nullptr;
  std::optional<SecurityGrants> merged;
  for (int32_t i = 0; i < tokens->Size(); ++i) {
    const auto* token = dynamic_cast<const GSOSecurityToken*>(NativeOf(tokens->Data()[i]));
    if (token == nullptr) continue;
    if (!merged) {
      merged = token->grants_;
      continue;
    }
    merged->MergeFrom(token->grants_);
  }
  if (!merged) return nullptr;
  return Make(context, std::move(*merged));
}

GSOSecurityToken* GSOSecurityToken::ReIssueToken(const GSOSecurityToken& token, GSContext* context,
                                                 const TokenIssuer& caller, const KUID& target,
                                                 const GSArray* rights) {
  RightSet requested;
  SetRightsFromArray(requested, rights);
  if (requested.empty()) return nullptr;
  std::optional<SecurityGrants> copy = token.grants_.ReIssue(caller, target, requested);
  if (!copy) {
    LogMessage(
        "GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue security token "
        "(%s)",
        KUIDToTagString(caller.kuid).c_str());
    return nullptr;
  }
  return Make(context, std::move(*copy));
}

void GSOSecurityToken::IsOwnerLocallyModified(GSStack& stack) {
  for (const auto& [id, entry] : grants_.Entries()) {
    for (const auto& [grantee, rights] : entry.grantees) {
      if (IsAssetSpecLocallyModified(grantee)) {
        stack.Push(GSFromBool(true));
        return;
      }
    }
  }
  stack.Push(GSFromBool(false));
}

void RegisterSecurityTokenNatives(GSMachine& machine) {
  machine.RegisterNative(std::make_unique<GSCPPNativeFunction<GSOSecurityToken>>(
      "SecurityToken", "$bool@SecurityToken::IsOwnerLocallyModified()",
      &GSOSecurityToken::IsOwnerLocallyModified));
}
