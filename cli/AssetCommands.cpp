// The commands on one asset ("edit", "printconfig", "commit", "revert",
// "delete") and on the database's own values ("listbuilds",
// "generatekuid"). Each is a thin call to the daemon requests of
// assetdb/VADClientRequests.h.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "assetdb/client/LostRequestWatch.h"
#include "assetdb/client/VADAssetHandle.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/ResultsPrinter.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"

namespace {

constexpr const char* kMissingAssetID = "Missing AssetID parameter.";

// The KUID of the first argument; false (with the message) when the
// argument is absent or empty. The null KUID a text may give is passed on.
bool TakeAssetArgument(ResultsLog& log, int argc, char** argv, KUID* kuid) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, kMissingAssetID);
    return false;
  }
  *kuid = FirstArgumentKUID(argc, argv);
  return true;
}

// A new handle on the asset (request 0x1E with `open`, the daemon's own
// messages going to `daemonLog` when given). When none comes back, the
// error names the KUID and says that the asset is unknown, unless the
// connection was lost meanwhile (the dispatcher says so); false.
bool TakeAssetHandle(ResultsLog& log, const KUID& kuid, bool open, ResultsLog* daemonLog,
                     VADAssetHandleRef& ref) {
  const LostRequestWatch watch;
  VADClient::Request1E(kuid, open, ref, daemonLog);
  if (ref.Valid()) return true;
  if (!watch.Lost()) AddAssetError(log, kuid, kUnknownAssetID);
  return false;
}

}  // namespace

// Opens the asset for editing and prints the folder that holds its files.
// An asset the daemon could not open for editing is a failure; one whose
// connection was lost meanwhile gets no word about the asset (the
// dispatcher says that the connection was lost).
int32_t EditCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  KUID kuid;
  if (!TakeAssetArgument(log, argc, argv, &kuid)) return kCommandFailed;
  VADAssetHandleRef ref;
  if (!TakeAssetHandle(log, kuid, true, &log, ref)) return kCommandFailed;
  const LostRequestWatch watch;
  Kiv::PString name;
  Kiv::File::Path folder;
  const bool opened = VADClient::OpenForEdit(ref.handle, name, folder);
  ReleaseAssetHandle(ref);
  if (!opened) {
    if (!watch.Lost()) AddAssetError(log, kuid, "Unable to open the asset for editing.");
    return kCommandFailed;
  }
  PrintResultLine("+ " + KUIDToTagString(kuid).Str() + " : " + folder.Str());
  return kCommandSucceeded;
}

int32_t PrintConfigCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  KUID kuid;
  if (!TakeAssetArgument(log, argc, argv, &kuid)) return kCommandFailed;
  Soup config;
  VADClient::GetAssetConfig(kuid, config);
  if (config.IsNull()) {
    AddAssetError(log, kuid, "Asset is not local.");
    return kCommandFailed;
  }
  const Kiv::PString tag = KUIDToTagString(kuid);
  std::printf("+ Start of %s dump\n", tag.c_str());
  Soup::Print(config);
  std::printf("+ End of %s dump\n", tag.c_str());
  return kCommandSucceeded;
}

// Writes the daemon's list of installed builds as one line to the file named
// by slot 2. A list the daemon did not give, or a line that was not written
// whole, is a failure.
int32_t ListBuildsCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing path parameter.");
    return kCommandFailed;
  }
  Kiv::File file;
  file.Open(ArgumentPath(argc, argv, 2).Str(), Kiv::File::kCreate | 0x1);
  if (!file.IsValid()) {
    AddCommandError(log, "Failed to open output file.");
    return kCommandFailed;
  }
  const Kiv::PString builds = VADClient::ListBuilds();
  if (builds.Empty()) {
    file.Close();
    AddCommandError(log, "Unable to read the list of installed builds.");
    return kCommandFailed;
  }
  const Kiv::String line = builds.Str() + "\n";
  const bool written = file.Write(line.data(), uint32_t(line.size())) == line.size();
  file.Close();
  if (!written) {
    AddCommandError(log, "Failed to write output file.");
    return kCommandFailed;
  }
  return kCommandSucceeded;
}

// The handle is released whatever the outcome: a commit that fails leaves
// it with this command, which would otherwise keep it open on the daemon.
// A KUID that names no asset is an error that says so.
int32_t CommitCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  KUID kuid;
  if (!TakeAssetArgument(log, argc, argv, &kuid)) return kCommandFailed;
  VADAssetHandleRef ref;
  if (!TakeAssetHandle(log, kuid, true, nullptr, ref)) return kCommandFailed;
  bool replaced = false;
  const bool committed = VADClient::CommitAsset(ref, 0, &log, &replaced);
  ReleaseAssetHandle(ref);
  return committed ? kCommandSucceeded : kCommandFailed;
}

// RevertAsset takes the handle over and releases it. A KUID that names no
// asset is an error that says so.
int32_t RevertCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  KUID kuid;
  if (!TakeAssetArgument(log, argc, argv, &kuid)) return kCommandFailed;
  VADAssetHandleRef ref;
  if (!TakeAssetHandle(log, kuid, false, nullptr, ref)) return kCommandFailed;
  return VADClient::RevertAsset(ref, &log) ? kCommandSucceeded : kCommandFailed;
}

// The daemon's notices stay out of the command's output; when the delete
// fails, its errors (the reason) are passed on, so that a failure is never
// silent.
int32_t DeleteCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  KUID kuid;
  if (!TakeAssetArgument(log, argc, argv, &kuid)) return kCommandFailed;
  ResultsLog daemonLog;
  if (VADClient::DeleteAsset(kuid, true, &daemonLog)) return kCommandSucceeded;
  for (const ResultMessage& message : daemonLog.Messages()) {
    if (message.severity == ResultsLog::kError)
      log.AddResult(message.severity, message.subject, message.text);
  }
  return kCommandFailed;
}

// Prints the new KUID in the long form. When the daemon gave none, nothing
// is printed and the error says why (the daemon's reason; a lost
// connection is said by the dispatcher).
int32_t GenerateKUIDCommand(ResultsLog& log, EngineObjects&, int, char**) {
  const LostRequestWatch watch;
  std::string failure;
  const KUID kuid = VADClient::GenerateKUID(&failure);
  if (kuid.IsNull()) {
    if (!failure.empty()) {
      AddCommandError(log, "Unable to generate a KUID: " + failure + ".");
    } else if (!watch.Lost()) {
      AddCommandError(log, "Unable to generate a KUID.");
    }
    return kCommandFailed;
  }
  std::printf("<KUID2:%" PRId32 ":%" PRIu32 ":%" PRIu32 ">\n", kuid.userId,
              uint32_t(kuid.contentId), uint32_t(kuid.version));
  return kCommandSucceeded;
}
