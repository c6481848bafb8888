// The router on its own: type numbers, node ids, subscriptions, delivery
// and the delay queue, driven by hand as a host's pump would.
#include <cmath>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "RuntimeTestSupport.h"
#include "gsruntime/GSRouter.h"

namespace {

using GSRuntime::GSMessage;
using GSRuntime::GSMessageRef;
using GSRuntime::GSNode;

// A node that logs what it receives as "id:minor".
struct LogNode : GSNode {
  explicit LogNode(std::vector<std::string>* received, const char* name = nullptr)
      : log(received), registeredName(name) {}
  const char* GetName() const override { return registeredName; }
  bool HandleMessage(const GSMessageRef& message) override {
    log->push_back(std::to_string(Id()) + ":" + std::to_string(message->minor));
    return GSNode::HandleMessage(message);
  }
  std::vector<std::string>* log;
  const char* registeredName;
};

GSMessageRef Message(uint16_t major, uint16_t minor, uint32_t destination, uint32_t delay) {
  GSMessageRef message = GSMessage::Create();
  message->major = major;
  message->minor = minor;
  message->destination = destination;
  message->due = delay | GSMessage::kBuiltBit;
  return message;
}

std::vector<uint16_t> Minors(const std::vector<GSMessageRef>& messages) {
  std::vector<uint16_t> minors;
  for (const GSMessageRef& message : messages) minors.push_back(message->minor);
  return minors;
}

TEST(RouterTest, TypeNumbersStopAtTheLimitInsteadOfWrappingIntoSystemTypes) {
  GSRouter router;
  EXPECT_EQ(router.InternMajorType(""), GSRouter::kAnyType);
  EXPECT_EQ(router.InternMajorType(nullptr), GSRouter::kAnyType);
  EXPECT_EQ(router.InternMajorType("first"), 101);
  EXPECT_EQ(router.InternMajorType("first"), 101);
  for (int i = 102; i <= 65535; ++i)
    ASSERT_EQ(router.InternMajorType(("t" + std::to_string(i)).c_str()), i);
  EXPECT_EQ(router.InternMajorType("one too many"), GSRouter::kRefusedType);
  EXPECT_EQ(router.InternMajorType("t65535"), 65535);
  EXPECT_EQ(router.LastType(), 65535);

  // A message of a refused type reaches nobody, though types below 100
  // would reach every node.
  std::vector<std::string> received;
  LogNode node(&received);
  ASSERT_TRUE(router.AddNode(&node));
  router.Send(Message(GSRouter::kRefusedType, 0, 0, 0));
  EXPECT_TRUE(received.empty());
  router.Send(Message(7, 5, 0, 0));
  EXPECT_EQ(received.size(), 1u);
  router.Done();
  EXPECT_EQ(router.InternMajorType("again"), 101);
}

TEST(RouterTest, DelaysAreClampedToTheDueWord) {
  struct Case {
    float seconds;
    uint32_t ms;
  } cases[] = {{0.25f, 250},
               {0.0004f, 0},
               {-5.0f, 0},
               {std::numeric_limits<float>::quiet_NaN(), 0},
               {std::numeric_limits<float>::infinity(), GSMessage::kDueMask},
               {1e12f, GSMessage::kDueMask}};
  for (const Case& c : cases)
    EXPECT_EQ(GSRuntime::GSDelayMilliseconds(c.seconds), c.ms) << c.seconds;
}

TEST(RouterTest, DelayedMessagesLeaveInDueOrderAcrossTheClockWrap) {
  GSRouter router;
  router.AdvanceClock(GSMessage::kDueMask - 50);  // the 30-bit due word wraps soon
  router.Post(Message(200, 1, 0, 100));
  router.Post(Message(200, 2, 0, 30));
  router.Post(Message(200, 3, 0, 30));  // equal due times leave in posting order
  router.Post(Message(200, 4, 0, 0));   // no delay: the posted queue
  EXPECT_EQ(router.DelayedCount(), 3u);
  EXPECT_EQ(Minors(router.TakePosted()), std::vector<uint16_t>{4});
  router.AdvanceClock(40);
  const std::vector<GSMessageRef> first = router.TakeDue();
  EXPECT_EQ(Minors(first), (std::vector<uint16_t>{2, 3}));
  EXPECT_EQ(first[0]->DueTime(), GSMessage::kDueMask - 20);
  router.AdvanceClock(60);
  const std::vector<GSMessageRef> second = router.TakeDue();
  EXPECT_EQ(Minors(second), std::vector<uint16_t>{1});
  EXPECT_EQ(second[0]->DueTime(), 49u);  // wrapped in the word, not in the queue
  EXPECT_TRUE(second[0]->due & GSMessage::kBuiltBit);

  router.SetEnabled(false);
  router.Post(Message(200, 5, 0, 0));
  EXPECT_FALSE(router.HasWork());
}

TEST(RouterTest, NodeIdsAreNeverReusedAndRefusedOnceSpent) {
  GSRouter router;
  std::vector<std::string> received;
  LogNode a(&received, "twin"), b(&received, "twin");
  ASSERT_TRUE(router.AddNode(&a));
  ASSERT_TRUE(router.AddNode(&b));
  EXPECT_FALSE(router.AddNode(&a));
  EXPECT_EQ(router.FindNodeByName("twin"), &a);
  EXPECT_EQ(b.Name(), "");
  const uint32_t firstId = a.Id();
  ASSERT_TRUE(router.RemoveNode(&a));
  EXPECT_EQ(a.Id(), GSNode::kNoId);
  router.Send(Message(GSNode::kDestroyType, 1, firstId, 0));  // for a removed node: dropped
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(router.AddNode(&a));
  EXPECT_GT(a.Id(), b.Id());

  const uint32_t next = GSRouter::NextNodeId();
  GSRouter::SetNextNodeId(GSNode::kNoId);
  LogNode late(&received);
  EXPECT_FALSE(router.AddNode(&late));
  EXPECT_EQ(late.Id(), GSNode::kNoId);
  GSRouter::SetNextNodeId(next);
}

TEST(RouterTest, DeliveryFollowsSubscriptionsAndNodeOrder) {
  GSRouter router;
  std::vector<std::string> received;
  LogNode a(&received), b(&received), c(&received);
  for (LogNode* node : {&c, &a, &b}) ASSERT_TRUE(router.AddNode(node));
  const uint16_t major = router.InternMajorType("Train");
  router.Send(Message(major, 1, 0, 0));  // nobody ever subscribed
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(router.Subscribe(&b, major));
  ASSERT_TRUE(router.Subscribe(&b, major));
  ASSERT_TRUE(router.Subscribe(&c, major));
  ASSERT_TRUE(router.Unsubscribe(&b, major));
  router.Send(Message(major, 2, 0, 0));
  router.Send(Message(major, 3, a.Id(), 0));  // a is not subscribed
  b.flags |= GSNode::kMute;
  router.Send(Message(major, 4, 0, 0));
  router.Send(Message(7, 5, 0, 0));  // a system type reaches everyone
  const std::string ids[3] = {std::to_string(c.Id()), std::to_string(a.Id()),
                              std::to_string(b.Id())};
  EXPECT_EQ(received, (std::vector<std::string>{ids[0] + ":2", ids[2] + ":2", ids[0] + ":4",
                                                ids[0] + ":5", ids[1] + ":5", ids[2] + ":5"}));
  ASSERT_TRUE(router.RemoveNode(&c));
  EXPECT_FALSE(router.Unsubscribe(&c, major));
}

TEST(RouterTest, TypeTextsEndAtTheirFirstNulAndNameTheirNumber) {
  GSRouter router;
  const uint16_t bench = router.InternMajorType("Bench");
  EXPECT_EQ(router.InternMajorType(std::string_view("Bench\0Ping", 10)), bench);
  EXPECT_EQ(router.InternMajorType(std::string_view("Benc", 4)), bench + 1);
  EXPECT_EQ(router.InternMajorType(std::string_view("\0x", 2)), GSRouter::kAnyType);
  EXPECT_EQ(router.InternMajorType(std::string_view()), GSRouter::kAnyType);
  // Texts that hash alike stay apart however many there are.
  for (int i = 0; i < 3000; ++i)
    ASSERT_EQ(router.InternMajorType("type" + std::to_string(i)), bench + 2 + i);
  for (int i = 0; i < 3000; i += 7)
    ASSERT_EQ(router.MajorTypeName(static_cast<uint16_t>(bench + 2 + i)), "type" + std::to_string(i));
  EXPECT_EQ(router.MajorTypeName(bench), "Bench");
  EXPECT_EQ(router.MajorTypeName(GSRouter::kAnyType), "");
  EXPECT_EQ(router.MajorTypeName(static_cast<uint16_t>(router.LastType() + 1)), "");
}

TEST(RouterTest, TypeTextsThatShareTheirFirstEightBytesStayApart) {
  GSRouter router;
  // Texts around the eight bytes that are compared as one word.
  const std::string_view texts[] = {"abcdefg", "abcdefgh", "abcdefgi", "abcdefghi",
                                    "abcdefghj", "abcdefghij", "abcdefgh" "abcdefgh",
                                    "abcdefgh" "abcdefgi", "bbcdefgh", "a"};
  std::vector<uint16_t> types;
  for (std::string_view text : texts) types.push_back(router.InternMajorType(text));
  for (size_t i = 0; i < std::size(texts); ++i) {
    SCOPED_TRACE(std::string(texts[i]));
    EXPECT_EQ(types[i], GSRouter::kFirstType + i);
    EXPECT_EQ(router.InternMajorType(texts[i]), types[i]);
    EXPECT_EQ(router.MajorTypeName(types[i]), texts[i]);
  }
  EXPECT_EQ(router.InternMajorType(std::string_view("abcdefgh\0i", 10)), types[1]);
  EXPECT_EQ(router.InternMajorType(std::string_view("abcdefg\0i", 9)), types[0]);
}

TEST(RouterTest, TypeTextsDifferingInAnyOneByteGetTheirOwnNumbers) {
  // Every length around the words a text is read in, each byte changed in
  // turn, then cut there by a NUL.
  GSRouter router;
  const std::string base = "abcdefghijklmnopqrst";
  for (size_t length = 1; length <= base.size(); ++length) {
    const std::string text = base.substr(0, length);
    const uint16_t type = router.InternMajorType(text);
    for (size_t at = 0; at < length; ++at) {
      SCOPED_TRACE(text + " at " + std::to_string(at));
      std::string other = text;
      other[at] = '#';
      const uint16_t otherType = router.InternMajorType(other);
      EXPECT_NE(otherType, type);
      EXPECT_EQ(router.InternMajorType(other), otherType);
      EXPECT_TRUE(GSRouter::SameTypeText(router.MajorTypeName(otherType), other));
      EXPECT_FALSE(GSRouter::SameTypeText(text, other));
      other[at] = '\0';
      EXPECT_EQ(router.InternMajorType(other),
                at == 0 ? GSRouter::kAnyType : router.InternMajorType(text.substr(0, at)));
    }
    EXPECT_EQ(router.InternMajorType(text), type);
    EXPECT_EQ(router.MajorTypeName(type), text);
  }
}

TEST(RouterTest, NodesAreFoundByIdUntilTheyLeave) {
  GSRouter router;
  std::vector<std::string> received;
  // More nodes than any small table of recent finds holds, so ids collide.
  std::vector<std::unique_ptr<LogNode>> nodes;
  std::vector<uint32_t> ids;
  for (int i = 0; i < 20; ++i) {
    nodes.push_back(std::make_unique<LogNode>(&received));
    ASSERT_TRUE(router.AddNode(nodes.back().get()));
    ids.push_back(nodes.back()->Id());
  }
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < nodes.size(); ++i) EXPECT_EQ(router.FindNode(ids[i]), nodes[i].get());
  for (size_t i = 0; i < nodes.size(); i += 3) {
    ASSERT_EQ(router.FindNode(ids[i]), nodes[i].get());
    ASSERT_TRUE(router.RemoveNode(nodes[i].get()));
    EXPECT_EQ(router.FindNode(ids[i]), nullptr);
  }
  for (size_t i = 0; i < nodes.size(); ++i)
    EXPECT_EQ(router.FindNode(ids[i]), i % 3 == 0 ? nullptr : nodes[i].get()) << i;
  for (size_t i = 0; i < nodes.size(); ++i) router.FindNode(ids[i]);
  router.Done();
  for (size_t i = nodes.size(); i-- > 0;) EXPECT_EQ(router.FindNode(ids[i]), nullptr);
}

