// Member lists of online groups as the service sends them: replacing and
// changing lists, the events they post, and lists that are damaged.
#include <gtest/gtest.h>

#include <algorithm>

#include "OnlineTestSupport.h"
#include "foundation/base/ProgramClock.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineGroupState.h"
#include "gsnative/online/OnlineWire.h"

namespace {

struct Entry {
  std::string name;
  uint8_t status;
  uint32_t flags;
};

// Feeds `entries` (count first; `cut` bytes taken off the end) to the
// group: as an opened reply when `replace`, else as changes.
void Feed(OnlineGroupState& group, const std::vector<Entry>& entries, bool replace, uint32_t cut = 0) {
  TBuffer buffer;
  TStreamWriteU8(buffer, static_cast<uint8_t>(entries.size()));
  TStreamWriteU8(buffer, 0);
  for (const Entry& e : entries) {
    OnlineWire::WriteString(buffer, e.name);
    TStreamWriteU8(buffer, e.status);
    TStreamWriteU32(buffer, e.flags);
  }
  buffer.GetData()->SetDataLength(buffer.GetData()->DataLength() - cut);
  TStreamRewind(buffer);
  WireReader reader(buffer);
  if (replace) {
    group.Opened(Kiv::PString("g"), reader);
  } else {
    group.UsersChanged(reader);
  }
}

}  // namespace

TEST(OnlineGroupState, MemberListsPostOneEventPerChangeAndOneListEvent) {
  const std::vector<Entry> start = {{"alice", 1, 0}, {"bob", 1, 0}};
  const struct {
    const char* name;
    std::vector<Entry> changes;
    uint32_t cut;
    std::vector<std::string> posted;
    size_t members;
  } cases[] = {
      {"unknown member removed", {{"zed", 255, 0}}, 0, {}, 2},
      {"same entry again", {{"ALICE", 1, 0}}, 0, {}, 2},
      {"mode flags change", {{"Bob", 1, 4}}, 0, {"OnlineGroup.UserStatus/Bob", "OnlineGroup/UsersChange"}, 2},
      {"removal and addition",
       {{"alice", 255, 0}, {"carol", 2, 0}},
       0,
       {"OnlineGroup.UserRemoved/alice", "OnlineGroup.UserAdded/carol", "OnlineGroup/UsersChange"},
       2},
      {"entry cut short", {{"carol", 2, 0}, {"dave", 2, 0}}, 2, {"OnlineGroup.UserAdded/carol", "OnlineGroup/UsersChange"}, 3},
  };
  for (const auto& c : cases) {
    OnlineTest::FakeAccount account;
    OnlineAccessClientEndpoint endpoint(account, "localhost", 9);
    OnlineTest::EventLog events;
    OnlineGroupState group(endpoint, nullptr, Kiv::PString(), 0, &events);
    Feed(group, start, true);
    EXPECT_EQ(events.events, (std::vector<std::string>{"OnlineGroup/StatusChange", "OnlineGroup.UserAdded/alice",
                                                       "OnlineGroup.UserAdded/bob", "OnlineGroup/UsersChange"}));
    events.events.clear();
    Feed(group, c.changes, false, c.cut);
    EXPECT_EQ(events.events, c.posted) << c.name;
    EXPECT_EQ(group.Members().size(), c.members) << c.name;
    // A new full list replaces the old one.
    events.events.clear();
    Feed(group, {{"erin", 1, 0}}, true);
    EXPECT_EQ(group.Members().size(), 1u) << c.name;
    EXPECT_EQ(events.events.back(), "OnlineGroup/UsersChange") << c.name;
  }
}
