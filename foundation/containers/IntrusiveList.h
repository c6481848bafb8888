// Intrusive doubly linked lists: Utils::IDoubleLinkListNode and
// DoubleLinkList.
//
// A list holds `head` and `tail`; a node holds `prev`, `next`, the list it
// belongs to and its `owner` (the object the node stands for, when the node
// is a member rather than a base; the list never reads it). ListNodeLink
// puts a node at the head of a list, first taking it out of any list it is
// in. ListNodeUnlink sets the neighbours' links past the node (or the list's
// head or tail when it has no neighbour there) and clears the node's links
// and list; a node that belongs to no list is left alone.
//
// Ownership: a list does not own its nodes, except that DeleteListNodes
// deletes every node (they must come from `new`). UnlinkAllNodes detaches
// every node and leaves the list empty; a list's destructor does the same,
// and a node's destructor unlinks it, so neither can leave a dangling link.
// Not thread-safe.
#pragma once

struct DoubleLinkList;

namespace Utils {

class IDoubleLinkListNode {
 public:
  IDoubleLinkListNode() = default;
  explicit IDoubleLinkListNode(void* ownerObject) : owner(ownerObject) {}
  virtual ~IDoubleLinkListNode();
  IDoubleLinkListNode(const IDoubleLinkListNode&) = delete;
  IDoubleLinkListNode& operator=(const IDoubleLinkListNode&) = delete;

  IDoubleLinkListNode* prev = nullptr;
  IDoubleLinkListNode* next = nullptr;
  DoubleLinkList* list = nullptr;
  void* owner = nullptr;
};

}  // namespace Utils

struct DoubleLinkList {
  DoubleLinkList() = default;
  ~DoubleLinkList();
  DoubleLinkList(const DoubleLinkList&) = delete;
  DoubleLinkList& operator=(const DoubleLinkList&) = delete;

  Utils::IDoubleLinkListNode* head = nullptr;
  Utils::IDoubleLinkListNode* tail = nullptr;
};

void ListNodeLink(DoubleLinkList& list, Utils::IDoubleLinkListNode& node);
void ListNodeUnlink(Utils::IDoubleLinkListNode& node);
void UnlinkAllNodes(DoubleLinkList& list);
void DeleteListNodes(DoubleLinkList& list);
