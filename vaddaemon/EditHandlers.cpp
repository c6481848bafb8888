// Asset handles, edits and deletion: 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23,
// 0x24 (see QueryHandlers.h and the README). Folders are answered as a
// content-location name ("local" or "editing") and the folder's full path,
// which the tool uses as given.
//
// 0x1E, 0x21, 0x22 and 0x24 carry the caller's log: each failure, and each
// completed revert, commit and delete, is reported there as one code-3
// message about the asset, sent before the reply.
#include <memory>
#include <string>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/EditHandleTable.h"
#include "vaddaemon/QueryHandlerSupport.h"
#include "vaddaemon/QueryHandlers.h"
#include "vaddaemon/RequestRegistry.h"
#include "vaddaemon/TextureConversionJob.h"

namespace {

using Handles = std::shared_ptr<EditHandleTable>;

constexpr uint64_t kNoHandle = EditHandleTable::kNoHandle;

uint64_t ConnectionOf(DaemonRequest& request) {
  return request.Connection().Number();
}

void WriteFolder(DaemonRequest& request, std::string_view location, std::string_view path) {
  WriteReplyPString(request.Reply(), location);
  WriteReplyText(request.Reply(), path);
}

void Fail(DaemonRequest& request, const std::string& text, const KUID* kuid) {
  request.SendMessage(ResultsLog::kError, text, kuid);
}

// 0x1E: KUID, u8 open -> u64 handle, PString location, string folder. With
// open set the asset is opened for edit and its edit folder answered;
// otherwise its editable copy: the edit folder of an asset open for edit,
// else its installed folder. Failure: all ones, empty, empty, and an error
// message.
void OpenHandle(const Handles& handles, DaemonRequest& request) {
  KUID kuid;
  bool edit = false;
  auto store = FindAssetStore(request);
  const bool read = ReadBodyKUID(request, &kuid) && ReadBodyBool(request, &edit);
  std::string location = edit ? AssetStore::kEditingLocation : AssetStore::kLocalLocation;
  std::string path;
  std::string problem;
  if (!read || !store) {
    problem = "The asset could not be opened.";
  } else if (edit) {
    AssetStore::EditInfo info;
    const StoreResult result = store->BeginEdit(kuid, &info);
    if (result.Ok()) path = info.path;
    SendSetAside(request, info.setAside, kuid);
    problem = result.Ok() ? "" : result.message;
  } else {
    StoredAsset asset;
    if (store->Find(kuid, &asset) && asset.OpenForEdit()) {
      location = AssetStore::kEditingLocation;
      path = store->EditPath(asset);
    } else if (asset.Installed()) {
      path = store->InstalledPath(asset);
    }
    problem = path.empty() ? "The asset is not installed locally." : "";
  }
  uint64_t handle = kNoHandle;
  if (problem.empty()) {
    handle = handles->Open(ConnectionOf(request), kuid, edit);
    if (handle == kNoHandle) problem = "Too many asset handles are open.";
  }
  if (!problem.empty()) {
    Fail(request, problem, read ? &kuid : nullptr);
    TStreamWriteU64(request.Reply(), kNoHandle);
    WriteFolder(request, "", "");
    return;
  }
  TStreamWriteU64(request.Reply(), handle);
  WriteFolder(request, location, path);
}

// 0x1F: u64 handle -> nothing; the handle is forgotten.
void ReleaseHandle(const Handles& handles, DaemonRequest& request) {
  uint64_t handle = 0;
  if (ReadBodyU64(request, &handle)) handles->Release(ConnectionOf(request), handle);
}

// 0x20 answered by `open` (the store, the handle's KUID, the edit info to
// fill; true when the asset is open for edit): the edit folder, and the
// handle marked for edit. False, with nothing written, when the handle is
// unknown or `open` fails.
template <typename Open>
bool AnswerEditFolder(const Handles& handles, DaemonRequest& request, Open open) {
  uint64_t handle = 0;
  EditHandleTable::Entry entry;
  auto store = FindAssetStore(request);
  AssetStore::EditInfo info;
  if (!ReadBodyU64(request, &handle) || !handles->Find(ConnectionOf(request), handle, &entry) ||
      !store || !open(*store, entry.kuid, &info))
    return false;
  handles->SetEdit(ConnectionOf(request), handle, true);
  WriteFolder(request, AssetStore::kEditingLocation, info.path);
  return true;
}

// 0x20: u64 handle -> PString location, string folder: the asset's edit
// folder, opening it for edit when it is not yet; both empty on failure.
void EditFolder(const Handles& handles, DaemonRequest& request) {
  const bool answered = AnswerEditFolder(
      handles, request, [](AssetStore& store, const KUID& kuid, AssetStore::EditInfo* info) {
        return store.BeginEdit(kuid, info).Ok();
      });
  if (!answered) WriteFolder(request, "", "");
}

// 0x20 on the reader: the edit folder of an asset already open for edit,
// when nothing else holds the asset; false (nothing done) otherwise.
bool EditFolderIfOpen(const Handles& handles, DaemonRequest& request) {
  return AnswerEditFolder(handles, request,
                          [](AssetStore& store, const KUID& kuid, AssetStore::EditInfo* info) {
                            return store.BeginEditIfOpen(kuid, info);
                          });
}

// Reads the u64 handle of 0x21/0x22 and finds its asset; reports an error
// message when it cannot.
bool FindHandle(const Handles& handles, DaemonRequest& request, uint64_t* handle,
                EditHandleTable::Entry* entry) {
  if (ReadBodyU64(request, handle) && handles->Find(ConnectionOf(request), *handle, entry))
    return true;
  Fail(request, "Unknown asset handle.", nullptr);
  return false;
}

// 0x21: u64 handle -> u8 reverted. The edit copy is dropped (a reserved,
// never committed asset goes with it).
void Revert(const Handles& handles, DaemonRequest& request) {
  uint64_t handle = 0;
  EditHandleTable::Entry entry;
  auto store = FindAssetStore(request);
  if (!FindHandle(handles, request, &handle, &entry) || !store) {
    TStreamWriteU8(request.Reply(), 0);
    return;
  }
  const StoreResult result = store->RevertEdit(entry.kuid);
  if (result.Ok()) {
    handles->SetEdit(ConnectionOf(request), handle, false);
    request.SendMessage(ResultsLog::kInformation, "Local changes were discarded.", &entry.kuid);
  } else {
    Fail(request, result.message, &entry.kuid);
  }
  TStreamWriteU8(request.Reply(), result.Ok() ? 1 : 0);
}

// 0x22: u64 handle, u32 flags -> u8 committed, u8 replaced. The edit folder
// (its textures compiled first, TextureConversionJob.h; a conversion cut
// short fails the commit, the asset left open for edit) becomes the
// installed asset; the second byte tells that an installed copy was
// replaced. Every flags value commits the same way.
void Commit(const Handles& handles, DaemonRequest& request) {
  uint64_t handle = 0;
  uint32_t flags = 0;
  EditHandleTable::Entry entry;
  auto store = FindAssetStore(request);
  if (!FindHandle(handles, request, &handle, &entry) || !store) {
    TStreamWriteU8(request.Reply(), 0);
    TStreamWriteU8(request.Reply(), 0);
    return;
  }
  ReadBodyU32(request, &flags);
  // Textures whose sources changed are compiled in the edit copy first,
  // while the commit holds the asset: the conversion renames each source
  // for a while, which no other commit may take as the asset's files. A
  // conversion cut short commits nothing.
  AssetStore::InstallOutcome outcome;
  const StoreResult result =
      store->CommitEdit(entry.kuid, &outcome, [&](const std::string& editFolder) {
        const std::string cut = CompileFolderTextures(request, editFolder, entry.kuid, true);
        if (cut.empty()) return StoreResult::Success();
        return StoreResult::Fail(StoreCode::kCutShort,
                                 cut + " Nothing was committed: commit again.");
      });
  // The copies the commit let go of are removed once the tool has its answer.
  request.AfterReply([store] { store->RemoveDiscarded(); });
  if (result.Ok()) {
    handles->SetEdit(ConnectionOf(request), handle, false);
    request.SendMessage(ResultsLog::kSuccess, "The asset was committed.", &entry.kuid);
    SendSetAside(request, outcome.setAside, entry.kuid);
  } else {
    Fail(request, result.message, &entry.kuid);
  }
  TStreamWriteU8(request.Reply(), result.Ok() ? 1 : 0);
  TStreamWriteU8(request.Reply(), result.Ok() && outcome.replaced ? 1 : 0);
}

// 0x23: KUID (null: a new one), u8, string display name -> u64 handle,
// KUID, PString location, string folder: an asset reserved for writing and
// its (new, empty, or existing) edit folder. Failure: all ones, the null
// KUID, empty, empty. The request carries no log, so no message is sent.
void Reserve(const Handles& handles, DaemonRequest& request) {
  KUID kuid;
  bool flag = false;
  std::string name;
  auto store = FindAssetStore(request);
  AssetStore::EditInfo info;
  uint64_t handle = kNoHandle;
  if (ReadBodyKUID(request, &kuid) && ReadBodyBool(request, &flag) &&
      ReadBodyText(request, &name) && store && store->Reserve(kuid, name, &info).Ok())
    handle = handles->Open(ConnectionOf(request), info.kuid, true);
  if (handle == kNoHandle) {
    TStreamWriteU64(request.Reply(), kNoHandle);
    WriteKUID(request.Reply(), kNullKUID);
    WriteFolder(request, "", "");
    return;
  }
  TStreamWriteU64(request.Reply(), handle);
  WriteKUID(request.Reply(), info.kuid);
  WriteFolder(request, AssetStore::kEditingLocation, info.path);
}

// 0x24: KUID, u8 -> u8 deleted: the asset's row, files and edit copy.
void Delete(DaemonRequest& request) {
  KUID kuid;
  bool flag = false;
  auto store = FindAssetStore(request);
  if (!ReadBodyKUID(request, &kuid) || !store) {
    Fail(request, "The asset could not be deleted.", nullptr);
    TStreamWriteU8(request.Reply(), 0);
    return;
  }
  ReadBodyBool(request, &flag);
  const StoreResult result = store->Remove(kuid);
  if (result.Ok()) {
    request.SendMessage(ResultsLog::kSuccess, "The asset was deleted.", &kuid);
  } else {
    Fail(request, "The asset could not be deleted: " + result.message + ".", &kuid);
  }
  TStreamWriteU8(request.Reply(), result.Ok() ? 1 : 0);
}

// 0x1E's body is a KUID (8 bytes), then the open byte.
bool OpensInstalledFolder(const std::vector<uint8_t>& body) {
  constexpr size_t kOpenByte = 8;
  return body.size() == kOpenByte + 1 && body[kOpenByte] == 0;
}

}  // namespace

