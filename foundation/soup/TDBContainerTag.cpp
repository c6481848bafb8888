#include "foundation/soup/TDBContainerTag.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "foundation/soup/TDBDataTag.h"

// The chain links of a node, valid only while the matching index exists
// (and `nameNext` while the node is free). Entries of the same name, in
// order: `nameNext` ends at the last one, and the first one's `namePrev` is
// the last one (so a chain is found from its first entry alone). `nameNext`
// also links free nodes. Entries of the same child, likewise.
struct TDBContainerTag::Links {
  Node* namePrev;
  Node* nameNext;
  Node* childPrev;
  Node* childNext;
};

// One child entry. The ring holds pointers to nodes, so a node keeps its
// address while entries move inside their block; the node records where it
// sits so that it can be erased without a search. Its links lie apart, in
// the part of its slab that only indexes and free nodes touch, so the nodes
// that every walk and every reading touch are packed two to a cache line.
struct TDBContainerTag::Node {
  Kiv::PString name;
  ACSChunk* child = nullptr;  // One reference held.
  Block* block = nullptr;
  // Bytes from the node to its links.
  uint32_t linksAt = 0;
  uint8_t index = 0;  // In its block.
  static_assert(Ring::kBlockEntries <= 255, "a node's index fits a byte");
  // The name is borrowed (no use held): it ends with Forget.
  bool borrowedName = false;

  Links& L() {
    return *static_cast<Links*>(static_cast<void*>(reinterpret_cast<char*>(this) + linksAt));
  }
};

// A run of nodes allocated together; the nodes follow the header, and
// their links follow the nodes, in the same order.
struct TDBContainerTag::Slab {
  Slab* next;
  uint32_t capacity;
  uint32_t used;
  bool inArena;  // Freed with the container's arena, not alone.
  Node* Nodes() { return reinterpret_cast<Node*>(this + 1); }
  Links* LinksOf() { return reinterpret_cast<Links*>(Nodes() + capacity); }
  static size_t Bytes(uint32_t capacity) {
    return sizeof(Slab) + capacity * (sizeof(Node) + sizeof(Links));
  }
};

// An open-addressing table (linear probing) from a key (a name's identity
// or a child's address) to the first entry of the chain with that key. The
// slots are kept small so that large tables stay in cache.
class TDBContainerTag::Index {
 public:
  struct Slot {
    const void* key;
    Node* head;
  };

  Index() : slots_(kFirstCapacity, Slot{Empty(), nullptr}) {}

  Slot* Find(const void* key) {
    for (size_t i = Home(key);; i = (i + 1) & Mask()) {
      if (slots_[i].key == key) return &slots_[i];
      if (slots_[i].key == Empty()) return nullptr;
    }
  }

  Slot& FindOrAdd(const void* key) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    size_t i = Home(key);
    for (; slots_[i].key != Empty(); i = (i + 1) & Mask()) {
      if (slots_[i].key == key) return slots_[i];
    }
    ++used_;
    slots_[i] = Slot{key, nullptr};
    return slots_[i];
  }

  // Backward-shift deletion: later members of the probe run move up, so no
  // tombstones are left behind.
  void Erase(Slot* slot) {
    size_t i = size_t(slot - slots_.data());
    for (size_t j = (i + 1) & Mask(); slots_[j].key != Empty(); j = (j + 1) & Mask()) {
      const size_t home = Home(slots_[j].key);
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (stays) continue;
      slots_[i] = slots_[j];
      i = j;
    }
    slots_[i] = Slot{Empty(), nullptr};
    --used_;
  }

 private:
  static constexpr uint32_t kFirstBits = 6;
  static constexpr size_t kFirstCapacity = size_t{1} << kFirstBits;

  // A key no name or child can have.
  static constexpr char kMarker = 0;
  static const void* Empty() { return &kMarker; }
  size_t Mask() const { return slots_.size() - 1; }
  // Keys in one 4 KiB page keep their order inside a window of 256 slots
  // (so a walk over keys made one after another stays in cache), and the
  // windows of different pages are spread by a multiplicative hash (so no
  // pattern of addresses piles keys onto one run of slots).
  size_t Home(const void* key) const {
    const auto k = uint64_t(reinterpret_cast<uintptr_t>(key));
    const uint64_t window = ((k >> 12) * 0x9E3779B97F4A7C15ull) >> 24;
    return size_t(window + ((k >> 4) & 255)) & Mask();
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2, Slot{Empty(), nullptr});
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.key == Empty()) continue;
      size_t i = Home(s.key);
      while (slots_[i].key != Empty()) i = (i + 1) & Mask();
      slots_[i] = s;
    }
  }

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