TEST(RouterTest, TheUpdateSetIsTakenInIdOrderOnceEach) {
  GSRouter router;
  std::vector<std::string> received;
  LogNode nodes[5] = {LogNode(&received), LogNode(&received), LogNode(&received),
                      LogNode(&received), LogNode(&received)};
  for (LogNode& node : nodes) ASSERT_TRUE(router.AddNode(&node));
  std::vector<uint32_t> ids = {12345};  // replaced, not appended to
  router.TakeScheduled(ids);
  for (int i : {3, 1, 4, 1, 0, 3}) router.Schedule(&nodes[i]);
  ASSERT_TRUE(router.RemoveNode(&nodes[4]));
  router.Schedule(&nodes[4]);  // no longer registered
  EXPECT_TRUE(router.HasWork());
  router.TakeScheduled(ids);
  EXPECT_EQ(ids, (std::vector<uint32_t>{nodes[0].Id(), nodes[1].Id(), nodes[3].Id()}));
  EXPECT_FALSE(router.HasWork());
  // Scheduled again while it is the last (the highest id) of the set.
  router.Schedule(&nodes[2]);
  router.Schedule(&nodes[2]);
  EXPECT_EQ(router.TakeScheduled(), std::vector<uint32_t>{nodes[2].Id()});
  router.Schedule(&nodes[1]);
  router.Schedule(&nodes[3]);
  router.Schedule(&nodes[3]);
  EXPECT_EQ(router.TakeScheduled(), (std::vector<uint32_t>{nodes[1].Id(), nodes[3].Id()}));
  router.Post(Message(7, 1, 0, 0));
  std::vector<GSMessageRef> posted = {Message(7, 9, 0, 0)};
  router.TakePosted(posted);
  EXPECT_EQ(Minors(posted), std::vector<uint16_t>{1});
}

