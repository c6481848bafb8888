#include "gsnative/SecurityGrants.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <tuple>

uint64_t NewTokenIssuerId() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

bool KUIDLess::operator()(const KUID& a, const KUID& b) const {
  return std::tie(a.userId, a.contentId, a.version) < std::tie(b.userId, b.contentId, b.version);
}

SecurityGrants SecurityGrants::Issue(const TokenIssuer& issuer, const KUID& grantee,
                                     RightSet rights) {
  SecurityGrants grants;
  IssuerGrants& entry = grants.table_[issuer.id];
  entry.issuerKUID = issuer.kuid;
  entry.grantees.emplace(grantee, std::move(rights));
  return grants;
}

void SecurityGrants::MergeFrom(const SecurityGrants& other) {
  for (const auto& [id, theirs] : other.table_) {
    auto [mine, added] = table_.try_emplace(id, theirs);
    if (added) continue;
    for (const auto& [grantee, rights] : theirs.grantees)
      mine->second.grantees[grantee].insert(rights.begin(), rights.end());
  }
}

const RightSet* SecurityGrants::FindDelegation(const KUID& kuid) const {
  const Kiv::PString duplicate(kDuplicateTokenRight);
  for (const auto& [id, entry] : table_) {
    auto found = entry.grantees.find(kuid);
    if (found != entry.grantees.end() && found->second.count(duplicate) != 0) return &found->second;
  }
  return nullptr;
}

std::optional<SecurityGrants> SecurityGrants::ReIssue(const TokenIssuer& caller, const KUID& target,
                                                      const RightSet& requested) const {
  if (table_.count(caller.id) != 0) {
    SecurityGrants copy = *this;
    copy.table_[caller.id].grantees[target] = requested;
    return copy;
  }
  const RightSet* delegated = FindDelegation(caller.kuid);
  if (delegated == nullptr) return std::nullopt;
  RightSet allowed;
  std::set_intersection(requested.begin(), requested.end(), delegated->begin(), delegated->end(),
                        std::inserter(allowed, allowed.end()), RightNameLess());
  SecurityGrants copy = *this;
  IssuerGrants& entry = copy.table_[caller.id];
  entry.issuerKUID = caller.kuid;
  entry.grantees.emplace(target, std::move(allowed));
  return copy;
}

bool SecurityGrants::HasRight(uint64_t issuer, const KUID& kuid, const Kiv::PString& right) const {
  auto entry = table_.find(issuer);
  if (entry == table_.end()) return false;
  auto grantee = entry->second.grantees.find(kuid);
  return grantee != entry->second.grantees.end() && grantee->second.count(right) != 0;
}

uint64_t SecurityGrants::FindIssuerByKUID(const KUID& kuid) const {
  for (const auto& [id, entry] : table_)
    if (entry.issuerKUID == kuid) return id;
  return 0;
}

bool SecurityGrants::operator==(const SecurityGrants& other) const {
  if (table_.size() != other.table_.size()) return false;
  return std::equal(table_.begin(), table_.end(), other.table_.begin(),
                    [](const auto& a, const auto& b) {
                      return a.first == b.first && a.second.issuerKUID == b.second.issuerKUID &&
                             a.second.grantees == b.second.grantees;
                    });
}
