// The offline message cache file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <tuple>

#include "TempFolder.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineMessageCache.h"

namespace {

using OnlineMessageCache::MessageList;
using OnlineMessageCache::ReadResult;

MessageList TwoMessages() {
  MessageList list;
  auto versioned = std::make_unique<OnlineVersionedMessage>();
  versioned->userName = "bob";
  versioned->kuid = KUID{42, 77, 1};
  versioned->body.SetNamedTag(Kiv::PString("text"), "hello");
  versioned->modified = true;
  list.push_back(std::move(versioned));
  auto plain = std::make_unique<OnlineMessage>();  // written as version 0
  plain->userName = "carol";
  plain->kuid = KUID{42, 78, 0};
  list.push_back(std::move(plain));
  return list;
}

std::vector<uint8_t> Bytes(const MessageList& list) {
  TBuffer buffer;
  OnlineMessageCache::Write(buffer, list);
  const Kiv::DynamicBuffer& data = *buffer.GetData();
  return {data.Data(), data.Data() + data.DataLength()};
}

ReadResult ReadBytes(const std::vector<uint8_t>& bytes, MessageList& out) {
  TBuffer buffer;
  buffer.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  TStreamRewind(buffer);
  return OnlineMessageCache::Read(buffer, out);
}

}  // namespace

TEST(OnlineMessageCache, RoundTripIsByteExactAndPlainMessagesBecomeVersionZero) {
  const std::vector<uint8_t> first = Bytes(TwoMessages());
  MessageList read;
  ASSERT_EQ(ReadBytes(first, read), ReadResult::kLoaded);
  ASSERT_EQ(read.size(), 2u);
  const auto& bob = static_cast<const OnlineVersionedMessage&>(*read[0]);
  const auto& carol = static_cast<const OnlineVersionedMessage&>(*read[1]);
  EXPECT_EQ(std::tuple(bob.userName, bob.kuid, bob.modified, bob.version), std::tuple("bob", KUID{42, 77, 1}, true, 1u));
  EXPECT_EQ(std::pair(carol.modified, carol.version), std::pair(false, 0u));
  EXPECT_EQ(Bytes(read), first);
}

TEST(OnlineMessageCache, DamagedOrForeignFilesAreReadOnlyAsFarAsTheyAreSound) {
  const std::vector<uint8_t> good = Bytes(TwoMessages());
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    ReadResult result;
    size_t kept;
  } cases[] = {
      {"version 2", with(0, 2), ReadResult::kWrongVersion, 0},
      {"empty", {}, ReadResult::kWrongVersion, 0},
      {"no count", cut(6), ReadResult::kDamaged, 0},
      {"count far beyond the records", with(7, 0x7F), ReadResult::kDamaged, 2},
      {"second record cut short", cut(good.size() - 3), ReadResult::kDamaged, 1},
      {"user name longer than the file", with(19, 0x40), ReadResult::kDamaged, 0},
      {"soup that is not one", with(23, 'X'), ReadResult::kDamaged, 0},
  };
  for (const auto& c : cases) {
    MessageList read;
    EXPECT_EQ(ReadBytes(c.bytes, read), c.result) << c.name;
    EXPECT_EQ(read.size(), c.kept) << c.name;
  }
}

TEST(OnlineMessageCache, SaveReplacesTheFileWholeOrLeavesItAsItWas) {
  VUTest::TempFolder folder;
  const std::string path = folder.Path() + "/oa_messages.dat";
  ::mkdir(path.c_str(), 0755);  // a folder in the way is pruned
  ASSERT_TRUE(OnlineMessageCache::Save(path, TwoMessages()));
  MessageList read;
  ASSERT_EQ(OnlineMessageCache::Load(path, read), ReadResult::kLoaded);
  EXPECT_EQ(read.size(), 2u);

  // A folder that cannot be written: the save fails and the file stays.
  const std::string locked = folder.Path() + "/locked";
  ::mkdir(locked.c_str(), 0755);
  const std::string lockedPath = locked + "/oa_messages.dat";
  ASSERT_TRUE(OnlineMessageCache::Save(lockedPath, TwoMessages()));
  ::chmod(locked.c_str(), 0555);
  if (::access(locked.c_str(), W_OK) != 0) {  // (root may write anyway)
    EXPECT_FALSE(OnlineMessageCache::Save(lockedPath, MessageList{}));
    MessageList kept;
    EXPECT_EQ(OnlineMessageCache::Load(lockedPath, kept), ReadResult::kLoaded);
    EXPECT_EQ(kept.size(), 2u);
  }
  ::chmod(locked.c_str(), 0755);
  MessageList none;
  EXPECT_EQ(OnlineMessageCache::Load(folder.Path() + "/missing.dat", none), ReadResult::kDamaged);
}
