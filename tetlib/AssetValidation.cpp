// The validation entry: BeginAssetValidation and RunAssetChecks (see
// tetlib/TETLib.h).
#include <memory>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/HeldConfigText.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/SoupKUIDReferences.h"
#include "foundation/text/KUID.h"
#include "kiv/String.h"
#include "tetlib/Container.h"
#include "tetlib/MessageText.h"
#include "tetlib/Names.h"
#include "tetlib/TETLib.h"
#include "tetlib/TextureCheck.h"

namespace TETLib {
namespace {

// Assets made for a later build than this (x 100) are not checked.
constexpr int32_t kNewestBuild = 340;

// The asset as its configuration names it, also when a KUID tag could not
// keep it (never the other asset that tag would wrap it into).
PropertyRef Subject(const Soup& config) {
  return AssetSubject(GetNamedKUIDAsWritten(config, Names::Get().kuid));
}

void AddResult(ResultsLog& log, uint32_t severity, const Soup& config, const char* key) {
  log.AddResult(severity, Subject(config), TetMessage(key).Str());
}

// Copies the error handler's errors and warnings into the log, in order.
void CopyFindings(ResultsLog& log, const Soup& config) {
  const PropertyRef subject = Subject(config);
  for (const ErrorHandler::Record& record : Findings().GetList()) {
    if (record.level == ErrorHandler::kMessage) continue;
    log.AddResult(record.level, subject, record.text.Str());
  }
}

}  // namespace

bool BeginAssetValidation(const Kiv::PString& location, Kiv::File::Path configPath, ResultsLog& log,
                          Container* container) {
  DataManager& manager = *DataManager::Instance();
  manager.LoadDefinitions();
  Kiv::File::Path folder = configPath;
  folder.DelName();
  manager.SetAssetFolder(location, folder);
  Findings().Clear();
  // The path is already the configuration's full path: it is opened as it
  // stands, not through the location.
  Soup config;
  if (!HeldConfigText::LoadPath(configPath.Str(), config, false))
    Soup::LoadFromFile(Kiv::PString(), configPath.Str(), config, false);

  const Names& names = Names::Get();
  const float build = config.GetNamedTagAsFloat(names.vandruBuild, 1.3f);
  if (static_cast<int32_t>(double(build) * 100.0 + 0.1) > kNewestBuild) {
    AddResult(log, ResultsLog::kError, config, "$tet_future_asset");
    return false;
  }
  const Kiv::PString kind = config.GetNamedTag(names.kind);
  if (Kiv::EqualsIgnoreCase(kind.View(), "water")) {
    AddResult(log, ResultsLog::kWarning, config, "$tet_obsolete_water");
    return false;
  }
  if (Kiv::EqualsIgnoreCase(kind.View(), "tintgarth-skin")) {
    AddResult(log, ResultsLog::kWarning, config, "$tet_obsolete_tintgarth");
    return false;
  }

  std::unique_ptr<Container> own;
  if (container == nullptr) {
    own = std::make_unique<Container>();
    container = own.get();
  }
  manager.LoadDefinitions();
  const bool result = container->ValidateAssetRoot(config);
  CopyFindings(log, config);
  return result;
}

bool RunAssetChecks(Container& container, ResultsLog& log, Soup* exported) {
  const Soup config = container.GetSoup();
  if (config.CountTags() == 0) return true;
  Findings().Clear();
  const Kiv::File::Path& folder = DataManager::Instance()->GetAssetFolder();
  const bool textures = CheckAssetTextures(folder, folder);
  Soup target;
  const bool written = container.Export(target);
  // The container checks run on a successful export only.
  const bool checked = written && container.RunChildChecks();
  if (exported != nullptr) *exported = target;
  // When everything passed nothing is written, warnings included.
  if (textures && checked) return true;
  CopyFindings(log, config);
  return false;
}

}  // namespace TETLib
