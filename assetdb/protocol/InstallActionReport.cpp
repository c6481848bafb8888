#include "assetdb/protocol/InstallActionReport.h"

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "kiv/String.h"

void ReportInstallAction(ResultsLog& log, int32_t answer, const Kiv::PString& assetName,
                         const KUID& kuid) {
  if (answer != 0 && answer != 1) return;
  const Kiv::PString tag(answer == 0 ? "$vad_prompt_overwritten" : "$vad_prompt_skipped");
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("asset_name"),
                         assetName.Empty() ? KUIDToTagString(kuid) : assetName);
  parameters.SetNamedTag(Kiv::PString("action"), Kiv::StringPrintf("%d", answer));
  const Kiv::String text = InterfaceTextDB::Get().GetString(tag, true).Str();
  log.AddResult(ResultsLog::kWarning, PropertyRef(), text, &parameters);
}
