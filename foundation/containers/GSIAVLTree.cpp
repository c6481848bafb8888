#include "foundation/containers/GSIAVLTree.h"

namespace Utils {

namespace {

constexpr uint8_t kL = GSIAVLNode::kLeftDeeper;
constexpr uint8_t kB = GSIAVLNode::kBalanced;
constexpr uint8_t kR = GSIAVLNode::kRightDeeper;

// `p`'s left side is two levels deeper than its right: rotates it back into
// balance. Answers true when the subtree came out one level lower than it
// was while unbalanced (always after an insertion; after a removal unless
// the left child was balanced).
bool FixLeft(GSIAVLNode*& p) {
  GSIAVLNode* a = p;
  GSIAVLNode* l = a->left;
  if (l->balance != kR) {
    bool lower = l->balance == kL;
    a->left = l->right;
    l->right = a;
    a->balance = lower ? kB : kL;
    l->balance = lower ? kB : kR;
    p = l;
    return lower;
  }
  GSIAVLNode* lr = l->right;
  l->right = lr->left;
  a->left = lr->right;
  lr->left = l;
  lr->right = a;
  a->balance = lr->balance == kL ? kR : kB;
  l->balance = lr->balance == kR ? kL : kB;
  lr->balance = kB;
  p = lr;
  return true;
}

// Mirror image of FixLeft.
bool FixRight(GSIAVLNode*& p) {
  GSIAVLNode* a = p;
  GSIAVLNode* r = a->right;
  if (r->balance != kL) {
    bool lower = r->balance == kR;
    a->right = r->left;
    r->left = a;
    a->balance = lower ? kB : kR;
    r->balance = lower ? kB : kL;
    p = r;
    return lower;
  }
  GSIAVLNode* rl = r->left;
  r->left = rl->right;
  a->right = rl->left;
  rl->right = r;
  rl->left = a;
  a->balance = rl->balance == kR ? kL : kB;
  r->balance = rl->balance == kL ? kR : kB;
  rl->balance = kB;
  p = rl;
  return true;
}

// After one side of `p` grew by a level: answers whether `p` grew.
bool LeftGrew(GSIAVLNode*& p) {
  if (p->balance == kR) {
    p->balance = kB;
    return false;
  }
  if (p->balance == kB) {
    p->balance = kL;
    return true;
  }
  FixLeft(p);
  return false;
}

bool RightGrew(GSIAVLNode*& p) {
  if (p->balance == kL) {
    p->balance = kB;
    return false;
  }
  if (p->balance == kB) {
    p->balance = kR;
    return true;
  }
  FixRight(p);
  return false;
}

// After one side of `p` shrank by a level: answers whether `p` shrank.
bool LeftShrank(GSIAVLNode*& p) {
  if (p->balance == kL) {
    p->balance = kB;
    return true;
  }
  if (p->balance == kB) {
    p->balance = kR;
    return false;
  }
  return FixRight(p);
}

bool RightShrank(GSIAVLNode*& p) {
  if (p->balance == kR) {
    p->balance = kB;
    return true;
  }
  if (p->balance == kB) {
    p->balance = kL;
    return false;
  }
  return FixLeft(p);
}

bool InsertAt(GSIAVLNode*& p, GSIAVLNode* node, bool& grew) {
  if (!p) {
    node->left = nullptr;
    node->right = nullptr;
    node->balance = kB;
    p = node;
    grew = true;
    return true;
  }
  int c = node->Compare(*p);
  if (c == 0) return false;
  if (c < 0) {
    if (!InsertAt(p->left, node, grew)) return false;
    if (grew) grew = LeftGrew(p);
    return true;
  }
  if (!InsertAt(p->right, node, grew)) return false;
  if (grew) grew = RightGrew(p);
  return true;
}

GSIAVLNode* RemoveMin(GSIAVLNode*& p, bool& shrank) {
  if (p->left) {
    GSIAVLNode* min = RemoveMin(p->left, shrank);
    if (shrank) shrank = LeftShrank(p);
    return min;
  }
  GSIAVLNode* min = p;
  p = p->right;
  shrank = true;
  return min;
}

GSIAVLNode* Detach(GSIAVLNode* node) {
  node->left = nullptr;
  node->right = nullptr;
  node->balance = kB;
  return node;
}

GSIAVLNode* RemoveAt(GSIAVLNode*& p, const GSIAVLNode& key, bool& shrank) {
  if (!p) return nullptr;
  int c = key.Compare(*p);
  if (c < 0) {
    GSIAVLNode* removed = RemoveAt(p->left, key, shrank);
    if (removed && shrank) shrank = LeftShrank(p);
    return removed;
  }
  if (c > 0) {
    GSIAVLNode* removed = RemoveAt(p->right, key, shrank);
    if (removed && shrank) shrank = RightShrank(p);
    return removed;
  }
  GSIAVLNode* victim = p;
  if (!victim->left || !victim->right) {
    p = victim->left ? victim->left : victim->right;
    shrank = true;
    return Detach(victim);
  }
  GSIAVLNode* successor = RemoveMin(victim->right, shrank);
  successor->left = victim->left;
  successor->right = victim->right;
  successor->balance = victim->balance;
  p = successor;
  if (shrank) shrank = RightShrank(p);
  return Detach(victim);
}

}  // namespace

GSIAVLNode* GSIAVLTree::Find(const GSIAVLNode& key) const {
  GSIAVLNode* n = root;
  while (n) {
    int c = key.Compare(*n);
    if (c == 0) return n;
    n = c < 0 ? n->left : n->right;
  }
  return nullptr;
}

bool GSIAVLTree::Insert(GSIAVLNode* node) {
  if (!node) return false;
  bool grew = false;
  if (!InsertAt(root, node, grew)) return false;
  ++count;
  return true;
}

GSIAVLNode* GSIAVLTree::Remove(const GSIAVLNode& key) {
  bool shrank = false;
  return RemoveAt(root, key, shrank);
}

GSIAVLNode* GSIAVLTree::Erase(const GSIAVLNode& key) {
  GSIAVLNode* removed = Remove(key);
  if (removed && count) --count;
  return removed;
}

GSIAVLNode* GSIAVLTree::Iterator::Start(const GSIAVLTree& tree) {
  depth_ = 0;
  overflowed_ = false;
  PushLeftSpine(tree.root);
  return Current();
}

GSIAVLNode* GSIAVLTree::Iterator::Next() {
  if (depth_ == 0) return nullptr;
  GSIAVLNode* done = stack_[--depth_];
  PushLeftSpine(done->right);
  return Current();
}

void GSIAVLTree::Iterator::PushLeftSpine(GSIAVLNode* node) {
  for (; node; node = node->left) {
    if (depth_ == kMaxDepth) {
      overflowed_ = true;
      depth_ = 0;
      return;
    }
    stack_[depth_++] = node;
  }
}

}  // namespace Utils
