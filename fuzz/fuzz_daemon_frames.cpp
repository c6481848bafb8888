// Fuzzes the daemon's reading of what a client sends: the input is the byte
// stream of one connection. The handshake is read, then request frames
// until the reader ends the connection. Each settings request is then read
// the way its handler reads it (strings, then for 0x65 a group soup) and
// applied to a settings store held in memory. Nothing may crash, hang or
// allocate without bound.
#include <cstdint>
#include <cstring>

#include "foundation/TBuffer.h"
#include "foundation/TStream.h"
#include "kiv/DynamicBuffer.h"
#include "vaddaemon/DaemonFrames.h"
#include "vaddaemon/SettingsStore.h"

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

void ApplySettings(SettingsStore& store, const DaemonFrames::Request& request) {
  if (request.code < 0x64 || request.code > 0x67) return;
  Kiv::DynamicBuffer data;
  TBuffer body(&data);
  if (!request.body.empty()) body.Write(request.body.data(), uint32_t(request.body.size()));
  body.SeekTo(0);
  Kiv::String group, key, value;
  body.ReadString(group);
  if (request.code == 0x64) {
    store.ReadGroup(group);
    return;
  }
  if (request.code == 0x65) {
    const uint32_t at = body.Tell();
    const uint32_t size = uint32_t(request.body.size());
    if (at <= size) store.WriteGroup(group, request.body.data() + at, size - at);
    return;
  }
  body.ReadString(key);
  if (request.code == 0x66) {
    store.ReadValue(group, key);
    return;
  }
  body.ReadString(value);
  if (body.GetError() == TStream::kErrorNone) store.WriteValue(group, key, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputSource source(data, size);
  DaemonFrames::Hello hello;
  if (DaemonFrames::ReadHello(source, hello) != DaemonFrames::HelloResult::kOk) return 0;
  SettingsStore store;  // Never loaded, so nothing is saved.
  for (int frames = 0; frames < 256; ++frames) {
    DaemonFrames::Request request;
    if (DaemonFrames::ReadRequest(source, request) != DaemonFrames::FrameResult::kRequest) break;
    ApplySettings(store, request);
  }
  return 0;
}