void RegisterEditHandlers(RequestRegistry& registry, DaemonContext& context) {
  auto handles = std::make_shared<EditHandleTable>();
  context.AddCloseObserver([handles](const std::shared_ptr<DaemonConnection>& connection) {
    handles->ReleaseConnection(connection->Number());
  });
  // A handle of the installed folder (open 0) and a release never wait: they
  // are served on the connection's reader. Opening for edit takes the
  // asset's KUID lock and copies its files, so it goes to a worker.
  registry.Register(
      VADRequestCode::kOpenHandle,
      [handles](DaemonRequest& request) { OpenHandle(handles, request); }, &OpensInstalledFolder);
  registry.Register(
      VADRequestCode::kReleaseHandle,
      [handles](DaemonRequest& request) { ReleaseHandle(handles, request); },
      RequestRegistry::Always);
  registry.Register(VADRequestCode::kOpenForEdit,
                    [handles](DaemonRequest& request) { EditFolder(handles, request); });
  registry.RegisterReaderAttempt(VADRequestCode::kOpenForEdit, [handles](DaemonRequest& request) {
    return EditFolderIfOpen(handles, request);
  });
  registry.Register(VADRequestCode::kRevertAsset,
                    [handles](DaemonRequest& request) { Revert(handles, request); });
  registry.Register(VADRequestCode::kCommitAsset,
                    [handles](DaemonRequest& request) { Commit(handles, request); });
  registry.Register(VADRequestCode::kReserveAsset,
                    [handles](DaemonRequest& request) { Reserve(handles, request); });
  registry.Register(VADRequestCode::kDeleteAsset, Delete);
}
