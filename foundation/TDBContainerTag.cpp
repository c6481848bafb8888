#include "foundation/TDBContainerTag.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>
#include <vector>

#include "foundation/TDBDataTag.h"

// One child entry. The ring holds pointers to nodes, so a node keeps its
// address while entries move inside their block; the node records where it
// sits so that it can be erased without a search.
struct TDBContainerTag::Node {
  Kiv::PString name;
  ACSChunk* child = nullptr;  // One reference held.
  Block* block = nullptr;
  uint32_t index = 0;
  Node* namePrev = nullptr;  // Entries of the same name, in order.
  Node* nameNext = nullptr;
  Node* childPrev = nullptr;  // Entries of the same child, in order.
  Node* childNext = nullptr;
};

namespace {

// Children of containers being destroyed on this thread, released in a
// loop by the outermost destructor instead of one nested call per level.
thread_local std::vector<ACSChunk*>* tReleaseQueue = nullptr;

// Source of layout versions; every value is used once in the process.
std::atomic<uint64_t> gNextLayout{1};

// Where this thread's last GetChildAt stopped.
struct Cursor {
  uint64_t layout = 0;
  uint32_t index = 0;
  void* entry = nullptr;
  void* block = nullptr;
};
thread_local Cursor tCursor;

template <class Map, class Key, class NodeT, class Prev, class Next>
void ChainAppend(Map& map, const Key& key, NodeT* node, Prev prev, Next next) {
  auto& chain = map[key];
  node->*prev = chain.tail;
  node->*next = nullptr;
  if (chain.tail != nullptr) chain.tail->*next = node;
  if (chain.head == nullptr) chain.head = node;
  chain.tail = node;
}

template <class Map, class Key, class NodeT, class Prev, class Next>
void ChainRemove(Map& map, const Key& key, NodeT* node, Prev prev, Next next) {
  auto it = map.find(key);
  if (it == map.end()) return;
  auto& chain = it->second;
  if (node->*prev != nullptr) (node->*prev)->*next = node->*next;
  if (node->*prev == nullptr) chain.head = node->*next;
  if (node->*next != nullptr) (node->*next)->*prev = node->*prev;
  if (node->*next == nullptr) chain.tail = node->*prev;
  node->*prev = nullptr;
  node->*next = nullptr;
  if (chain.head == nullptr) map.erase(it);
}

}  // namespace

ChunkRef TDBContainerTag::Create() { return ChunkRef::Adopt(new TDBContainerTag); }

TDBContainerTag::TDBContainerTag() { NewLayout(); }

void TDBContainerTag::NewLayout() { layout_ = gNextLayout.fetch_add(1, std::memory_order_relaxed); }

TDBContainerTag::~TDBContainerTag() {
  std::vector<ACSChunk*> children;
  children.reserve(count_);
  for (Node* node : ring_) {
    children.push_back(node->child);
    delete node;
  }
  if (tReleaseQueue != nullptr) {
    tReleaseQueue->insert(tReleaseQueue->end(), children.begin(), children.end());
    return;
  }
  tReleaseQueue = &children;
  while (!children.empty()) {
    ACSChunk* child = children.back();
    children.pop_back();
    child->Release();
  }
  tReleaseQueue = nullptr;
}

ChunkRef TDBContainerTag::GetChild(const Kiv::PString& name) const {
  auto it = byName_.find(name.Id());
  if (it == byName_.end()) return NullTag();
  return ChunkRef::Share(it->second.head->child);
}

uint32_t TDBContainerTag::CountChildren() const { return count_; }

bool TDBContainerTag::GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const {
  if (index >= count_) {
    name = Kiv::PString();
    child = NullTag();
    return false;
  }
  // Start from whichever known position is nearest: the first entry, the
  // last one, or where the previous call stopped.
  const int64_t target = index;
  Block* last = ring_.FirstBlock()->prev;
  Ring::Iterator it = ring_.Begin();
  int64_t from = 0;
  if (int64_t(count_ - 1) - target < target - from) {
    it = Ring::Iterator(&last->entries[last->count - 1], &ring_, last);
    from = count_ - 1;
  }
  const Cursor cursor = tCursor;
  if (cursor.layout == layout_ && std::abs(target - cursor.index) < std::abs(target - from)) {
    auto* block = static_cast<Block*>(cursor.block);
    it = Ring::Iterator(static_cast<Node**>(cursor.entry), &ring_, block);
    from = cursor.index;
  }
  BlockArray8Advance(it, target - from);
  tCursor = Cursor{layout_, index, it.Entry(), it.CurrentBlock()};
  Node* node = *it;
  name = node->name;
  child = ChunkRef::Share(node->child);
  return true;
}

