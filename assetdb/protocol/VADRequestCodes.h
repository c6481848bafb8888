// The request codes of the asset-database connection: one table that both
// the client (assetdb/client, cli) and the stand-in daemon (vaddaemon) take
// their constants from, so that a code is written down once.
//
// VAD_REQUEST_CODES(X) expands X(Name, code, daemon, meaning) per request:
//   Name     gives the constant VADRequestCode::kName;
//   code     the u32 word that opens the request frame (VADFrames.h);
//   daemon   kAnswered when the stand-in daemon registers a handler for
//            it, kUnanswered when it deliberately leaves it to the
//            daemon's unknown-code path (logged; an empty reply);
//   meaning  a short description; bodies and replies are documented where
//            each side reads or writes them (VADClientRequests.h,
//            vaddaemon/README.md).
// A test (tests/vaddaemon/RequestCodesTest.cpp) holds the daemon's request
// registry to this table. Notification codes (daemon to client) are a
// different kind and live in VADNotification.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// clang-format off
#define VAD_REQUEST_CODES(X)                                                                          \
  X(KeepAlive,           0x00,  kAnswered, "keep-alive; empty both ways")                             \
  X(SearchAssets,        0x02,  kAnswered, "the assets a filter matches")                             \
  X(StartRepair,         0x03,  kAnswered, "starts a database repair; messages follow")               \
  X(PollRepair,          0x04,  kAnswered, "whether a repair runs, its progress and status")          \
  X(GetAssetConfig,      0x14,  kAnswered, "an asset's configuration as a binary soup")               \
  X(GetAssetInfo,        0x15,  kAnswered, "an asset's record")                                       \
  X(GetAssetFolder,      0x17,  kAnswered, "an asset's installed folder")                             \
  X(ResolveKUID,         0x1A,  kAnswered, "the locally available version of a KUID")                 \
  X(NewestKUID,          0x1B,  kAnswered, "the newest known version of a KUID")                      \
  X(GetDescription,      0x1C,  kAnswered, "an asset's description in the user's language")           \
  X(GetThumbnail,        0x1D,  kAnswered, "an asset's thumbnail file")                               \
  X(OpenHandle,          0x1E,  kAnswered, "opens a handle on an asset, for edit or not")             \
  X(ReleaseHandle,       0x1F,  kAnswered, "forgets a handle")                                        \
  X(OpenForEdit,         0x20,  kAnswered, "the edit folder of a handle's asset")                     \
  X(RevertAsset,         0x21,  kAnswered, "drops a handle's edit copy")                              \
  X(CommitAsset,         0x22,  kAnswered, "installs a handle's edit copy")                           \
  X(ReserveAsset,        0x23,  kAnswered, "reserves a KUID for a new asset and opens it for edit")   \
  X(DeleteAsset,         0x24,  kAnswered, "deletes an asset")                                        \
  X(Validate,            0x26,  kAnswered, "validates a folder on a command host")                    \
  X(InstallFolder,       0x27,  kAnswered, "installs an asset folder")                                \
  X(InstallArchive,      0x28,  kAnswered, "installs the assets of an archive")                       \
  X(InstallFolders,      0x29,  kAnswered, "installs several asset folders, made durable together")   \
  X(GetDependencies,     0x2A,  kAnswered, "the dependencies of a list of assets")                    \
  X(GetObsoletes,        0x2B,  kAnswered, "the assets an asset makes obsolete")                      \
  X(ExportEntry,         0x30,  kAnswered, "an asset as an archive entry")                            \
  X(SetFavourite,        0x32,  kAnswered, "sets an asset's favourite mark (one-way)")                \
  X(SetKeywords,         0x36,  kAnswered, "sets an asset's keywords (one-way)")                      \
  X(GenerateKUID,        0x3A,  kAnswered, "a KUID never handed out before")                          \
  X(NeededItems,         0x4A,  kAnswered, "which listed items are not installed")                    \
  X(LookupUserName,      0x5A,  kAnswered, "a user's second id and name")                             \
  X(ReadSettingsGroup,   0x64,  kAnswered, "a settings group as a binary soup")                       \
  X(WriteSettingsGroup,  0x65,  kAnswered, "replaces a settings group")                               \
  X(ReadSetting,         0x66,  kAnswered, "one setting")                                             \
  X(WriteSetting,        0x67,  kAnswered, "stores one setting")                                      \
  X(GetLocalData,        0x79,  kAnswered, "a soup stored under an asset and a key")                  \
  X(SetLocalData,        0x7A,  kAnswered, "stores a soup under an asset and a key (one-way)")        \
  X(RegisterCommandHost, 0x8C,  kAnswered, "makes the connection a command host (one-way)")           \
  X(CommandHostReply,    0x8D,  kAnswered, "a command host's answer to its job (one-way)")            \
  X(AnswerQuestion,      0x96,  kAnswered, "the answer to an install question (one-way)")             \
  X(TextureFlag,         0xB5,  kAnswered, "whether accelerated texture work is off")                 \
  X(StartWebRequest,     0xE6,  kAnswered, "starts a web request; a handle")                          \
  X(ForgetWebRequest,    0xE7,  kAnswered, "forgets a web request (one-way)")                         \
  X(PollWebRequest,      0xE8,  kAnswered, "a web request's status")                                  \
  X(GetOnlineUsername,   0xF0,  kAnswered, "the online account's user name")                          \
  X(LoginRefused,        0xF1,  kAnswered, "the service refused the login (one-way)")                 \
  X(GetCredential,       0xF2,  kAnswered, "the online account's credential")                         \
  X(ListBuilds,          0xFD,  kAnswered, "the installed builds")                                    \
  X(RepairDatabase,      0x100, kAnswered, "starts a background repair (one-way)")                    \
  X(CloseDaemon,         0x10E, kAnswered, "ends the daemon after the reply")
// clang-format on

namespace VADRequestCode {

enum Daemon : uint8_t { kAnswered, kUnanswered };

#define VAD_REQUEST_CODE_CONSTANT(name, code, daemon, meaning) \
  inline constexpr uint32_t k##name = code;
VAD_REQUEST_CODES(VAD_REQUEST_CODE_CONSTANT)
#undef VAD_REQUEST_CODE_CONSTANT

struct Entry {
  uint32_t code;
  const char* name;
  Daemon daemon;
  const char* meaning;
};

#define VAD_REQUEST_CODE_ENTRY(name, code, daemon, meaning) Entry{code, #name, daemon, meaning},
inline constexpr Entry kTable[] = {VAD_REQUEST_CODES(VAD_REQUEST_CODE_ENTRY)};
#undef VAD_REQUEST_CODE_ENTRY

// The entry of `code`, or null when the table has none.
constexpr const Entry* Find(uint32_t code) {
  for (const Entry& entry : kTable) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

constexpr bool CodesIncrease() {
  for (size_t i = 1; i < std::size(kTable); ++i) {
    if (kTable[i - 1].code >= kTable[i].code) return false;
  }
  return true;
}
static_assert(CodesIncrease(), "request codes must be listed once each, in increasing order");

}  // namespace VADRequestCode
