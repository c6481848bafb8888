#include "foundation/containers/IntrusiveList.h"

Utils::IDoubleLinkListNode::~IDoubleLinkListNode() {
  ListNodeUnlink(*this);
}

DoubleLinkList::~DoubleLinkList() {
  UnlinkAllNodes(*this);
}

void ListNodeLink(DoubleLinkList& list, Utils::IDoubleLinkListNode& node) {
  ListNodeUnlink(node);
  node.list = &list;
  node.next = list.head;
  if (list.head) list.head->prev = &node;
  list.head = &node;
  if (!list.tail) list.tail = &node;
}

void ListNodeUnlink(Utils::IDoubleLinkListNode& node) {
  DoubleLinkList* list = node.list;
  if (!list) return;
  if (node.prev) {
    node.prev->next = node.next;
  } else {
    list->head = node.next;
  }
  if (node.next) {
    node.next->prev = node.prev;
  } else {
    list->tail = node.prev;
  }
  node.prev = nullptr;
  node.next = nullptr;
  node.list = nullptr;
}

void UnlinkAllNodes(DoubleLinkList& list) {
  while (list.head) ListNodeUnlink(*list.head);
}

void DeleteListNodes(DoubleLinkList& list) {
  while (list.head) {
    Utils::IDoubleLinkListNode* node = list.head;
    ListNodeUnlink(*node);
    delete node;
  }
}
