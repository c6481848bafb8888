// IdentifiableType: the root of the system's polymorphic value classes
// (properties). It holds nothing; its only member is the virtual destructor,
// so that an object is always destroyed as its own class through a base
// pointer.
#pragma once

class IdentifiableType {
 public:
  IdentifiableType() = default;
  IdentifiableType(const IdentifiableType&) = default;
  IdentifiableType& operator=(const IdentifiableType&) = default;
  virtual ~IdentifiableType() = default;
};