namespace {

// Children of containers being destroyed on this thread, released in a
// loop by the outermost destructor instead of one nested call per level.
thread_local std::vector<ACSChunk*>* tReleaseQueue = nullptr;

// Source of layout versions; every value is used once in the process.
std::atomic<uint64_t> gNextLayout{1};

// Where this thread's last GetChildAt stopped.
thread_local ChildCursor::Position tCursor;

// How many children ahead the release loop fetches.
constexpr size_t kReleaseAhead = 8;

// Slabs grow with the container, up to this many nodes each.
constexpr uint32_t kFirstSlab = 4;
constexpr uint32_t kLargestSlab = 1024;

// Links `node` at the end of the chain whose index slot is `chain`.
template <class SlotT, class NodeT, class Link>
void ChainLink(SlotT& chain, NodeT* node, Link prev, Link next) {
  node->L().*next = nullptr;
  if (chain.head == nullptr) {
    chain.head = node;
    node->L().*prev = node;
    return;
  }
  NodeT* tail = chain.head->L().*prev;
  tail->L().*next = node;
  node->L().*prev = tail;
  chain.head->L().*prev = node;
}

template <class IndexT, class NodeT, class Link>
void ChainAppend(IndexT& index, const void* key, NodeT* node, Link prev, Link next) {
  ChainLink(index.FindOrAdd(key), node, prev, next);
}

template <class IndexT, class NodeT, class Link>
void ChainRemove(IndexT& index, const void* key, NodeT* node, Link prev, Link next) {
  auto* chain = index.Find(key);
  if (chain == nullptr) return;
  NodeT* head = chain->head;
  NodeT* after = node->L().*next;
  if (node == head) {
    if (after == nullptr) {
      index.Erase(chain);
    } else {
      after->L().*prev = node->L().*prev;
      chain->head = after;
    }
  } else {
    (node->L().*prev)->L().*next = after;
    if (after != nullptr) after->L().*prev = node->L().*prev;
    if (after == nullptr) head->L().*prev = node->L().*prev;
  }
  node->L().*prev = nullptr;
  node->L().*next = nullptr;
}

}  // namespace

ChunkRef TDBContainerTag::Create() {
  return CreateIn(nullptr);
}

ChunkRef TDBContainerTag::CreateIn(ChunkArena* arena) {
  auto* container = new (arena) TDBContainerTag;
  container->inArena_ = arena != nullptr;
  container->ring_.UseArena(arena);
  if (arena != nullptr) arena->Track(static_cast<void*>(container));
  return ChunkRef::Adopt(container);
}

namespace {

// Each ring block is preceded by a word that tells where it lies (a whole
// 16 bytes, so that the block keeps the alignment of its room).
constexpr size_t kBlockMark = 16;
constexpr uint64_t kInHeap = 0;
constexpr uint64_t kInArena = 1;

}  // namespace

void* TDBContainerTag::RingBlocks::AllocateBlock(size_t bytes) {
  const bool fromArena = arena_ != nullptr && arena_->IsOpen();
  auto* room = static_cast<char*>(fromArena ? arena_->AllocateStorage(kBlockMark + bytes)
                                            : ::operator new(kBlockMark + bytes));
  const uint64_t mark = fromArena ? kInArena : kInHeap;
  std::memcpy(room, &mark, sizeof mark);
  return room + kBlockMark;
}

void TDBContainerTag::RingBlocks::FreeBlock(void* block) {
  char* room = static_cast<char*>(block) - kBlockMark;
  uint64_t mark;
  std::memcpy(&mark, room, sizeof mark);
  if (mark == kInHeap) ::operator delete(room);
}

