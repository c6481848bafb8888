// The online object of a script asset, without the script binding: its
// events through a login, the message cache across two processes, the
// locally-modified rule, the post counter, the received-queue bound and the
// offline in-box and out-box.
#include <gtest/gtest.h>

#include <fstream>

#include "OnlineTestSupport.h"
#include "StandInProcess.h"
#include "TempFolder.h"
#include "assetdb/client/NetStartup.h"
#include "foundation/base/ApplicationRecords.h"
#include "gsnative/online/OnlineAccessObject.h"
#include "gsnative/online/OnlineAccessProcess.h"
#include "gsnative/online/OnlineMessageCache.h"

using namespace OnlineTest;

namespace {

constexpr int kWaitMs = 20000;
const Kiv::PString kText("text");

// Records each event, a status change with the status then reported.
class AccessEventLog : public OnlineAccessEvents {
 public:
  void Post(const char* major, const char* minor) override {
    std::string event = std::string(major) + "/" + minor;
    if (object != nullptr && event == "OnlineAccess/StatusChange") {
      event += " " + std::to_string(object->GetStatus());
    }
    events.push_back(event);
  }
  OnlineAccessObject* object = nullptr;
  std::vector<std::string> events;
};

// A process of online objects whose files lie in `folder`, served by
// `server` (no server: a port where nothing answers).
struct Process {
  Process(const std::string& folder, uint16_t port)
      : account(new FakeAccount),
        process(std::unique_ptr<OnlineAccountSource>(account), "localhost", port, folder) {}
  FakeAccount* account;
  OnlineAccessProcess process;
};

class OnlineObject : public ::testing::Test {
 protected:
  OnlineObject() {
    NetStartup();
    SetApplicationName("VandruUtil");
  }
  ~OnlineObject() override { NetShutdown(); }

  bool PumpUntil(OnlineAccessObject& object, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Pump(object);
      pollfd none{-1, 0, 0};
      ::poll(&none, 1, 1);
    }
    return true;
  }
  void Pump(OnlineAccessObject& object) {
    object.Update(0.01);
    clock.Advance(0.01);
  }
  std::function<void()> Pumper(OnlineAccessObject& object) {
    return [this, &object] { Pump(object); };
  }

  static std::unique_ptr<OnlineMessage> Message(bool versioned, bool modified) {
    std::unique_ptr<OnlineMessage> message;
    if (versioned) {
      auto v = std::make_unique<OnlineVersionedMessage>();
      v->modified = modified;
      message = std::move(v);
    } else {
      message = std::make_unique<OnlineMessage>();
    }
    message->userName = "bob";
    message->body.SetNamedTag(kText, "hi");
    return message;
  }

  FrozenClock clock;
  VUTest::TempFolder folder;
};

}  // namespace

TEST_F(OnlineObject, ListenerHearsTheStatusesOfALogin) {
  const struct {
    std::vector<std::string> server;
    std::vector<std::string> events;
  } cases[] = {
      {{"--echo"},
       {"OnlineAccess/StatusChange 1", "OnlineAccess/StatusChange 6", "OnlineAccess/StatusChange 7",
        "OnlineAccess/ReceiveMessage", "OnlineAccess/StatusChange 1"}},
      {{"--login-error", "refused"},
       {"OnlineAccess/StatusChange 1", "OnlineAccess/StatusChange 6", "OnlineAccess/StatusChange 3",
        "OnlineAccess/StatusChange 1"}},
  };
  for (const auto& c : cases) {
    StandInProcess server(c.server);
    ASSERT_NE(server.Port(), 0);
    Process p(folder.Path(), server.Port());
    AccessEventLog log;
    OnlineAccessObject object(p.process, KUID{42, 77, 1}, false, &log);
    log.object = &object;
    EXPECT_EQ(object.GetStatus(), 0u);
    Pump(object);
    EXPECT_EQ(object.GetStatus(), 1u);
    object.Connect();
    ASSERT_TRUE(
        PumpUntil(object, [&] { return object.GetStatus() != 6 && object.GetStatus() != 1; }));
    if (object.GetStatus() == 7) {
      // The echo comes back to this asset's object.
      Soup body;
      body.SetNamedTag(kText, "ping");
      EXPECT_EQ(object.PostMessage("bob", body), 0);
      ASSERT_TRUE(
          PumpUntil(object, [&] { return log.events.back() == "OnlineAccess/ReceiveMessage"; }));
      std::string user;
      Soup got;
      EXPECT_EQ(object.PopMessage(user, got), 0);
      EXPECT_EQ(got.GetNamedTag(kText).View(), "ping");
      EXPECT_EQ(object.PopMessage(user, got), 6);
    }
    object.Disconnect();
    Pump(object);
    EXPECT_EQ(log.events, c.events);
    EXPECT_TRUE(server.WaitFor("credential secret", kWaitMs, Pumper(object)));
  }
}