TEST(RouterTest, AnUnsubscribedNodeReceivesNothingUntilItSubscribesAgain) {
  GSTest::PrintCapture print;
  GSRouter router;
  std::vector<std::string> received;
  LogNode a(&received), b(&received);
  ASSERT_TRUE(router.AddNode(&a));
  ASSERT_TRUE(router.AddNode(&b));
  const uint16_t major = router.InternMajorType("Wait");
  const std::string idA = std::to_string(a.Id()), idB = std::to_string(b.Id());
  for (int round = 0; round < 3; ++round) {  // as a waiting thread does
    ASSERT_TRUE(router.Subscribe(&a, major));
    ASSERT_TRUE(router.Unsubscribe(&a, major));
  }
  EXPECT_FALSE(router.Unsubscribe(&a, major));
  ASSERT_TRUE(router.Subscribe(&b, major));
  router.Send(Message(major, 1, 0, 0));
  router.Send(Message(major, 2, a.Id(), 0));
  ASSERT_TRUE(router.Subscribe(&a, major));
  router.Send(Message(major, 3, 0, 0));
  router.Send(Message(major, 4, a.Id(), 0));
  EXPECT_EQ(received, (std::vector<std::string>{idB + ":1", idA + ":3", idB + ":3", idA + ":4"}));
  router.Info();
  EXPECT_EQ(print.Count("1 Subscription AVL trees"), 1u);
  ASSERT_TRUE(router.RemoveNode(&a));
  received.clear();
  router.Send(Message(major, 5, 0, 0));
  EXPECT_EQ(received, (std::vector<std::string>{idB + ":5"}));
}

