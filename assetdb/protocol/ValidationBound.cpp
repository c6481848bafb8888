#include "assetdb/protocol/ValidationBound.h"

#include <cerrno>
#include <cstdlib>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/Soup.h"

namespace {

constexpr const char* kBoundVariable = "VADCOMMANDHOST_VALIDATION_MS";
constexpr std::chrono::milliseconds kDefaultBound(60000);
constexpr unsigned long long kMostBoundMs = 24ull * 3600 * 1000;

}  // namespace

std::chrono::milliseconds ValidationBound() {
  const char* text = std::getenv(kBoundVariable);
  if (text == nullptr || *text == '\0' || *text == '-') return kDefaultBound;
  char* end = nullptr;
  errno = 0;
  const unsigned long long ms = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || ms > kMostBoundMs) return kDefaultBound;
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
