#include "cli/KeywordCommands.h"

#include <unistd.h>

#include <string>
#include <string_view>
#include <utility>

#include "assetdb/client/AssetInfoQueries.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "cli/CommandArgs.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TFile.h"
#include "foundation/text/KUID.h"
#include "kiv/File.h"

namespace {

constexpr uint32_t kOpenRead = 32;
constexpr uint32_t kOpenReadInLocation = 16;
constexpr uint32_t kOpenWrite = 257;

bool IsTextForm(const Kiv::String& formName) {
  return Kiv::EqualsIgnoreCase(formName, "txt");
}

bool OpenFile(TFile& file, const Kiv::PString& location, const Kiv::String& path, uint32_t pathMode,
              uint32_t locationMode) {
  if (location.Empty()) return file.Open(path, pathMode);
  return file.Open(location, path, locationMode);
}

// The path with its extension replaced by this process's id and "tmp"
// ("a.dat" -> "a.<pid>.tmp"); a name without one gets ".<pid>.tmp"
// appended. Saves running at once in other processes never share it.
Kiv::String TemporaryPathOf(const Kiv::String& path) {
  const Kiv::String own = std::to_string(getpid()) + ".tmp";
  const Kiv::String ext = Kiv::File::Path(path).Extension();
  if (ext.empty()) return path + "." + own;
  return path.substr(0, path.size() - ext.size()) + own;
}

// Writes the text form into the temporary copy, then renames it over the
// target. Any failure removes the copy and leaves the target alone.
bool SaveTextSoup(const Kiv::PString& location, const Kiv::String& fileName, const Soup& soup) {
  TFile file;
  if (!OpenFile(file, location, TemporaryPathOf(fileName), kOpenWrite, kOpenWrite)) return false;
  const Kiv::String temporary = file.GetFile()->GetPath();
  TextSoup::Write(file, soup);
  const bool written = file.GetError() == TStream::kErrorNone && file.GetFile()->Sync();
  file.Close();
  // The target lies beside the copy, as resolved when it was opened.
  Kiv::File::Path target(temporary);
  target.DelName();
  target.AddPath(Kiv::File::Path(fileName).Name());
  if (written && Kiv::File::Rename(temporary, target.Str())) return true;
  Kiv::File::Unlink(temporary);
  return false;
}

bool LoadTextSoup(const Kiv::PString& location, const Kiv::String& fileName, Soup& soup) {
  TFile file;
  if (!OpenFile(file, location, fileName, kOpenRead, kOpenReadInLocation)) return false;
  Soup loaded;
  const bool accepted =
      TextSoup::Parse(loaded, file, false).Ok() && file.GetError() == TStream::kErrorNone;
  file.Close();
  if (!accepted) return false;
  soup = std::move(loaded);
  return true;
}

}  // namespace

bool BackupKeywords(const Kiv::PString& location, const Kiv::String& fileName,
                    const Kiv::String& formName) {
  if (!IsTextForm(formName)) return false;
  Soup keywords;
  keywords.Create();
  VADFilterElementGroup everything;
  KUIDList found;
  VADClient::SearchAssets(&everything, found);
  for (const KUID& kuid : found) {
    keywords.SetNamedTag(KUIDToTagString(kuid), std::string_view(GetAssetInfoTextC(kuid)));
  }
  return SaveTextSoup(location, fileName, keywords);
}

bool ImportKeywords(const Kiv::PString& location, const Kiv::String& fileName,
                    const Kiv::String& formName) {
  if (!IsTextForm(formName)) return false;
  Soup keywords;
  if (!LoadTextSoup(location, fileName, keywords)) return false;
  const uint32_t count = keywords.CountTags();
  uint32_t sent = 0;
  for (uint32_t index = 0; index < count; ++index) {
    const Kiv::PString name = keywords.GetIndexedTagName(index);
    const KUID kuid = ParseKUID(name.c_str(), false);
    // A request would carry such a KUID as another asset's: it names no
    // asset the database can hold.
    if (!KUIDReadsBack(kuid)) continue;
    const Kiv::String text(keywords.GetNamedTag(name).View());
    if (!VADClient::Request36(kuid, text)) return false;
    ++sent;
  }
  // The requests are one-way: the import ends once the daemon has stored
  // them, so that nothing of it is left running in the daemon.
  return sent == 0 || VADClient::AwaitPosted();
}

int32_t BackupKeywordsCommand(ResultsLog& log, EngineObjects&, int, char**) {
  constexpr const char* kBackup = "KeywordsBackup.dat";
  if (BackupKeywords(Kiv::PString(), kBackup, "txt")) return kCommandSucceeded;
  Kiv::File::Path target(Kiv::File::GetCwd());
  target.AddPath(kBackup);
  AddCommandError(log, "Unable to save the keyword backup '" + target.Str() +
                           "' (the folder cannot be written, or the disk is full).");
  return kCommandFailed;
}

int32_t ImportKeywordsCommand(ResultsLog& log, EngineObjects&, int, char**) {
  Kiv::File::Path dump = GetInstallPath();
  dump.AddPath("KeywordsDump.dat");
  if (ImportKeywords(Kiv::PString(), dump.Str(), "txt")) return kCommandSucceeded;
  if (!Kiv::File::Exists(dump.Str())) {
    AddCommandError(log, "The keyword file '" + dump.Str() +
                             "' was not found: importkeywords reads the keywords from it.");
  } else {
    AddCommandError(log, "Unable to import the keywords of '" + dump.Str() +
                             "': it cannot be read, is damaged, or the asset database did not "
                             "take them.");
  }
  return kCommandFailed;
}