TEST(RouterTest, ANodeThatLeavesAndComesBackStartsWithoutSubscriptions) {
  GSTest::PrintCapture print;
  GSRouter router;
  std::vector<std::string> received;
  LogNode a(&received);
  ASSERT_TRUE(router.AddNode(&a));
  const std::string first = std::to_string(a.Id());
  uint16_t major = router.InternMajorType("Ride");
  ASSERT_TRUE(router.Subscribe(&a, major));
  router.Send(Message(major, 1, a.Id(), 0));
  ASSERT_TRUE(router.RemoveNode(&a));
  ASSERT_TRUE(router.AddNode(&a));
  const std::string second = std::to_string(a.Id());
  router.Send(Message(major, 2, a.Id(), 0));
  EXPECT_FALSE(router.Unsubscribe(&a, major));
  ASSERT_TRUE(router.Subscribe(&a, major));
  ASSERT_TRUE(router.Subscribe(&a, major));
  ASSERT_TRUE(router.Unsubscribe(&a, major));
  router.Send(Message(major, 3, a.Id(), 0));
  router.Done();  // the types and subscriptions start over
  ASSERT_TRUE(router.AddNode(&a));
  major = router.InternMajorType("Ride");
  router.Send(Message(major, 4, a.Id(), 0));
  router.Send(Message(major, 5, 0, 0));
  EXPECT_FALSE(router.Unsubscribe(&a, major));
  EXPECT_EQ(received, (std::vector<std::string>{first + ":1", second + ":3"}));
}

TEST(RouterTest, ShutdownDeletesExactlyTheNodesMarkedForDestruction) {
  GSTest::PrintCapture print;
  GSRouter router;
  std::vector<std::string> received;
  LogNode kept(&received);
  LogNode* doomed = new LogNode(&received);  // deleted by the router
  ASSERT_TRUE(router.AddNode(&kept));
  ASSERT_TRUE(router.AddNode(doomed));
  router.Send(Message(GSNode::kDestroyType, 0, doomed->Id(), 0));
  EXPECT_TRUE(doomed->flags & GSNode::kDestroyWhenReleased);
  EXPECT_TRUE(router.Done());
  EXPECT_EQ(print.Count("GSRouter::Done(), 2 outstanding node(s)"), 1u);
  EXPECT_EQ(kept.Id(), GSNode::kNoId);
  EXPECT_EQ(kept.Router(), nullptr);
}

}  // namespace
