// SecurityTokenIssuer: the side of a scripted game object that issues,
// merges and validates security tokens (GSOSecurityToken.h), with the
// natives of the script class "VandruGameObject" that do so.
//
// A game object class derives from it (besides GSRuntime::GSGameObject)
// and says what its asset is and in which context its tokens are made.
// Each issuer has an id of its own for the life of the process
// (NewTokenIssuerId); the object's grants are filed under it.
//
// Natives (RegisterSecurityTokenIssuerNatives binds them to this class, so
// every class deriving from it has them). Each first asks for the object's
// asset KUID; an object without an asset returns at once, reads no argument
// and pushes nothing (the script gets false or null). Token and KUID
// arguments may not be null (the argument getters stop the thread), a
// rights or tokens array may be; a right's name may be null or empty.
// - "$SecurityToken@VandruGameObject::IssueSecurityToken(KUID,string[])":
//   a new token of this object granting the KUID the named rights.
// - "$SecurityToken@VandruGameObject::IssueSecurityToken(SecurityToken,
//   KUID,string[])": the token re-issued by this object for the KUID
//   (GSOSecurityToken::ReIssueToken; null when refused).
// - "$SecurityToken@VandruGameObject::MergeSecurityTokens(SecurityToken[])":
//   one token holding the entries of all (null when none is a token).
// - "$bool@VandruGameObject::Validate(SecurityToken,VandruGameObject,
//   string)": the token, under the given object as issuer, grants the right
//   to this object's asset KUID.
// - "$bool@VandruGameObject::Validate(SecurityToken,KUID,string)": the same
//   under the token's first issuer whose asset KUID is the given one; false
//   when there is none.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>

#include "gsnative/SecurityGrants.h"
#include "gsruntime/GSMachine.h"

namespace GSRuntime {
class GSContext;
class GSStack;
}  // namespace GSRuntime

class SecurityTokenIssuer {
 public:
  SecurityTokenIssuer() : issuerId_(NewTokenIssuerId()) {}
  virtual ~SecurityTokenIssuer() = default;
  SecurityTokenIssuer(const SecurityTokenIssuer&) = delete;
  SecurityTokenIssuer& operator=(const SecurityTokenIssuer&) = delete;

  // The KUID of the object's asset; false when the object has none.
  virtual bool GetTokenAssetKUID(KUID* out) const = 0;
  // The context in which the object's tokens are made.
  virtual GSRuntime::GSContext* GetTokenContext() const = 0;

  uint64_t TokenIssuerId() const { return issuerId_; }

  void IssueSecurityToken(GSRuntime::GSStack& stack);
  void ReIssueSecurityToken(GSRuntime::GSStack& stack);
  void MergeSecurityTokens(GSRuntime::GSStack& stack);
  void ValidateByObject(GSRuntime::GSStack& stack);
  void ValidateByKUID(GSRuntime::GSStack& stack);

 private:
  uint64_t issuerId_;
};

void RegisterSecurityTokenIssuerNatives(GSMachine& machine);
