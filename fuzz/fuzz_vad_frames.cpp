// Fuzzes the daemon client's frame reader with the input as the bytes the
// daemon sends: frames are read until the reader ends the connection. Odd
// reply ids count as pending, so their bodies are read as a requester
// would; every notification is handled as the client handles it (results
// into a log registered for id 1, questions answered, hooks reading their
// payloads). Nothing may crash, hang or allocate without bound.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "assetdb/client/VADClient.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADFrames.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

class InputSource : public VADFrames::ByteSource {
 public:
  InputSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Receive(void* dst, uint32_t n) override {
    if (size_ - at_ < n) return false;
    std::memcpy(dst, data_ + at_, n);
    at_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

class Sink : public VADFrames::FrameSink {
 public:
  explicit Sink(InputSource& source) : source_(source) {}
  bool OnReply(uint32_t id) override {
    if ((id & 1) == 0) return false;
    TBuffer reply;
    VADFrames::ReplyBody body = VADFrames::ReadReplyBody(source_, reply);
    if (body == VADFrames::ReplyBody::kStored &&
        reply.GetData()->DataLength() > VADFrames::kMaxReplyLength) {
      std::abort();
    }
    return true;
  }
  void OnNotification(std::unique_ptr<VADNotification> note) override {
    if (note->data.DataLength() > VADNotification::kMaxPayload) std::abort();
    VADClient::HandleNotification(note->payload, note->code);
  }

 private:
  InputSource& source_;
};

void ReadAll(TStream& stream) {
  uint8_t buffer[256];
  while (stream.Read(buffer, sizeof buffer) == sizeof buffer) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool hooks = [] {
    VADClient::SetCommandHostHook([](TStream& payload, TStream& reply) {
      ReadAll(payload);
      TStreamWriteU32(reply, 1);
    });
    VADClient::SetHttpStatusHook([](uint64_t, TStream& status) { ReadAll(status); });
    return true;
  }();
  (void)hooks;
  ResultsLog log;
  ResultsLog::RegisterRequest(1, &log);
  InputSource source(data, size);
  Sink sink(source);
  for (int frames = 0; frames < 10000 && VADFrames::ReadFrame(source, sink); ++frames) {
  }
  VADClient::JoinQuestionThreads();
  ResultsLog::UnregisterLog(&log);
  return 0;
}
