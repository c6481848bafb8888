// Container::ValidateAssetRoot: the check of an asset's configuration as a
// whole, the entry of the tag walk.
//
//  1. The asset's build ("vandru-build", 1.3 when missing, plus 0.001) is
//     stored in the data manager, where every build test reads it.
//  2. Below build 2.7 the asset is reported obsolete (a warning); the check
//     goes on. Configurations of builds below 2.9 are upgraded
//     (tetlib/Upgrade.h) on a deep copy, which the rest of the check and
//     the export then read; the soup handed in is never changed.
//  3. Without a "kind" the check stops with an error.
//  4. The kind, in lower case, is refined: a "bridge" is a "double-track"
//     at a "height" within 0.001 of 0 and a "tunnel" above; below build 2.9
//     a "track" is a "chunky-track" (with "chunky_mesh"), a
//     "mesh-reducing-track" (with "unit_mesh") or an "obsolete-track"; a
//     "scenery" with "trackside" is a "scenery-trackside".
//  5. Without a top-level definition of the refined kind the check stops
//     with an error.
//  6. The container becomes the asset's root (index 0, named and typed by
//     the refined kind, mesh checks on) with the definition applied and its
//     container validators built.
//  7. An alias configuration is reported (a warning) and the reports about
//     its meshes and possibilities are kept quiet for this asset.
//  8. The configuration is walked.
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/text/SubstituteParams.h"
#include "tetlib/Container.h"
#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/Upgrade.h"

namespace TETLib {
namespace {

Kiv::PString RefineKind(const Soup& config, const Kiv::PString& kind, int32_t build) {
  const Names& names = Names::Get();
  const std::string_view text = kind.View();
  if (text == "bridge") {
    const float height = config.GetNamedTagAsFloat(names.height, 0.0f);
    if (height < -0.001f) return kind;
    return Kiv::PString(height <= 0.001f ? "double-track" : "tunnel");
  }
  if (text == "track" && build < 290) {
    if (config.HasNamedTag(names.chunkyMesh)) return Kiv::PString("chunky-track");
    if (config.HasNamedTag(names.unitMesh)) return Kiv::PString("mesh-reducing-track");
    return Kiv::PString("obsolete-track");
  }
  if (text == "scenery" && config.HasNamedTag(names.trackside))
    return Kiv::PString("scenery-trackside");
  return kind;
}

}  // namespace

bool Container::ValidateAssetRoot(const Soup& config) {
  const Names& names = Names::Get();
  DataManager& manager = *DataManager::Instance();
  ErrorHandler& findings = Findings();
  manager.SetAssetBuild(config.GetNamedTagAsFloat(names.vandruBuild, 1.3f) + 0.001f);
  const int32_t build = manager.GetAssetBuildNumber();
  if (build < 270) {
    Kiv::String text = GetInterfaceText("$tet_obsolete_asset");
    SubstituteParams(text, "2.7", ParamName("LOWEST_VANDRUBUILD"));
    findings.ReportWarning(Kiv::PString(text));
  }
  // Old configurations are brought up to date on a copy of their own: the
  // soup handed in (and whatever shares it) stays as it is.
  Soup upgraded = config;
  if (build < 290) {
    Soup::Copy(upgraded, config);
    UpgradeConfigIfOld(upgraded);
  }
  return ValidateUpgradedRoot(upgraded, build);
}

bool Container::ValidateUpgradedRoot(const Soup& config, int32_t build) {
  const Names& names = Names::Get();
  DataManager& manager = *DataManager::Instance();
  ErrorHandler& findings = Findings();
  Kiv::PString kind = config.GetNamedTag(names.kind);
  if (kind.Empty()) {
    findings.ReportError(TetMessage("$tet_container_nokindtag"));
    return false;
  }
  kind.ToLower();
  kind = RefineKind(config, kind, build);
  const Soup definition = FindTopLevelDefinition(kind);
  if (definition.Empty()) {
    findings.ReportError(TetMessage("$tet_container_nokindspecification"));
    return false;
  }
  parent_ = nullptr;
  index_ = 0;
  name_ = kind;
  type_ = kind;
  meshChecks_ = true;
  soup_ = config;
  ApplyDefinition(definition, true);
  BuildContainerValidators(*this, definition);
  if (config.HasNamedTag(names.alias)) {
    manager.SetReportSuppression(true);
    findings.ReportWarning(TetMessage("$tet_container_alias"));
  }
  return ValidateTags(config, definition, *this);
}

}  // namespace TETLib