void* TDBContainerTag::operator new(size_t size, ChunkArena* arena) {
  return ChunkArena::New(arena, size);
}

// Only reached when construction throws; the arena's room is left unused.
void TDBContainerTag::operator delete(void* p, ChunkArena* arena) {
  if (arena == nullptr) ::operator delete(p);
}

void TDBContainerTag::operator delete(TDBContainerTag* tag, std::destroying_delete_t) {
  // The root of a reading may take the whole tree with it at once.
  if (tag->inArena_ && ChunkArena::OwnerOf(tag)->ReleaseWhole(tag, &ChildrenHeldOnce)) return;
  ChunkArena::Destroy(tag, tag->inArena_);
}

bool TDBContainerTag::ChildrenHeldOnce(const void* container) {
  const auto* self = static_cast<const TDBContainerTag*>(container);
  if (!self->handedOut_.load(std::memory_order_relaxed)) return true;
  for (const Node* node : self->ring_) {
    if (node->child->RefCount() != 1) return false;
  }
  return true;
}

void TDBContainerTag::MarkHandout() const {
  handedOut_.store(true, std::memory_order_relaxed);
  ChunkArena::OwnerOf(this)->NoteHandout();
}

void TDBContainerTag::NoteEdit() {
  if (inArena_) ChunkArena::OwnerOf(this)->NoteEdit();
}

// What a container released with its whole arena keeps outside the arena:
// its indexes (its nodes, blocks and borrowed names are the arena's).
void TDBContainerTag::FinishWhole(void* container) {
  auto* self = static_cast<TDBContainerTag*>(container);
  self->byName_.reset();
  self->byChild_.reset();
}

TDBContainerTag::TDBContainerTag() {
  NewLayout();
}

void TDBContainerTag::NewLayout() {
  layout_ = gNextLayout.fetch_add(1, std::memory_order_relaxed);
}

TDBContainerTag::~TDBContainerTag() {
  // A container dying inside another's release loop hands its children to
  // that loop; the outermost one gathers them in a queue of its own.
  std::vector<ACSChunk*> children;
  const bool outermost = tReleaseQueue == nullptr;
  std::vector<ACSChunk*>& queue = outermost ? children : *tReleaseQueue;
  if (outermost) children.reserve(count_);
  // Free nodes hold no name; the nodes in use give theirs up here, so the
  // nodes need no destructor call of their own afterwards.
  const size_t queuedBefore = queue.size();
  // Names go back to the string cache in batches, one hold of its lock per
  // batch of last uses instead of one per name.
  // The batch's handles are made only as names arrive: a reading's
  // containers borrow their names, and making and ending a full batch of
  // empty handles in each of them cost more than the rest of this loop.
  constexpr size_t kNameBatch = 128;
  alignas(Kiv::PString) unsigned char batchRoom[kNameBatch * sizeof(Kiv::PString)];
  auto* names = reinterpret_cast<Kiv::PString*>(batchRoom);
  size_t made = 0;  // Handles made in the batch (empty once released).
  size_t named = 0;
  for (Node* node : ring_) {
    queue.push_back(node->child);
    if (node->borrowedName) {
      EndName(*node);
      continue;
    }
    if (named == made) {
      new (&names[made++]) Kiv::PString(std::move(node->name));
    } else {
      names[named] = std::move(node->name);
    }
    if (++named == kNameBatch) {
      Kiv::PStringCache::ReleaseAll(names, named);
      named = 0;
    }
  }
  Kiv::PStringCache::ReleaseAll(names, named);
  std::destroy_n(names, made);
  // The queue is taken from its end: reversed, the children go in their
  // order, which is the order a reading made them in (ascending addresses).
  std::reverse(queue.begin() + std::ptrdiff_t(queuedBefore), queue.end());
  ring_.FreeBlocks();
  byName_.reset();
  byChild_.reset();
  while (slabs_ != nullptr) {
    Slab* slab = slabs_;
    slabs_ = slab->next;
    if (!slab->inArena) ::operator delete(slab);
  }
  if (!outermost) return;
  tReleaseQueue = &children;
  const ChunkArena::DeferredDrops deferred;
  while (!children.empty()) {
    ACSChunk* child = children.back();
    children.pop_back();
    // The children go one after another from the queue's end; their counts
    // are fetched a few steps ahead (a large tree is far out of cache).
    if (children.size() >= kReleaseAhead)
      __builtin_prefetch(children[children.size() - kReleaseAhead]);
    // A child held by this entry alone has no other holder that could
    // count at the same time (the acquire read sees every earlier release):
    // it goes without the atomic step.
    if (child->RefCount() == 1) {
      delete child;
    } else {
      child->Release();
    }
  }
  tReleaseQueue = nullptr;
}

