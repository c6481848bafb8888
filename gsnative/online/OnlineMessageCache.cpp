#include "gsnative/online/OnlineMessageCache.h"

#include "foundation/layout/FolderLayout.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineWire.h"
#include "kiv/File.h"
#include "kiv/Log.h"
#include "kiv/basics/ReplaceFile.h"

namespace OnlineMessageCache {

ReadResult Read(TStream& stream, MessageList& out) {
  WireReader reader(stream);
  uint32_t version = 0;
  uint32_t count = 0;
  if (!reader.U32(version) || version != kVersion) return ReadResult::kWrongVersion;
  if (!reader.U32(count)) return ReadResult::kDamaged;
  for (uint32_t i = 0; i < count; ++i) {
    auto message = std::make_unique<OnlineVersionedMessage>();
    if (!message->Read(reader)) return ReadResult::kDamaged;
    if (out.size() < kMaxMessages) out.push_back(std::move(message));
  }
  return ReadResult::kLoaded;
}

void Write(TStream& stream, const MessageList& messages) {
  const uint32_t count =
      messages.size() < kMaxMessages ? static_cast<uint32_t>(messages.size()) : kMaxMessages;
  TStreamWriteU32(stream, kVersion);
  TStreamWriteU32(stream, count);
  for (uint32_t i = 0; i < count; ++i) {
    const OnlineMessage& message = *messages[i];
    if (message.IsVersioned()) {
      message.Write(stream);
      continue;
    }
    OnlineVersionedMessage plain;
    plain.userName = message.userName;
    plain.body = message.body;
    plain.kuid = message.kuid;
    plain.version = 0;
    plain.Write(stream);
  }
}

std::string DefaultPath() {
  Kiv::File::Path path = GetCachePath();
  path.AddPath("oa_messages.dat");
  return path.Str();
}

ReadResult Load(const std::string& path, MessageList& out) {
  TFile file;
  if (!file.Open(path, Kiv::File::kRead | Kiv::File::kRegularOnly)) return ReadResult::kDamaged;
  const ReadResult result = Read(file, out);
  if (result == ReadResult::kDamaged) {
    Kiv::Log::Printf("OnlineMessageCache::Load> '%s' is damaged; %zu message(s) read",
                     path.c_str(), out.size());
  }
  return result;
}

bool Save(const std::string& path, const MessageList& messages) {
  TBuffer content;
  Write(content, messages);
  if (content.GetError() != TStream::kErrorNone) return false;
  if (Kiv::File::IsDirectory(path)) Kiv::File::Prune(path);
  const Kiv::DynamicBuffer* data = content.GetData();
  return Kiv::ReplaceFile(path, [data](Kiv::File& file) {
    return file.Write(data->Data(), data->DataLength()) == data->DataLength();
  });
}

}  // namespace OnlineMessageCache
