#include "cli/CommandTable.h"

#include <array>

#include "cli/Commands.h"
#include "cli/ImportConsists.h"
#include "cli/InstallFromFcyCommand.h"
#include "cli/KeywordCommands.h"
#include "cli/ParseCDPForFetchery.h"
#include "cli/ValidateAsset.h"

namespace {

// "registeraccount" needs the user name and the password (slots 2 and 3).
constexpr int kRegisterAccountArgc = 4;

constexpr std::array kCommands = {
    CommandEntry{"version", VersionCommand, 0},
    CommandEntry{"installedversionlo", InstalledVersionLoCommand, 0},
    CommandEntry{"installedversionhi", InstalledVersionHiCommand, 0},
    CommandEntry{"installedbuildnumberlo", InstalledBuildNumberLoCommand, 0},
    CommandEntry{"installedbuildnumberhi", InstalledBuildNumberHiCommand, 0},
    CommandEntry{"echo", EchoCommand, 0},
    CommandEntry{"installedversion", InstalledVersionCommand, 0},
    CommandEntry{"installedbuildnumber", InstalledBuildNumberCommand, 0},
    CommandEntry{"setlanguage", SetLanguageCommand, 0},
    CommandEntry{"registeraccount", RegisterAccountCommand, kRegisterAccountArgc},
    CommandEntry{"closevaddaemon", CloseVADDaemonCommand, 0},
    CommandEntry{"installcdp", InstallCDPCommand, 0},
    CommandEntry{"installfrompath", InstallFromPathCommand, 0},
    CommandEntry{"installfromfcy", InstallFromFcyCommand, 0},
    CommandEntry{"importconsists", ImportConsistsCommand, 0},
    CommandEntry{"edit", EditCommand, 0},
    CommandEntry{"printconfig", PrintConfigCommand, 0},
    CommandEntry{"compile", CompileCommand, 0},
    CommandEntry{"vadcommandhost", VADCommandHostCommand, 0},
    CommandEntry{"encrypt", EncryptCommand, 0},
    CommandEntry{"listbuilds", ListBuildsCommand, 0},
    CommandEntry{"commit", CommitCommand, 0},
    CommandEntry{"revert", RevertCommand, 0},
    CommandEntry{"delete", DeleteCommand, 0},
    CommandEntry{"generatekuid", GenerateKUIDCommand, 0},
    CommandEntry{"repairdatabase", RepairDatabaseCommand, 0},
    CommandEntry{"compresstexture", CompressTextureCommand, 0},
    CommandEntry{"authors", AuthorsCommand, 0},
    CommandEntry{"searchbycategory", SearchByCategoryCommand, 0},
    CommandEntry{"status", StatusCommand, 0},
    CommandEntry{"validate", ValidateCommand, 0},
    CommandEntry{"createcdp", CreateCDPCommand, 0},
    CommandEntry{"fcyparse", FcyParseCommand, 0},
    CommandEntry{"fcydeleteall", FetcheryDeleteAllCommand, 0},
    CommandEntry{"backupkeywords", BackupKeywordsCommand, 0},
    CommandEntry{"importkeywords", ImportKeywordsCommand, 0},
};

}  // namespace

std::span<const CommandEntry> CommandTable() {
  return kCommands;
}

const CommandEntry* FindCommand(std::string_view lowerWord, int argc) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.word == lowerWord && argc >= entry.minimumArgc) return &entry;
  }
  return nullptr;
}
