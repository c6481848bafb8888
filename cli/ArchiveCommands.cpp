// "installcdp" and "createcdp": installing an archive, and exporting
// installed assets into a new one.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/client/AssetInstall.h"
#include "assetdb/client/LostRequestWatch.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/AssetRecord.h"
#include "assetdb/protocol/ResultsLog.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "kiv/File.h"

namespace {

// The install mode the command asks for, and the parts of an asset that an
// exported entry carries.
constexpr uint32_t kInstallCDPMode = 2;
constexpr uint32_t kExportPartsMask = 3;
constexpr uint32_t kAllAssetInfo = 0xFFFFFFFFu;

// Fetches the entry of one installed asset and adds it to `archive`. Ends
// the command (false, with its message) when the asset is not local (also
// a KUID that names none, such as one that requests cannot carry), or
// when the daemon sent no entry for it or one that cannot be stored whole:
// an archive that silently lacked a listed asset, or part of one, would be
// reported as written. A request whose connection was lost says nothing of
// the asset: the command ends without a word of its own (the dispatcher
// says that the connection was lost).
bool AddAssetEntry(Soup& archive, const KUID& kuid, ResultsLog& log) {
  const LostRequestWatch watch;
  // A KUID that requests cannot carry as typed would reach the daemon as
  // another asset's KUID (CommandArgs.h): it names no installed asset.
  AssetRecord record;
  if (KUIDReadsBack(kuid)) VADClient::GetAssetInfo(kuid, kAllAssetInfo, record);
  if (!record.flagE || (record.status & kAssetInstalledLocally) == 0) {
    if (!watch.Lost()) AddAssetError(log, kuid, "Asset is not local.");
    return false;
  }
  const uint32_t errorsBefore = log.GetErrorCount();
  Soup entry = CDP::MakeLZSSOptions();
  CreateCDP(entry, kuid, &log, kExportPartsMask);
  if (CDP::GetEntryKUID(entry).IsNull()) {
    // The daemon's message, when it sent one, says why.
    if (log.GetErrorCount() == errorsBefore && !watch.Lost()) {
      AddAssetError(log, kuid, "Unable to make an archive entry for the asset.");
    }
    return false;
  }
  const std::string unstorable = BinarySoup::FindUnstorableTag(entry);
  if (!unstorable.empty()) {
    AddAssetError(log, kuid, "Unable to add the asset to the archive: " + unstorable + ".");
    return false;
  }
  // A KUID listed twice is added once; the builder's message says so and is
  // of no interest here.
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  return true;
}

// True when the folder that is to hold `output` exists; otherwise adds the
// error that says so.
bool OutputFolderExists(const Kiv::File::Path& output, ResultsLog& log) {
  Kiv::File::Path folder(output);
  folder.DelName();
  if (folder.Empty() || Kiv::File::IsDirectory(folder.Str())) return true;
  folder.DelSlash();
  AddCommandError(log, "The output folder '" + folder.Str() + "' does not exist.");
  return false;
}

// Why the archive could not be written: the system's error that the write
// left behind.
std::string WriteFailureReason(int error) {
  return error != 0 ? std::strerror(error) : "the reason is not known";
}

}  // namespace

int32_t InstallCDPCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing input filepath parameter.");
    return kCommandFailed;
  }
  const Kiv::File::Path path = ArgumentPath(argc, argv, 2);
  bool answered = false;
  const uint32_t result = InstallCDP(path.c_str(), &log, kInstallCDPMode, &answered, nullptr);
  return result != 0 ? kCommandSucceeded : kCommandFailed;
}

// Slot 2 is the archive to write (extension "cdp"), slots 3 onwards the
// KUIDs of installed assets to put in it, in order. With no KUID an empty
// archive is written.
int32_t CreateCDPCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  if (!HasFirstArgument(argc, argv)) {
    AddCommandError(log, "Missing output path parameter.");
    return kCommandFailed;
  }
  const Kiv::File::Path output = ArgumentPath(argc, argv, 2);
  if (!output.IsExt("cdp")) {
    AddCommandError(log, "The output filename must have a .cdp extension.");
    return kCommandFailed;
  }
  if (!OutputFolderExists(output, log)) return kCommandFailed;
  Soup archive;
  archive.Create();
  for (int i = 3; i < argc; ++i) {
    const KUID kuid = ParseKUID(Kiv::String(ArgumentText(argc, argv, i)).c_str(), false);
    if (kuid.IsNull()) {
      AddCommandError(log, "Invalid AssetID.");
      return kCommandFailed;
    }
    if (!AddAssetEntry(archive, kuid, log)) return kCommandFailed;
  }
  // Built once for all entries; this also gives an archive without entries
  // its kind and tables, so that it reads back as an archive.
  CDP::RebuildTables(archive);
  Kiv::PString message;
  errno = 0;
  CDP::WriteArchive(archive, message, output.Str());
  const int error = errno;
  if (!message.Empty()) {
    std::fprintf(stderr, "%s\n", message.c_str());
    // The line above is the archive writer's; this one says what happened.
    std::fprintf(stderr, "The archive '%s' could not be written: %s.\n", output.c_str(),
                 WriteFailureReason(error).c_str());
    return kCommandFailed;
  }
  return kCommandSucceeded;
}
