#include "assetdb/client/VADAssetHandle.h"

#include "assetdb/client/VADClientRequests.h"
#include "assetdb/client/VADRequest.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

// Reads the name and folder of a handle reply into a new open handle in
// `out`; none when the daemon gave no handle.
bool MakeHandle(TStream& reply, uint64_t daemonHandle, const KUID& kuid, VADAssetHandleRef& out) {
  Kiv::PString name;
  Kiv::String folder;
  reply.ReadPString(name);
  reply.ReadString(folder);
  if (daemonHandle == VADAssetHandle::kNoHandle) return false;
  auto* handle = new VADAssetHandle;
  handle->daemonHandle = daemonHandle;
  handle->kuid = kuid;
  handle->name = name;
  handle->folder = Kiv::File::Path(folder);
  handle->open = true;
  out.handle = handle;
  out.status = VADAssetHandleRef::kHandleValid;
  return true;
}

void ClearRef(VADAssetHandleRef& ref) {
  ref.handle = nullptr;
  ref.status = 0;
}

}  // namespace

uint64_t DropAssetHandle(VADAssetHandleRef& ref) {
  VADAssetHandle* handle = ref.handle;
  ClearRef(ref);
  if (!handle) return VADAssetHandle::kNoHandle;
  if (handle->references.fetch_sub(1, std::memory_order_acq_rel) != 1)
    return VADAssetHandle::kNoHandle;
  const uint64_t daemonHandle = handle->daemonHandle;
  delete handle;
  return daemonHandle;
}

void ReleaseAssetHandle(VADAssetHandleRef& ref) {
  const uint64_t daemonHandle = DropAssetHandle(ref);
  if (daemonHandle != VADAssetHandle::kNoHandle) VADClientRequests::Request1F(daemonHandle);
}

bool ReadOpenHandleReply(TStream& reply, const KUID& kuid, VADAssetHandleRef& out) {
  ClearRef(out);
  uint64_t daemonHandle = VADAssetHandle::kNoHandle;
  TStreamReadU64(reply, daemonHandle, VADAssetHandle::kNoHandle);
  return MakeHandle(reply, daemonHandle, kuid, out);
}

bool VADClientRequests::Request1E(const KUID& kuid, bool open, VADAssetHandleRef& out,
                                  ResultsLog* log) {
  ClearRef(out);
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), open);
  if (!request.Transact(VADRequestCode::kOpenHandle, log)) return false;
  return ReadOpenHandleReply(request.Reply(), kuid, out);
}

bool VADClientRequests::Request1F(uint64_t daemonHandle) {
  VADRequest request;
  TStreamWriteU64(request.Body(), daemonHandle);
  return request.Transact(VADRequestCode::kReleaseHandle);
}

bool VADClientRequests::OpenForEdit(VADAssetHandle* handle, Kiv::PString& name,
                                    Kiv::File::Path& folder) {
  name.Release();
  folder = Kiv::File::Path();
  if (!handle) return false;
  if (!handle->open) {
    VADRequest request;
    TStreamWriteU64(request.Body(), handle->daemonHandle);
    if (request.Transact(VADRequestCode::kOpenForEdit)) {
      Kiv::String text;
      request.Reply().ReadPString(handle->name);
      request.Reply().ReadString(text);
      handle->folder = Kiv::File::Path(text);
      handle->open = true;
    }
  }
  if (!handle->open || handle->folder.Empty()) return false;
  name = handle->name;
  folder = handle->folder;
  return true;
}

bool VADClientRequests::RevertAsset(VADAssetHandleRef& ref, ResultsLog* log) {
  if (!ref.handle) return false;
  VADRequest request;
  TStreamWriteU64(request.Body(), ref.handle->daemonHandle);
  bool reverted = false;
  if (request.Transact(VADRequestCode::kRevertAsset, log))
    TStreamReadBool(request.Reply(), reverted, false);
  ref.handle->open = false;
  ReleaseAssetHandle(ref);
  return reverted;
}

bool VADClientRequests::CommitAsset(VADAssetHandleRef& ref, uint32_t flags, ResultsLog* log,
                                    bool* second) {
  if (second) *second = false;
  if (!ref.handle) return false;
  VADRequest request;
  TStreamWriteU64(request.Body(), ref.handle->daemonHandle);
  TStreamWriteU32(request.Body(), flags);
  if (!request.Transact(VADRequestCode::kCommitAsset, log)) return false;
  bool committed = false;
  bool extra = false;
  TStreamReadBool(request.Reply(), committed, false);
  TStreamReadBool(request.Reply(), extra, false);
  if (second) *second = extra;
  if (!committed) return false;
  ref.handle->open = false;
  ReleaseAssetHandle(ref);
  return true;
}

bool VADClientRequests::Request23(const KUID& kuid, bool flag, const Kiv::String& name,
                                  VADAssetHandleRef& out) {
  ClearRef(out);
  VADRequest request;
  WriteKUID(request.Body(), kuid);
  TStreamWriteBool(request.Body(), flag);
  request.Body().WriteString(name);
  if (!request.Transact(VADRequestCode::kReserveAsset)) return false;
  uint64_t daemonHandle = VADAssetHandle::kNoHandle;
  TStreamReadU64(request.Reply(), daemonHandle, VADAssetHandle::kNoHandle);
  const KUID given = ReadKUID(request.Reply());
  return MakeHandle(request.Reply(), daemonHandle, given, out);
}
