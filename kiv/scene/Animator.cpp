#include "kiv/scene/Animator.h"

#include "kiv/File.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/scene/SkeletonModifier.h"

namespace Kiv {

namespace {

bool HoldsFile(const ResourceDatabase& database, const PString& name) {
  if (name.Empty()) return false;
  String path;
  if (database.GetName().Empty()) {
    File::Path plain(name.View());
    plain.ReplaceForwardSlashes();
    path = plain.Str();
  } else if (!File::ResolveRooted(database.GetName(), String(name.View()), &path)) {
    return false;
  }
  return File::Exists(path) && !File::IsDirectory(path);
}

}  // namespace

uint32_t Animator::Add(const PString& name, uint32_t mode, float weight) {
  if (skeleton_ == nullptr || skeleton_->GetBoneCount() == 0) return kNoSkeleton;
  if (database_ == nullptr || !HoldsFile(*database_, name)) return kNoResource;
  animations_.push_back({name, mode, weight});
  return kAdded;
}

}  // namespace Kiv