TDBContainerTag::Node* TDBContainerTag::NewNode() {
  if (freeNodes_ != nullptr) {
    Node* node = freeNodes_;
    freeNodes_ = node->L().nameNext;
    node->L().nameNext = nullptr;
    return node;
  }
  if (slabs_ == nullptr || slabs_->used == slabs_->capacity) {
    const uint32_t capacity = std::clamp(count_, kFirstSlab, kLargestSlab);
    const size_t bytes = Slab::Bytes(capacity);
    ChunkArena* arena = inArena_ ? ChunkArena::OwnerOf(this) : nullptr;
    const bool fromArena = arena != nullptr && arena->IsOpen();
    auto* slab =
        static_cast<Slab*>(fromArena ? arena->AllocateStorage(bytes, kNodeAlign, sizeof(Slab))
                                     : ::operator new(bytes));
    slab->next = slabs_;
    slab->capacity = capacity;
    slab->used = 0;
    slab->inArena = fromArena;
    slabs_ = slab;
  }
  const uint32_t at = slabs_->used++;
  Node* node = new (&slabs_->Nodes()[at]) Node;
  node->linksAt =
      uint32_t(reinterpret_cast<char*>(&slabs_->LinksOf()[at]) - reinterpret_cast<char*>(node));
  return node;
}

void TDBContainerTag::EndName(Node& node) {
  if (node.borrowedName) {
    node.name.Forget();
    node.borrowedName = false;
    return;
  }
  node.name.Release();
}

void TDBContainerTag::FreeNode(Node* node) {
  EndName(*node);
  node->child = nullptr;
  node->block = nullptr;
  Links& links = node->L();
  links.namePrev = links.childPrev = links.childNext = nullptr;
  links.nameNext = freeNodes_;
  freeNodes_ = node;
}

void TDBContainerTag::NoteIndex() const {
  if (!inArena_ || finisherAdded_) return;
  ChunkArena* arena = ChunkArena::OwnerOf(this);
  if (!arena->IsOpen()) return;
  arena->AddFinisher(const_cast<TDBContainerTag*>(this), &FinishWhole);
  finisherAdded_ = true;
}

TDBContainerTag::Node* TDBContainerTag::FirstByName(const void* name) const {
  if (byName_) {
    const Index::Slot* chain = byName_->Find(name);
    return chain != nullptr ? chain->head : nullptr;
  }
  // Block by block (without an index there is usually one).
  const Block* first = ring_.FirstBlock();
  if (first == nullptr) return nullptr;
  const Block* block = first;
  do {
    for (uint32_t i = 0; i < block->count; ++i) {
      if (block->entries[i]->name.Id() == name) return block->entries[i];
    }
    block = block->next;
  } while (block != first);
  return nullptr;
}

TDBContainerTag::Node* TDBContainerTag::FirstByChild(const ACSChunk* child) const {
  if (!byChild_ && count_ > kIndexFrom) BuildChildIndex();
  if (byChild_) {
    const Index::Slot* chain = byChild_->Find(child);
    return chain != nullptr ? chain->head : nullptr;
  }
  for (Node* node : ring_) {
    if (node->child == child) return node;
  }
  return nullptr;
}

void TDBContainerTag::BuildNameIndex() const {
  NoteIndex();
  byName_ = std::make_unique<Index>();
  for (Node* node : ring_) {
    ChainAppend(*byName_, node->name.Id(), node, &Links::namePrev, &Links::nameNext);
  }
}

void TDBContainerTag::BuildChildIndex() const {
  NoteIndex();
  byChild_ = std::make_unique<Index>();
  for (Node* node : ring_) {
    ChainAppend(*byChild_, node->child, node, &Links::childPrev, &Links::childNext);
  }
}

