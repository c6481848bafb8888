#include "assetdb/protocol/ValidationBound.h"

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/base/EnvironmentNumber.h"
#include "foundation/soup/Soup.h"

namespace {

constexpr const char* kBoundVariable = "VADCOMMANDHOST_VALIDATION_MS";
constexpr std::chrono::milliseconds kDefaultBound(60000);
constexpr unsigned long long kMostBoundMs = 24ull * 3600 * 1000;

}  // namespace

std::chrono::milliseconds ValidationBound() {
  unsigned long long ms = 0;
  if (!EnvironmentWholeNumber(kBoundVariable, kMostBoundMs, &ms)) return kDefaultBound;
  return std::chrono::milliseconds(ms);
}

void AddValidationTimeLimit(ResultsLog& log, const KUID& asset, const std::string& folder,
                            std::chrono::milliseconds bound, const Kiv::String& text) {
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_path"), Kiv::PString(folder));
  parameters.SetNamedTag(Kiv::PString("seconds"),
                         Kiv::PString(Kiv::StringPrintf("%g", double(bound.count()) / 1000.0)));
  log.AddResult(ResultsLog::kError, asset.IsNull() ? PropertyRef() : AssetSubject(asset), text,
                &parameters);
}
