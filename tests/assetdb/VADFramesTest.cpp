// The wire format: encoders byte for byte, and the frame reader over
// untrusted bytes.
#include "assetdb/protocol/VADFrames.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "tests/support/MemorySource.h"

namespace {

using Bytes = std::vector<uint8_t>;

using VUTest::MemorySource;

class RecordingSink : public VADFrames::FrameSink {
 public:
  bool OnReply(uint32_t id) override {
    replies.push_back(id);
    return id == pendingId;
  }
  void OnNotification(std::unique_ptr<VADNotification> note) override {
    notes.push_back(std::move(note));
  }
  uint32_t pendingId = 0;
  std::vector<uint32_t> replies;
  std::vector<std::unique_ptr<VADNotification>> notes;
};

Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) VADFrames::PutU32(out, w);
  return out;
}

TEST(VADFrames, HandshakeAndRequestAreByteExact) {
  Bytes hello;
  ASSERT_TRUE(VADFrames::EncodeHandshake(true, "/u/assets.tdx", hello));
  const Bytes expected = {'C', 'D', 'A', 'V', 0x54, 0x01, 0,   0,   0x12, 0xC3, 0,
                          0,   1,   0,   0,   0,    13,   0,   0,   0,    '/',  'u',
                          '/', 'a', 's', 's', 'e',  't',  's', '.', 't',  'd',  'x'};
  EXPECT_EQ(hello, expected);
  ASSERT_TRUE(VADFrames::EncodeHandshake(false, "", hello));
  EXPECT_EQ(hello[12], 0);
  EXPECT_EQ(hello.size(), 20u);
  EXPECT_FALSE(VADFrames::EncodeHandshake(true, std::string(70000, 'x'), hello));

  Bytes frame;
  const uint8_t payload[] = {9, 8};
  ASSERT_TRUE(VADFrames::EncodeRequest(0x28, 5, payload, 2, frame));
  EXPECT_EQ(frame, (Bytes{0x28, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0, 9, 8}));
  ASSERT_TRUE(VADFrames::EncodeRequest(0x10E, 0, nullptr, 0, frame));
  EXPECT_EQ(frame, (Bytes{0x0E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Tags on the wire: last character first.
  EXPECT_EQ(Words({VADFrames::kTagReply, VADFrames::kTagNote, VADFrames::kTagHelloAnswer}),
            (Bytes{'l', 'p', 'e', 'r', 'e', 't', 'o', 'n', 'D', 'D', 'A', 'V'}));
}

TEST(VADFrames, BadFramesEndTheConnectionWithoutAllocating) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const Case cases[] = {
      {"unknown tag", Words({0x41424344, 0})},
      {"short tag", Bytes{'l', 'p'}},
      {"reply without id", Words({VADFrames::kTagReply})},
      {"note over its bound", Words({VADFrames::kTagNote, 1, VADNotification::kMaxPayload + 1})},
      {"note cut short", Words({VADFrames::kTagNote, 1, 8, 0})},
      {"unknown reply over its bound",
       Words({VADFrames::kTagReply, 1, VADFrames::kMaxReplyLength + 1})},
      {"unknown reply cut short", Words({VADFrames::kTagReply, 1, 100, 0})},
  };
  for (const Case& c : cases) {
    MemorySource source(c.bytes);
    RecordingSink sink;
    EXPECT_FALSE(VADFrames::ReadFrame(source, sink)) << c.name;
    EXPECT_TRUE(sink.notes.empty()) << c.name;
  }
  TBuffer reply;
  MemorySource huge(Words({0xFFFFFFFFu}));
  EXPECT_EQ(VADFrames::ReadReplyBody(huge, reply), VADFrames::ReplyBody::kBroken);
  MemorySource cut(Words({8, 1}));
  EXPECT_EQ(VADFrames::ReadReplyBody(cut, reply), VADFrames::ReplyBody::kBroken);
}

TEST(VADFrames, ReplyTheStreamCannotHoldIsStillReadWhole) {
  Bytes stream = Words({40});
  stream.resize(stream.size() + 40, 0x33);
  stream.push_back(0xEE);
  MemorySource source(stream);
  Kiv::DynamicBuffer small;
  small.SetMaxSize(8);
  TBuffer reply(&small);
  EXPECT_EQ(VADFrames::ReadReplyBody(source, reply), VADFrames::ReplyBody::kNotStored);
  EXPECT_EQ(source.Left(), 1u);  // In step: only the next frame's byte is left.
}

}  // namespace
