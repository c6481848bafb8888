// Tag: one tag of a container under check, with the type its definition
// gives it and the validators its definition's "validation" list asks for.
//
// Made by Container::CreateTag (which sets the type code, owner and name),
// owned by the container that lists it. Every tag has an id unique within
// the process (the owner identity of its findings). Destruction removes the
// first finding the tag owns from the error handler and the tag from the
// data manager's registries.
//
// BuildValidators(definition): for each child of the definition's
// "validation" container, in order, every row of the tag-validator table
// whose keyword is the child's name (exact, case-sensitive) appends its
// function, and the child's sub-soup (its arguments; empty for a child that
// is not a container) at the same index. Unknown keywords are ignored.
// Building again appends again.
//
// RunValidators runs every validator in order, also after a failure, and
// answers true when all passed (true when there are none).
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/soup/Soup.h"
#include "kiv/PString.h"

namespace TETLib {

class Container;
class Tag;

// A tag validator: true when the tag passes; reports its own findings.
using TagValidator = bool (*)(Tag& tag, Soup* args);

class Tag {
 public:
  Tag();
  ~Tag();
  Tag(const Tag&) = delete;
  Tag& operator=(const Tag&) = delete;

  uint64_t Id() const { return id_; }

  void BuildValidators(const Soup& from);
  bool RunValidators();

  // The number of tags alive in the process.
  static int32_t LiveCount();

  Kiv::PString name;
  Kiv::PString value;
  int32_t typeCode = -1;
  Container* owner = nullptr;
  Kiv::PString datatype;
  bool possibility = false;
  Kiv::PString source;
  bool disabled = false;
  bool file = false;
  Soup definition;
  Kiv::PString category;
  Kiv::PString filter;
  std::vector<TagValidator> validators;
  std::vector<Soup> validatorArgs;

 private:
  const uint64_t id_;
};

}  // namespace TETLib
