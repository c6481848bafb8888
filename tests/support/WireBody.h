// WireBody: the bytes of a request, reply or note body built field by field
// with the stream writers of the client library, for scripting the fake
// daemon and comparing bodies: WireBody().K(kuid).U8(1).Str("x").
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"

namespace VUTest {

class WireBody {
 public:
  using Bytes = std::vector<uint8_t>;

  WireBody& U8(uint8_t value) { return Then(TStreamWriteU8, value); }
  WireBody& Bool(bool value) { return Then(TStreamWriteBool, value); }
  WireBody& U32(uint32_t value) { return Then(TStreamWriteU32, value); }
  WireBody& U64(uint64_t value) { return Then(TStreamWriteU64, value); }
  WireBody& F32(float value) { return Then(TStreamWriteFloat, value); }
  WireBody& K(const KUID& kuid) { return Then(WriteKUID, kuid); }
  // "string": u32 length, bytes; "PString": u32 length + 1, bytes, NUL.
  WireBody& Str(std::string_view text) {
    stream_.WriteString(std::string(text));
    return *this;
  }
  WireBody& PStr(std::string_view text) {
    stream_.WritePString(Kiv::PString(text));
    return *this;
  }
  WireBody& Raw(const Bytes& bytes) {
    TStreamWriteBytes(stream_, bytes.data(), uint32_t(bytes.size()));
    return *this;
  }

  Bytes Get() const {
    const uint8_t* data = stream_.GetData()->Data();
    return Bytes(data, data + stream_.GetData()->DataLength());
  }
  operator Bytes() const { return Get(); }
  friend bool operator==(const Bytes& bytes, const WireBody& body) { return bytes == body.Get(); }
  friend void PrintTo(const WireBody& body, std::ostream* out) {
    *out << ::testing::PrintToString(body.Get());
  }

 private:
  template <class Writer, class Value>
  WireBody& Then(Writer write, const Value& value) {
    write(stream_, value);
    return *this;
  }

  TBuffer stream_;
};

}  // namespace VUTest
