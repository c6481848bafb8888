#include "cli/CommandArgs.h"

#include "assetdb/protocol/ResultsLog.h"
#include "cli/EngineObjects.h"

std::string_view ArgumentText(int argc, char** argv, int index) {
  if (argv == nullptr || index < 0 || index >= argc || argv[index] == nullptr) return {};
  return argv[index];
}

Kiv::PString LowerFirstArgument(int argc, char** argv) {
  Kiv::PString first(ArgumentText(argc, argv, 2));
  first.ToLower();
  return first;
}

bool HasFirstArgument(int argc, char** argv) {
  return !ArgumentText(argc, argv, 2).empty();
}

KUID FirstArgumentKUID(int argc, char** argv) {
  const KUID kuid = ParseKUID(LowerFirstArgument(argc, argv).c_str(), true);
  return KUIDReadsBack(kuid) ? kuid : kNullKUID;
}

Kiv::File::Path ArgumentPath(int argc, char** argv, int index) {
  const std::string_view typed = ArgumentText(argc, argv, index);
  if (typed.empty()) return {};
  Kiv::File::Path path(typed);
  const char* start = GetStartDirectory();
  if (path.IsAbsolute() || start == nullptr || start[0] == '\0') return path;
  Kiv::File::Path resolved(start);
  resolved.AddPath(typed);
  return resolved;
}

void AddCommandError(ResultsLog& log, std::string_view text) {
  log.AddResult(ResultsLog::kError, PropertyRef(), Kiv::String(text));
}

void AddAssetError(ResultsLog& log, const KUID& kuid, std::string_view text) {
  log.AddResult(ResultsLog::kError, AssetSubject(kuid), Kiv::String(text));
}
