#include "assetdb/client/AssetInstall.h"

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/client/VADClient.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/stream/TStreamTyped.h"

KUID InstallFolder(const Kiv::String& folder, ResultsLog* log, uint32_t mode, bool* outFlag,
                   VADTransactionCallback* callback) {
  if (outFlag) *outFlag = false;
  VADRequest request;
  request.Body().WriteString(folder);
  TStreamWriteU32(request.Body(), mode);
  TStreamWriteBool(request.Body(), callback != nullptr);
  TStreamRewind(request.Body());
  if (!VADClient::Transact(VADRequestCode::kInstallFolder, request.Body(), request.Reply(),
                           callback, log, false))
    return kNullKUID;
  TStreamRewind(request.Reply());
  const KUID installed = ReadKUID(request.Reply());
  bool flag = false;
  TStreamReadBool(request.Reply(), flag, false);
  if (outFlag) *outFlag = flag;
  return installed;
}

std::vector<KUID> InstallFolders(const std::vector<Kiv::String>& folders, ResultsLog* log,
                                 uint32_t mode, bool* outFlag) {
  std::vector<KUID> installed(folders.size(), kNullKUID);
  // Every folder gives exactly one message, in order, so the messages that
  // came tell how far the daemon got: they tell an empty answer to a
  // request the daemon does not know (no message) from one that failed on
  // the way, and, when the connection is lost, which folder was under way.
  ResultsLog dropped;
  ResultsLog& messages = log != nullptr ? *log : dropped;
  for (size_t begin = 0; begin < folders.size();) {
    if (outFlag) *outFlag = false;
    VADRequest request;
    TStreamWriteU32(request.Body(), mode);
    TStreamWriteU32(request.Body(), uint32_t(folders.size() - begin));
    for (size_t i = begin; i < folders.size(); ++i) request.Body().WriteString(folders[i]);
    TStreamRewind(request.Body());
    const uint32_t messagesBefore = messages.MessageCount();
    if (!VADClient::Transact(VADRequestCode::kInstallFolders, request.Body(), request.Reply(),
                             nullptr, &messages, false)) {
      // As when each folder goes alone: the folder under way is lost, the
      // ones after it are sent again (the client reconnects).
      begin += messages.MessageCount() - messagesBefore + 1;
      continue;
    }
    TStreamRewind(request.Reply());
    uint32_t count = 0;
    TStreamReadU32(request.Reply(), count, 0);
    if (request.Reply().GetError() != TStream::kErrorNone) {
      if (messages.MessageCount() != messagesBefore) break;
      for (size_t i = begin; i < folders.size(); ++i)
        installed[i] = InstallFolder(folders[i], log, mode, outFlag, nullptr);
      break;
    }
    const size_t sent = folders.size() - begin;
    for (size_t i = 0; i < count && i < sent; ++i) {
      installed[begin + i] = ReadKUID(request.Reply());
      bool flag = false;
      TStreamReadBool(request.Reply(), flag, false);
      if (outFlag) *outFlag = count == sent && flag;
    }
    break;
  }
  return installed;
}

uint32_t InstallCDP(const char* archivePath, ResultsLog* log, uint32_t mode, bool* outFlag,
                    VADTransactionCallback* callback) {
  if (outFlag) *outFlag = false;
  VADRequest request;
  request.Body().WriteString(archivePath ? archivePath : "");
  TStreamWriteU32(request.Body(), mode);
  TStreamWriteBool(request.Body(), callback != nullptr);
  TStreamRewind(request.Body());
  if (!VADClient::Transact(VADRequestCode::kInstallArchive, request.Body(), request.Reply(),
                           callback, log, false))
    return 0;
  TStreamRewind(request.Reply());
  uint32_t result = 0;
  TStreamReadU32(request.Reply(), result, 0);
  bool flag = false;
  TStreamReadBool(request.Reply(), flag, false);
  if (outFlag) *outFlag = flag;
  return result;
}

void CreateCDP(Soup& entry, const KUID& kuid, ResultsLog* log, uint32_t partsMask) {
  entry.Release();
  entry.Create();
  entry.SetNamedTag(CDP::Tag::Compression(), "LZSS");
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteU32(request.Body(), partsMask);
  if (!request.Transact(VADRequestCode::kExportEntry, log)) return;
  if (request.ReplyRemaining() == 0) return;
  Soup read;
  if (!BinarySoup::Read(request.Reply(), read) || read.Empty()) return;
  entry = read;
}
