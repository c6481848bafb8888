// Container::Export: the clean soup of a checked container.
//
// A container that keeps an extensions soup (KeepExtensions) writes that
// soup's entries as they stand and nothing else. Otherwise every tag, in
// order, goes through the handler of its type code (tetlib/TagHandlers.cpp);
// a "kind" tag is first put in lower case and in its base form
// ("double-track" and "tunnel" are bridges, "chunky-track",
// "mesh-reducing-track" and "obsolete-track" tracks, "scenery-trackside"
// scenery). Every tag is handled, also after one has failed, so that the
// findings and the written soup do not depend on the order of the tags.
// Then each child is written into a new sub-soup under its saving name (its
// name when it has none), and its container checks run. The verdict is
// true when every handler, every child's export and every child's checks
// passed.
#include <string_view>

#include "tetlib/Container.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/Names.h"
#include "tetlib/Tag.h"

namespace TETLib {
namespace {

struct BaseKind {
  std::string_view kind;
  std::string_view base;
};

constexpr BaseKind kBaseKinds[] = {
    {"double-track", "bridge"},       {"tunnel", "bridge"},        {"chunky-track", "track"},
    {"mesh-reducing-track", "track"}, {"obsolete-track", "track"}, {"scenery-trackside", "scenery"},
};

void PutKindInBaseForm(Tag& tag) {
  tag.value.ToLower();
  for (const BaseKind& entry : kBaseKinds) {
    if (tag.value.View() != entry.kind) continue;
    tag.value = Kiv::PString(entry.base);
    return;
  }
}

// Shares every entry of `from` into `into`, replacing entries of the same
// name.
void CopyEntries(const Soup& from, Soup& into) {
  const uint32_t count = from.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    Kiv::PString name;
    ChunkRef child;
    if (!from.GetChunk()->GetChildAt(i, name, child)) break;
    into.RemoveNamedTag(name);
    into.GetChunk()->SetChild(name, std::move(child));
  }
}

}  // namespace

void Container::KeepExtensions(const Soup& soup) {
  extensions_ = soup;
}

bool Container::Export(Soup& target) {
  target.Create();
  if (HasKeptExtensions()) {
    CopyEntries(extensions_, target);
    return true;
  }
  const Names& names = Names::Get();
  bool verdict = true;
  for (const std::unique_ptr<Tag>& tag : tags_) {
    if (tag->name == names.kind) PutKindInBaseForm(*tag);
    if (!HandleTag(*tag, target)) verdict = false;
  }
  for (const std::unique_ptr<Container>& child : children_) {
    Findings().Trace("now exporting the container", child.get());
    Soup written;
    written.Create();
    target.SetNamedSoup(child->savingName_.Empty() ? child->name_ : child->savingName_, written);
    if (!child->Export(written)) verdict = false;
    if (!child->RunChildChecks()) verdict = false;
  }
  return verdict;
}

}  // namespace TETLib
