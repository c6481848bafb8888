#include "cli/AssetStatus.h"

#include "assetdb/client/AssetStatusQuery.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"

namespace {

char FlagLetter(bool set, char upper) {
  return set ? upper : static_cast<char>(upper - 'A' + 'a');
}

}  // namespace

Kiv::String FormatAssetStatusLine(const KUID& kuid, const AssetRecord& record,
                                  bool missingDependencies, bool faulty) {
  const uint32_t status = record.status;
  Kiv::String line(KUIDToTagString(kuid).View());
  line += " : ";
  line += FlagLetter((status & kAssetOpenForEdit) != 0, 'E');
  line += FlagLetter((status & kAssetInstalledLocally) != 0, 'I');
  line += FlagLetter((status & kAssetArchived) != 0, 'A');
  line += FlagLetter((status & kAssetOnDownloadService) != 0, 'D');
  line += FlagLetter((status & kAssetLocallyModified) != 0, 'L');
  line += FlagLetter(missingDependencies, 'M');
  line += FlagLetter(faulty, 'F');
  line += " : ";
  line += record.category;
  line += " : ";
  line += record.username;
  return line;
}

bool PrintAssetStatus(const KUID& kuid, ResultsLog& log) {
  // The three requests go out together; the answers are those of the
  // record request and the two presence requests made in turn.
  AssetStatusQuery query(kuid);
  AssetRecord record;
  bool missing = true;
  bool faulty = true;
  const AssetStatusQuery::Reply reply = query.Answer(record, &missing, &faulty);
  // A reply that the connection cut off says nothing of the asset: no line
  // is built on it (the dispatcher says that the connection was lost).
  if (reply == AssetStatusQuery::Reply::kCut) return false;
  // The daemon answers a default record (flagE clear) for an asset it does
  // not know; that is as unknown as a failed request.
  if (reply == AssetStatusQuery::Reply::kUnknown) {
    AddAssetError(log, kuid, kUnknownAssetID);
    return false;
  }
  PrintResultLine("+ " + FormatAssetStatusLine(kuid, record, missing, faulty));
  return true;
}

int32_t StatusCommand(ResultsLog& log, EngineObjects& /*engine*/, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing AssetID parameter.");
    return kCommandFailed;
  }
  return PrintAssetStatus(FirstArgumentKUID(argc, argv), log) ? kCommandSucceeded : kCommandFailed;
}
