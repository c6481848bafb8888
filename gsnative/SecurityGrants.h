// SecurityGrants: the grant table of a security token: which issuing game
// object grants which named rights to which asset KUIDs.
//
// The table is ordered three levels deep: issuers by their issuer id,
// grantee KUIDs by (user, content, version), right names by their text
// (case kept, exactly as the script gave it). "Table order" below is this
// order.
//
// An issuer is named by a TokenIssuer: an id that no other issuing object
// of the process ever has (NewTokenIssuerId), and the asset KUID the object
// had when it granted. A token never points at its issuer, so an issuer may
// go while tokens naming it live on: its id is never given again, so no
// later object inherits its grants.
//
// - Issue: {issuer: {grantee: rights}}.
// - MergeFrom: adds every issuer and grantee entry of another table that
//   this one lacks and unites the right sets of entries present in both.
// - ReIssue(caller, target, requested): the table that the caller may hand
//   on, or none when the caller may not (the caller then logs the refusal).
//   The caller is an issuer when it has its own entry, and a delegate when
//   a grantee entry for its KUID (the first in table order) holds the right
//   "duplicate-token". An issuer's copy grants the target, under the
//   caller's own entry, exactly the requested rights; a delegate's copy
//   gains the caller as a new issuer granting the target the requested
//   rights that the delegate entry holds. `requested` must not be empty.
// - HasRight(issuer, kuid, right): the issuer's entry grants `right` to the
//   KUID (all three fields equal).
// - FindIssuerByKUID: the id of the first issuer in table order whose KUID
//   is the given one, or 0.
//
// Not thread-safe (but NewTokenIssuerId): tokens live on the thread that
// runs scripts.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include "foundation/text/KUID.h"
#include "kiv/PString.h"

struct TokenIssuer {
  uint64_t id = 0;
  KUID kuid;
};

// A new issuer id (from 1; never 0, never the same twice in the process).
// Thread-safe.
uint64_t NewTokenIssuerId();

// The right that lets a grantee re-issue a token.
inline constexpr const char* kDuplicateTokenRight = "duplicate-token";

struct RightNameLess {
  bool operator()(const Kiv::PString& a, const Kiv::PString& b) const {
    return Kiv::PString::TextLess(a, b);
  }
};

struct KUIDLess {
  bool operator()(const KUID& a, const KUID& b) const;
};

using RightSet = std::set<Kiv::PString, RightNameLess>;
using GranteeRights = std::map<KUID, RightSet, KUIDLess>;

struct IssuerGrants {
  KUID issuerKUID;
  GranteeRights grantees;
};

class SecurityGrants {
 public:
  using Table = std::map<uint64_t, IssuerGrants>;

  static SecurityGrants Issue(const TokenIssuer& issuer, const KUID& grantee, RightSet rights);

  void MergeFrom(const SecurityGrants& other);
  std::optional<SecurityGrants> ReIssue(const TokenIssuer& caller, const KUID& target,
                                        const RightSet& requested) const;
  bool HasRight(uint64_t issuer, const KUID& kuid, const Kiv::PString& right) const;
  uint64_t FindIssuerByKUID(const KUID& kuid) const;

  const Table& Entries() const { return table_; }
  bool operator==(const SecurityGrants& other) const;

 private:
  // The rights of the first grantee entry for `kuid` that holds
  // "duplicate-token", or null.
  const RightSet* FindDelegation(const KUID& kuid) const;

  Table table_;
};