void TDBContainerTag::SetChild(const Kiv::PString& name, ChunkRef child) {
  if (!child) return;
  auto* node = new Node;
  node->name = name;
  node->child = child.Detach();
  node->index = ring_.Append(node);
  node->block = ring_.FirstBlock()->prev;
  ChainAppend(byName_, name.Id(), node, &Node::namePrev, &Node::nameNext);
  ChainAppend(byChild_, static_cast<const ACSChunk*>(node->child), node, &Node::childPrev,
              &Node::childNext);
  ++count_;
}

TDBContainerTag::Node* TDBContainerTag::FindFirstByChild(const ACSChunk* child) const {
  auto it = byChild_.find(child);
  return it == byChild_.end() ? nullptr : it->second.head;
}

void TDBContainerTag::RemoveChild(const ACSChunk* child) {
  Node* node = FindFirstByChild(child);
  if (node == nullptr) return;
  Unlink(node);
  ACSChunk* released = node->child;
  delete node;
  released->Release();
}

// Takes the node out of both indices and out of the ring; the node itself
// is left to the caller.
void TDBContainerTag::Unlink(Node* node) {
  ChainRemove(byName_, node->name.Id(), node, &Node::namePrev, &Node::nameNext);
  ChainRemove(byChild_, static_cast<const ACSChunk*>(node->child), node, &Node::childPrev,
              &Node::childNext);
  Block* block = node->block;
  const bool blockStays = block->count > 1;
  ring_.Erase(Ring::Iterator(&block->entries[node->index], &ring_, block));
  if (blockStays) RenumberBlock(block);
  --count_;
  NewLayout();
}

void TDBContainerTag::RenumberBlock(Block* block) {
  for (uint32_t i = 0; i < block->count; ++i) {
    block->entries[i]->block = block;
    block->entries[i]->index = i;
  }
}

void TDBContainerTag::SortChildren() {
  if (count_ < 2) return;
  std::vector<Node*> nodes;
  nodes.reserve(count_);
  for (Node* node : ring_) nodes.push_back(node);
  // Names compare as unsigned bytes (char_traits<char> does so), so a
  // prefix sorts first and the empty name before all. Stable: entries of
  // one name keep their order, so the name chains stay valid.
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const Node* a, const Node* b) { return a->name.View() < b->name.View(); });
  size_t i = 0;
  for (Ring::Iterator it = ring_.Begin(); !it.AtEnd(); it.Next()) *it = nodes[i++];
  Block* block = ring_.FirstBlock();
  do {
    RenumberBlock(block);
    block = block->next;
  } while (block != ring_.FirstBlock());
  RebuildChildIndex();
  NewLayout();
}

void TDBContainerTag::SwapChildren(const ACSChunk* a, const ACSChunk* b) {
  if (a == b) return;
  Node* nodeA = FindFirstByChild(a);
  Node* nodeB = FindFirstByChild(b);
  if (nodeA == nullptr || nodeB == nullptr) return;
  std::swap(nodeA->child, nodeB->child);
  const bool single = nodeA->childNext == nullptr && nodeA->childPrev == nullptr &&
                      nodeB->childNext == nullptr && nodeB->childPrev == nullptr;
  if (!single) return RebuildChildIndex();
  byChild_[a] = Chain{nodeB, nodeB};
  byChild_[b] = Chain{nodeA, nodeA};
}

void TDBContainerTag::RebuildChildIndex() {
  byChild_.clear();
  for (Node* node : ring_) {
    ChainAppend(byChild_, static_cast<const ACSChunk*>(node->child), node, &Node::childPrev,
                &Node::childNext);
  }
}

ChunkRef TDBContainerTag::CreateChunk(uint32_t type, CoreRef core) {
  if (type == SoupType::kContainer) return Create();
  return TDBDataTag::Create(type, std::move(core));
}