ChunkRef TDBContainerTag::GetChild(const Kiv::PString& name) const {
  Node* node = FirstByName(name.Id());
  if (node == nullptr) return NullTag();
  NoteHandout();
  return ChunkRef::Share(node->child);
}

uint32_t TDBContainerTag::CountChildren() const {
  return count_;
}

bool TDBContainerTag::GetChildAt(uint32_t index, Kiv::PString& name, ChunkRef& child) const {
  if (index >= count_) {
    name = Kiv::PString();
    child = NullTag();
    return false;
  }
  Node* node = NodeAt(index, tCursor);
  NoteHandout();
  name = node->name;
  child = ChunkRef::Share(node->child);
  return true;
}

bool TDBContainerTag::GetChildAtCursor(uint32_t index, ChildCursor& cursor,
                                       const Kiv::PString*& name, const ACSChunk*& child) const {
  if (index >= count_) {
    cursor.name = Kiv::PString();
    name = &cursor.name;
    child = NullTagPointer();
    return false;
  }
  Node* node = NodeAt(index, cursor.at);
  NoteHandout();
  name = &node->name;
  child = node->child;
  return true;
}

TDBContainerTag::Node* TDBContainerTag::NodeAt(uint32_t index,
                                               ChildCursor::Position& cursor) const {
  // Start from whichever known position is nearest: the first entry, the
  // last one, or where the cursor stopped.
  const int64_t target = index;
  Block* last = ring_.FirstBlock()->prev;
  Ring::Iterator it = ring_.Begin();
  int64_t from = 0;
  if (int64_t(count_ - 1) - target < target - from) {
    it = Ring::Iterator(&last->entries[last->count - 1], &ring_, last);
    from = count_ - 1;
  }
  if (cursor.layout == layout_ && std::abs(target - cursor.index) < std::abs(target - from)) {
    auto* block = static_cast<Block*>(cursor.block);
    it = Ring::Iterator(static_cast<Node**>(cursor.entry), &ring_, block);
    from = cursor.index;
  }
  BlockArray8Advance(it, target - from);
  cursor.layout = layout_;
  cursor.index = index;
  cursor.entry = it.Entry();
  cursor.block = it.CurrentBlock();
  return *it;
}

TDBContainerTag::Node* TDBContainerTag::AppendNode(const Kiv::PString& name, ChunkRef child,
                                                   bool borrowName) {
  Node* node = NewNode();
  if (borrowName) {
    node->name.Borrow(name);
    node->borrowedName = true;
  } else {
    node->name = name;
  }
  node->child = child.Detach();
  node->index = uint8_t(ring_.Append(node));
  node->block = ring_.FirstBlock()->prev;
  ++count_;
  if (byChild_) {
    ChainAppend(*byChild_, node->child, node, &Links::childPrev, &Links::childNext);
  }
  return node;
}

void TDBContainerTag::SetChild(const Kiv::PString& name, ChunkRef child) {
  NoteEdit();
  Append(name, std::move(child), false);
}

void TDBContainerTag::Append(const Kiv::PString& name, ChunkRef child, bool borrowName) {
  if (!child) return;
  Node* node = AppendNode(name, std::move(child), borrowName);
  if (byName_) {
    ChainAppend(*byName_, name.Id(), node, &Links::namePrev, &Links::nameNext);
  } else if (count_ > kIndexFrom) {
    BuildNameIndex();
  }
}

void TDBContainerTag::RemoveChild(const ACSChunk* child) {
  NoteEdit();
  Node* node = FirstByChild(child);
  if (node != nullptr) Remove(node);
}

void TDBContainerTag::RemoveFirstNamed(const Kiv::PString& name) {
  NoteEdit();
  Node* node = FirstByName(name.Id());
  if (node == nullptr || node->child == NullTagPointer()) return;
  // RemoveChild takes the first entry of that child, which is this one
  // unless the child sits in more than one entry (then it holds more than
  // this entry's one reference).
  if (node->child->RefCount() != 1) node = FirstByChild(node->child);
  Remove(node);
}

