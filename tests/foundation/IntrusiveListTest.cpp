#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "foundation/containers/IntrusiveList.h"

namespace {

struct Item : Utils::IDoubleLinkListNode {
  explicit Item(int* d = nullptr) : deaths(d) {}
  ~Item() override {
    if (deaths) ++*deaths;
  }
  int* deaths;
};

// Walks the list both ways, checking every link, and answers it head first.
std::vector<Utils::IDoubleLinkListNode*> Walk(DoubleLinkList& list) {
  std::vector<Utils::IDoubleLinkListNode*> forward;
  Utils::IDoubleLinkListNode* prev = nullptr;
  for (auto* n = list.head; n; n = n->next) {
    EXPECT_EQ(n->prev, prev);
    EXPECT_EQ(n->list, &list);
    forward.push_back(n);
    prev = n;
  }
  EXPECT_EQ(list.tail, prev);
  return forward;
}

void ExpectDetached(const Utils::IDoubleLinkListNode& n) {
  EXPECT_EQ(n.prev, nullptr);
  EXPECT_EQ(n.next, nullptr);
  EXPECT_EQ(n.list, nullptr);
}

TEST(IntrusiveList, RandomLinkAndUnlinkMatchDeques) {
  std::mt19937 rng(3);
  std::vector<std::unique_ptr<Item>> items;
  for (int i = 0; i < 40; ++i) items.push_back(std::make_unique<Item>());
  DoubleLinkList lists[2];
  std::deque<Utils::IDoubleLinkListNode*> model[2];
  auto forget = [&](Utils::IDoubleLinkListNode* n) {
    for (auto& m : model) m.erase(std::remove(m.begin(), m.end(), n), m.end());
  };
  for (int step = 0; step < 5000; ++step) {
    Item* item = items[rng() % items.size()].get();
    if (rng() % 3 == 0) {
      ListNodeUnlink(*item);
      forget(item);
      ExpectDetached(*item);
    } else {
      size_t l = rng() % 2;
      ListNodeLink(lists[l], *item);  // moves it when it is in a list already
      forget(item);
      model[l].push_front(item);
    }
    for (size_t l = 0; l < 2; ++l) {
      auto walked = Walk(lists[l]);
      ASSERT_TRUE(std::equal(walked.begin(), walked.end(), model[l].begin(), model[l].end()));
    }
  }
  UnlinkAllNodes(lists[0]);
  EXPECT_EQ(lists[0].head, nullptr);
  EXPECT_EQ(lists[0].tail, nullptr);
  for (auto* n : model[0]) ExpectDetached(*n);
}

TEST(IntrusiveList, UnlinkingDetachedNodeChangesNothing) {
  DoubleLinkList list;
  Item a, b;
  ListNodeLink(list, a);
  b.owner = &list;
  ListNodeUnlink(b);
  ExpectDetached(b);
  EXPECT_EQ(b.owner, &list);
  EXPECT_EQ(list.head, &a);
  EXPECT_EQ(list.tail, &a);
}

TEST(IntrusiveList, DeleteListNodesDeletesEveryNode) {
  int deaths = 0;
  DoubleLinkList list;
  for (int i = 0; i < 10; ++i) ListNodeLink(list, *new Item(&deaths));
  DeleteListNodes(list);
  EXPECT_EQ(deaths, 10);
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.tail, nullptr);
}

TEST(IntrusiveList, DestroyingNodeOrListLeavesNoDanglingLinks) {
  auto list = std::make_unique<DoubleLinkList>();
  Item kept;
  {
    Item gone;
    ListNodeLink(*list, kept);
    ListNodeLink(*list, gone);
  }
  EXPECT_EQ(list->head, &kept);
  EXPECT_EQ(kept.prev, nullptr);
  list.reset();
  ExpectDetached(kept);
}

}  // namespace
