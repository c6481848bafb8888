// VADFilterElementGroup: a filter node that combines its children.
//
// Fields: matchAll (true in every group the tool builds), negate (false
// unless set; the tool sets it on one-child groups to exclude what the
// child matches) and the children in order, owned by the group. How the
// daemon combines them is the daemon's business; the tool fixes the form.
//
// Body on the wire: u8 matchAll, u8 negate, u32 child count, then each
// child as by WriteFilterElement. An empty group with its type code is the
// ten bytes 70 75 72 67 01 00 00 00 00 00.
//
// Text: each child as "<field name>:(<value text>)", separated by ", "; the
// flags are not part of the text (the empty group gives the empty string).
// Equality: the other must be a group with the same flags and as many
// children, each pair equal by FilterElementsEqual.
//
// Reading: the two flag bytes; then the old children are deleted; then the
// child count (a short read ends the read with true and no children); then
// each child by ReadFilterElement. A child that cannot be made or read ends
// the read with false, keeping the children read so far. Untrusted input is
// bounded: a group nested deeper than kMaxFilterDepth, or announcing more
// than kMaxFilterChildren children, is refused (false) before anything is
// read into it, so reading never recurses or loops without bound.
//
// Add with a null element adds nothing, so a group never holds a missing
// child and Write always answers true for the trees built here.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "assetdb/protocol/VADFilterElement.h"

class VADFilterElementGroup : public VADFilterElement {
 public:
  static constexpr uint32_t kMaxFilterDepth = 64;
  static constexpr uint32_t kMaxFilterChildren = 65536;

  VADFilterElementGroup() = default;
  explicit VADFilterElementGroup(std::unique_ptr<VADFilterElement> child);
  ~VADFilterElementGroup() override = default;

  void Add(std::unique_ptr<VADFilterElement> element);
  void SetNegate(bool negate) { negate_ = negate; }
  bool GetNegate() const { return negate_; }
  bool GetMatchAll() const { return matchAll_; }
  uint32_t CountChildren() const { return static_cast<uint32_t>(children_.size()); }
  const VADFilterElement* GetChild(uint32_t index) const;

  Kiv::PString GetFieldName() const override;
  Kiv::PString GetValueText() const override;
  uint32_t GetTypeCode() const override { return kFilterTypeGroup; }
  bool Write(TStream& stream) const override;
  bool Read(TStream& stream) override;
  bool Equals(const VADFilterElement& other) const override;

 private:
  bool ReadChildren(TStream& stream);

  bool matchAll_ = true;
  bool negate_ = false;
  std::vector<std::unique_ptr<VADFilterElement>> children_;
};

// Makes a group holding `child` with `negate` set as given and appends it
// to `parent`; used to exclude what the child matches.
void MakeFilterGroup(VADFilterElementGroup& parent, std::unique_ptr<VADFilterElement> child,
                     bool negate = true);
