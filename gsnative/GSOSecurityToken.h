// GSOSecurityToken: the native side of the script class "SecurityToken"
// (SecurityToken.gsl): a grant table (SecurityGrants.h) that is fixed once
// the operation that made it returns.
//
// Every maker answers a new token attached to the "SecurityToken" script
// class in the given context, with one count for the caller (push it with
// GSStack::PushObject), or null: when the class is not known
// (RegisterNativeLibraries) or no object could be made, and in the cases
// named below.
// - Issue(context, issuer, grantee, rights): {issuer: {grantee: rights}};
//   the rights are read with SetRightsFromArray (an empty set is kept).
// - Copy(context, source): a deep copy.
// - Merge(context, tokens): the first token of the array copied, and every
//   later one merged into it; null elements and elements that are not
//   tokens are skipped; null when the array holds no token.
// - ReIssueToken(token, context, caller, target, rights): null when the
//   rights array names no right; null, and one line in the program log
//   ("GSOSecurityToken::ReIssueToken> Unauthorised attempt made to re-issue
//   security token (<caller's KUID in tag form>)"), when the caller is
//   neither an issuer of the token nor a delegate holding
//   "duplicate-token"; otherwise the re-issued copy (SecurityGrants::
//   ReIssue). No script error is raised.
// - SetRightsFromArray(out, array): empties `out`, then adds the text of
//   every element that is a script string; null elements, elements of
//   other kinds and a null or plain-value array add nothing.
//
// The native IsOwnerLocallyModified answers true as soon as the asset of a
// grantee (every grantee of every issuer, in table order) is locally
// modified. Each asset's VandruBaseSpec caches the answer in its two
// modified bits (1 known, 2 modified): the daemon is asked once per
// VandruBaseSpec object (VADClient::IsAssetLocallyModified). A KUID without
// one counts as not modified.
//
// A token's grants (each issuer, grantee and right, and the rights' texts)
// are charged to the live-byte meter of its context
// (gsruntime/GSAllocationMeter.h) and their walk to the run's budget; a
// token past the bound is not made: the thread stops ("SecurityToken> token
// too large") and the maker answers null.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include "gsnative/SecurityGrants.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"

namespace GSRuntime {
class GSArray;
}

class GSOSecurityToken : public GSRuntime::GSObject {
 public:
  static GSOSecurityToken* Issue(GSRuntime::GSContext* context, const TokenIssuer& issuer,
                                 const KUID& grantee, const GSRuntime::GSArray* rights);
  static GSOSecurityToken* Copy(GSRuntime::GSContext* context, const GSOSecurityToken& source);
  static GSOSecurityToken* Merge(GSRuntime::GSContext* context, const GSRuntime::GSArray* tokens);
  static GSOSecurityToken* ReIssueToken(const GSOSecurityToken& token,
                                        GSRuntime::GSContext* context, const TokenIssuer& caller,
                                        const KUID& target, const GSRuntime::GSArray* rights);
  static void SetRightsFromArray(RightSet& out, const GSRuntime::GSArray* array);

  bool HasRight(uint64_t issuer, const KUID& kuid, const Kiv::PString& right) const {
    return grants_.HasRight(issuer, kuid, right);
  }
  // 0 when no issuer has that KUID.
  uint64_t FindIssuerByKUID(const KUID& kuid) const { return grants_.FindIssuerByKUID(kuid); }
  const SecurityGrants& Grants() const { return grants_; }

  void IsOwnerLocallyModified(GSRuntime::GSStack& stack);

 private:
  explicit GSOSecurityToken(SecurityGrants grants) : grants_(std::move(grants)) {}
  // What one issuer, grantee or right costs besides a right's text.
  static constexpr uint64_t kEntryBytes = 64;
  static uint64_t HeldBytes(const SecurityGrants& grants);
  static GSOSecurityToken* Make(GSRuntime::GSContext* context, SecurityGrants grants);

  SecurityGrants grants_;
  GSRuntime::GSNativeCharge charge_;
};

void RegisterSecurityTokenNatives(GSMachine& machine);

// The script class "SecurityToken", once found.
extern GSRuntime::GSClass* gSecurityTokenScriptClass;
