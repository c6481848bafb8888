// "setlanguage" and "registeraccount": values of the settings group
// "internet" that the daemon keeps for the program.
#include <array>
#include <string>
#include <string_view>

#include "assetdb/client/SettingsRequests.h"
#include "cli/CommandArgs.h"
#include "cli/Commands.h"
#include "foundation/soup/Soup.h"
#include "kiv/String.h"

namespace {

constexpr std::array<std::string_view, 13> kLanguageCodes = {
    "US", "UK", "CN", "CZ", "NL", "FR", "DE", "IT", "KR", "PL", "RU", "ES", "HU"};

const Kiv::PString& InternetGroup() {
  static const Kiv::PString group("internet");
  return group;
}

// The error of a write the daemon did not keep: its reason, when it gave
// one (the settings file that could not be saved, say).
void AddWriteError(ResultsLog& log, const std::string& failure) {
  if (failure.empty()) {
    AddCommandError(log, "Unable to write internet settings.");
    return;
  }
  AddCommandError(log, "Unable to write internet settings: " + failure + ".");
}

bool IsLanguageCode(std::string_view code) {
  for (std::string_view known : kLanguageCodes) {
    if (Kiv::EqualsIgnoreCase(code, known)) return true;
  }
  return false;
}

}  // namespace

// The language takes effect at the next start. A value the daemon did not
// store is reported, not passed off as set.
int32_t SetLanguageCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  const Kiv::PString code = LowerFirstArgument(argc, argv);
  if (code.Empty()) {
    AddCommandError(log, "Missing input langauge id parameter.");
    return kCommandFailed;
  }
  if (!IsLanguageCode(code.View())) {
    AddCommandError(log, "Unknown language code.");
    return kCommandFailed;
  }
  std::string failure;
  if (!WriteSetting(InternetGroup(), Kiv::PString("language"), code, &failure)) {
    AddWriteError(log, failure);
    return kCommandFailed;
  }
  return kCommandSucceeded;
}

// Reached only with a user name and a password (see the command table).
int32_t RegisterAccountCommand(ResultsLog& log, EngineObjects&, int argc, char** argv) {
  Soup settings;
  if (!ReadSettingsGroup(settings, InternetGroup())) {
    AddCommandError(log, "Unable to read internet settings.");
    return kCommandFailed;
  }
  settings.SetNamedTag(Kiv::PString("username"), ArgumentText(argc, argv, 2));
  settings.SetNamedTag(Kiv::PString("password"), ArgumentText(argc, argv, 3));
  std::string failure;
  if (!WriteSettingsGroup(InternetGroup(), settings, &failure)) {
    AddWriteError(log, failure);
    return kCommandFailed;
  }
  return kCommandSucceeded;
}