TEST_F(OnlineObject, StoredMessageIsCachedAtDisconnectAndReplayedAfterRegistration) {
  StandInProcess server({});
  const KUID stranger{42, 77, 1};
  {
    Process first(folder.Path(), server.Port());
    OnlineAccessObject other(first.process, KUID{42, 5, 0}, false, nullptr);
    other.Connect();
    ASSERT_TRUE(PumpUntil(other, [&] { return other.GetStatus() == 7; }));
    ASSERT_TRUE(server.Command("deliver 42 77 1 bob", Pumper(other)));
    ASSERT_TRUE(
        PumpUntil(other, [&] { return first.process.Endpoint().StoredMessages().size() == 1; }));
    other.Disconnect();
    EXPECT_EQ(first.process.Endpoint().GetStatus(), 1u);  // the last client left
    OnlineMessageCache::MessageList cached;
    ASSERT_EQ(OnlineMessageCache::Load(folder.Path() + "/oa_messages.dat", cached),
              OnlineMessageCache::ReadResult::kLoaded);
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached[0]->kuid, stranger);
    EXPECT_EQ(cached[0]->userName, "bob");
  }
  Process second(folder.Path(), server.Port());
  second.process.Register();
  ASSERT_EQ(second.process.Endpoint().StoredMessages().size(), 1u);
  AccessEventLog log;
  OnlineAccessObject object(second.process, KUID{42, 77, 2}, false, &log);  // another version
  object.Connect();
  EXPECT_TRUE(second.process.Endpoint().StoredMessages().empty());
  Pump(object);
  EXPECT_EQ(log.events.back(), "OnlineAccess/ReceiveMessage");
  std::string user;
  Soup body;
  EXPECT_EQ(object.PopMessage(user, body), 0);
  EXPECT_EQ(user, "bob");
  EXPECT_EQ(body.GetNamedTag(kText).View(), "hello");
}

TEST_F(OnlineObject, ModifiedAssetHearsOnlyModifiedSenders) {
  const struct {
    bool objectModified;
    bool versioned;
    bool senderModified;
    bool queued;
  } cases[] = {
      {false, false, false, true}, {false, true, false, true}, {false, true, true, true},
      {true, false, false, false}, {true, true, false, false}, {true, true, true, true},
  };
  Process p(folder.Path(), 9);
  for (const auto& c : cases) {
    OnlineAccessObject object(p.process, KUID{42, 77, 1}, c.objectModified, nullptr);
    object.ReceiveMessage(Message(c.versioned, c.senderModified));
    EXPECT_EQ(object.QueuedMessages(), c.queued ? 1u : 0u)
        << c.objectModified << c.versioned << c.senderModified;
  }
}

TEST_F(OnlineObject, PostsAndQueueAreBounded) {
  Process p(folder.Path(), 9);
  AccessEventLog log;
  OnlineAccessObject object(p.process, KUID{42, 77, 1}, false, &log);
  Soup body;
  for (int i = 0; i < 61; ++i) ASSERT_EQ(object.PostMessage("bob", body), 1) << i;  // not online
  EXPECT_EQ(object.PostMessage("bob", body), 4);
  EXPECT_EQ(object.PostCounter(), 61.0f);
  object.Update(2.0);
  EXPECT_EQ(object.PostMessage("bob", body), 1);

  log.events.clear();
  for (size_t i = 0; i <= OnlineAccessObject::kMaxReceivedMessages; ++i) {
    object.ReceiveMessage(Message(true, false));
  }
  EXPECT_EQ(object.QueuedMessages(), OnlineAccessObject::kMaxReceivedMessages);
  EXPECT_EQ(object.DroppedMessages(), 1u);
  object.Update(0.1);
  object.Update(0.1);
  EXPECT_EQ(log.events, std::vector<std::string>{"OnlineAccess/ReceiveMessage"});
}

TEST_F(OnlineObject, OfflineBoxesAndCacheLoadAtRegistration) {
  Soup inbox;
  for (const char* name : {"a", "b"}) {
    Soup child;
    child.SetNamedTag(kText, name);
    inbox.SetNamedSoup(Kiv::PString(name), child);
  }
  ASSERT_TRUE(Soup::SaveToFile(Kiv::PString(), folder.Path() + "/offline-inbox.tbox", inbox));
  // A cache whose count lies and whose record is damaged.
  static const char kDamaged[] = "\1\0\0\0\xff\xff\xff\xffjunk";
  std::ofstream(folder.Path() + "/oa_messages.dat", std::ios::binary)
      .write(kDamaged, sizeof kDamaged - 1);
  Process p(folder.Path(), 9);
  p.process.Register();
  EXPECT_TRUE(p.process.Endpoint().StoredMessages().empty());
  OnlineAccessObject object(p.process, KUID{42, 77, 1}, false, nullptr);
  Soup got;
  EXPECT_EQ(object.CollectOfflineMessage(got), 0);
  EXPECT_EQ(got.GetNamedTag(kText).View(), "a");
  EXPECT_EQ(object.CollectOfflineMessage(got), 0);
  EXPECT_EQ(got.GetNamedTag(kText).View(), "b");
  EXPECT_EQ(object.CollectOfflineMessage(got), 6);
  EXPECT_EQ(got.GetNamedTag(kText).View(), "b");

  Soup posted;
  posted.SetNamedTag(kText, "first");
  EXPECT_EQ(object.PostOfflineMessage(posted), 0);
  posted.SetNamedTag(kText, "second");
  EXPECT_EQ(object.PostOfflineMessage(posted), 0);
  const Soup& outbox = p.process.Outbox();
  EXPECT_EQ(outbox.GetNamedSoup(Kiv::PString("0")).GetNamedTag(kText).View(), "first");
  EXPECT_EQ(outbox.GetNamedSoup(Kiv::PString("1")).GetNamedTag(kText).View(), "second");
}
