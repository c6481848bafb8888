// Requests 0x27 (install a folder), 0x29 (install several folders), 0x28
// (install a ".cdp" archive) and 0x96 (a tool's answer to a question asked
// while installing).
//
//   0x27  string folder path, u32 install mode, u8 callback
//         -> KUID installed (null on failure), u8 1 on success
//   0x28  string archive path, u32 install mode, u8 callback
//         -> u32 number of assets installed (0 on failure), u8 1 when every
//            asset of the archive was installed
//   0x29  u32 install mode, u32 count N (at least 1), N strings folder path
//         -> u32 count M, M times (KUID installed (null on failure), u8 1 on
//            success), one per folder in order; M is less than N only when
//            the tool went away (the rest were not installed)
//   0x96  (one-way) u32 clientTransactionID, i32 answer
// Messages (code 3) reach the tool before the reply. The install mode is
// accepted and not interpreted. Questions are asked only when the callback
// byte is 1 (see InstallQuestions.h); 0x29 never asks. The archive and the
// folders are installed by the daemon itself (ArchiveInstaller.h): the
// folders of one 0x29 request are made durable together, with the messages
// each would have given as a 0x27 request of its own, in order.
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/ArchiveInstaller.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/InstallQuestions.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

struct InstallBody {
  std::string path;
  uint32_t mode = 0;
  bool callback = false;
};

// False (with an error message sent) for a body that does not hold the
// three fields.
bool ReadInstallBody(DaemonRequest& request, InstallBody& out) {
  TStream& body = request.Body();
  Kiv::String path;
  body.ReadString(path);
  TStreamReadU32(body, out.mode, 0);
  uint8_t callback = 0;
  if (TStreamReadBytes(body, &callback, 1) != 1) body.SetError(TStream::kErrorShortRead);
  if (body.GetError() != TStream::kErrorNone || path.empty()) {
    request.SendMessage(ResultsLog::kError, "The install request is damaged or names no path.");
    return false;
  }
  out.callback = callback == 1;
  out.path = ResolveRequestPath(request.Context().BinPath().Str(), path);
  return true;
}

std::shared_ptr<AssetStore> FindStore(DaemonRequest& request) {
  auto store = request.Context().Find<AssetStore>();
  if (!store) request.SendMessage(ResultsLog::kError, "The asset database is not open.");
  return store;
}

InstallQuestions* QuestionsFor(DaemonRequest& request, const InstallBody& body) {
  if (!body.callback) return nullptr;
  return request.Context().Find<InstallQuestions>().get();
}

void WriteFolderResult(TStream& reply, const FolderInstallResult& result) {
  WriteKUID(reply, result.kuid);
  TStreamWriteU8(reply, result.kuid.IsNull() ? 0 : 1);
}

void HandleInstallFolder(DaemonRequest& request) {
  InstallBody body;
  FolderInstallResult result;
  if (ReadInstallBody(request, body)) {
    if (auto store = FindStore(request)) {
      result = InstallAssetFolder(request, *store, QuestionsFor(request, body), body.path);
    }
  }
  WriteFolderResult(request.Reply(), result);
}

// False (with an error message sent) for a body that does not hold the
// mode, a count of at least one and that many paths, none empty.
bool ReadFoldersBody(DaemonRequest& request, std::vector<std::string>& folders) {
  TStream& body = request.Body();
  uint32_t mode = 0;
  uint32_t count = 0;
  TStreamReadU32(body, mode, 0);
  TStreamReadU32(body, count, 0);
  // Each path takes at least one byte, so the count is bounded by the body.
  bool good = count != 0 && count <= request.BodyRemaining();
  for (uint32_t i = 0; good && i < count; ++i) {
    Kiv::String path;
    body.ReadString(path);
    good = body.GetError() == TStream::kErrorNone && !path.empty();
    if (good) folders.push_back(ResolveRequestPath(request.Context().BinPath().Str(), path));
  }
  if (good && body.GetError() == TStream::kErrorNone) return true;
  request.SendMessage(ResultsLog::kError, "The install request is damaged or names no path.");
  return false;
}

void HandleInstallFolders(DaemonRequest& request) {
  std::vector<std::string> folders;
  std::vector<FolderInstallResult> results;
  if (ReadFoldersBody(request, folders)) {
    if (auto store = FindStore(request)) {
      results = InstallAssetFolders(request, *store, nullptr, folders);
    }
  }
  TStreamWriteU32(request.Reply(), uint32_t(results.size()));
  for (const FolderInstallResult& result : results) WriteFolderResult(request.Reply(), result);
}

void HandleInstallArchive(DaemonRequest& request) {
  InstallBody body;
  ArchiveInstallResult result;
  if (ReadInstallBody(request, body)) {
    if (auto store = FindStore(request)) {
      result = InstallArchive(request, *store, QuestionsFor(request, body), body.path);
    }
  }
  TStreamWriteU32(request.Reply(), result.installed);
  TStreamWriteU8(request.Reply(), result.installed != 0 && result.complete ? 1 : 0);
}

void HandleAnswer(DaemonRequest& request) {
  uint32_t id = 0;
  uint32_t answer = 0;
  TStreamReadU32(request.Body(), id, 0);
  TStreamReadU32(request.Body(), answer, 0);
  if (request.Body().GetError() != TStream::kErrorNone) return;
  if (auto questions = request.Context().Find<InstallQuestions>()) {
    questions->Answer(request.Connection(), id, int32_t(answer));
  }
}

bool Start(DaemonContext& context) {
  auto questions = std::make_shared<InstallQuestions>(context);
  context.Provide<InstallQuestions>(questions);
  context.AddCloseObserver([questions](const std::shared_ptr<DaemonConnection>& connection) {
    questions->OnClosed(connection);
  });
  return true;
}

void Register(RequestRegistry& registry, DaemonContext& /*context*/) {
  registry.Register(VADRequestCode::kInstallFolder, &HandleInstallFolder);
  registry.Register(VADRequestCode::kInstallFolders, &HandleInstallFolders);
  registry.Register(VADRequestCode::kInstallArchive, &HandleInstallArchive);
  registry.Register(VADRequestCode::kAnswerQuestion, &HandleAnswer);
}

}  // namespace

VAD_DAEMON_MODULE(DaemonModule{.name = "install",
                               .order = DaemonModule::kOrderInstall,
                               .start = &Start,
                               .registerHandlers = &Register,
                               .stop = nullptr});