void TDBContainerTag::ReplaceFirstNamed(const Kiv::PString& name, ChunkRef child) {
  Replace(name, std::move(child), false);
}

void TDBContainerTag::ReplaceFirstNamedBorrowingName(const Kiv::PString& name, ChunkRef child) {
  Replace(name, std::move(child), true);
}

void TDBContainerTag::Replace(const Kiv::PString& name, ChunkRef child, bool borrowName) {
  NoteEdit();
  // Small containers scan; there the two steps cost little.
  if (!byName_ || !child) {
    RemoveFirstNamed(name);
    return Append(name, std::move(child), borrowName);
  }
  Index::Slot& chain = byName_->FindOrAdd(name.Id());
  Node* first = chain.head;
  if (first != nullptr && first->child != NullTagPointer()) {
    // RemoveFirstNamed may pick another entry of a shared child, and the
    // chain changes when the name has several entries: take the long way.
    if (first->L().nameNext != nullptr || first->child->RefCount() != 1) {
      RemoveFirstNamed(name);
      return Append(name, std::move(child), borrowName);
    }
    // The only entry of its name: it moves to the end with the new child
    // and stays the whole chain.
    ACSChunk* old = first->child;
    if (byChild_) ChainRemove(*byChild_, old, first, &Links::childPrev, &Links::childNext);
    first->child = child.Detach();
    MoveToEnd(first);
    if (byChild_) ChainAppend(*byChild_, first->child, first, &Links::childPrev, &Links::childNext);
    old->Release();
    return;
  }
  // A new name (or one whose first entry is the null tag, which stays):
  // append, and link the node into the chain just found (a slot left
  // without a head, should the append fail, means "absent" as before).
  ChainLink(chain, AppendNode(name, std::move(child), borrowName), &Links::namePrev,
            &Links::nameNext);
}

const ACSChunk* TDBContainerTag::FindFirstNamed(const Kiv::PString& name) const {
  const Node* node = FirstByName(name.Id());
  if (node == nullptr) return nullptr;
  NoteHandout();
  return node->child;
}

void TDBContainerTag::MoveToEnd(Node* node) {
  Block* block = node->block;
  const bool blockStays = block->count > 1;
  ring_.Erase(Ring::Iterator(&block->entries[node->index], &ring_, block));
  if (blockStays) RenumberBlock(block);
  node->index = uint8_t(ring_.Append(node));
  node->block = ring_.FirstBlock()->prev;
  NewLayout();
}

void TDBContainerTag::Remove(Node* node) {
  Unlink(node);
  ACSChunk* released = node->child;
  FreeNode(node);
  released->Release();
}

// Takes the node out of the indexes and out of the ring; the node itself
// is left to the caller.
void TDBContainerTag::Unlink(Node* node) {
  if (byName_) ChainRemove(*byName_, node->name.Id(), node, &Links::namePrev, &Links::nameNext);
  if (byChild_) ChainRemove(*byChild_, node->child, node, &Links::childPrev, &Links::childNext);
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
    block->entries[i]->index = uint8_t(i);
  }
}

void TDBContainerTag::SortChildren() {
  NoteEdit();
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
  byChild_.reset();
  NewLayout();
}

void TDBContainerTag::SwapChildren(const ACSChunk* a, const ACSChunk* b) {
  NoteEdit();
  if (a == b) return;
  Node* nodeA = FirstByChild(a);
  Node* nodeB = FirstByChild(b);
  if (nodeA == nullptr || nodeB == nullptr) return;
  std::swap(nodeA->child, nodeB->child);
  if (!byChild_) return;
  // Each child in one entry only: the two chains just trade their nodes.
  const Links& linksA = nodeA->L();
  const Links& linksB = nodeB->L();
  const bool single = linksA.childNext == nullptr && linksA.childPrev == nodeA &&
                      linksB.childNext == nullptr && linksB.childPrev == nodeB;
  if (!single) return byChild_.reset();
  byChild_->Find(a)->head = nodeB;
  byChild_->Find(b)->head = nodeA;
}

ChunkRef TDBContainerTag::CreateChunk(uint32_t type, CoreRef core) {
  if (type == SoupType::kContainer) return Create();
  return TDBDataTag::Create(type, std::move(core));
}
