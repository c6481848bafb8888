#include "gsnative/WorldItemFactory.h"

#include <utility>

WorldItemFactory::WorldItemFactory(uint32_t typeId, std::string name)
    : typeId_(typeId), name_(std::move(name)), next_(Head()) {
  Head() = this;
}

WorldItemFactory::~WorldItemFactory() {
  for (WorldItemFactory** link = &Head(); *link != nullptr; link = &(*link)->next_) {
    if (*link != this) continue;
    *link = next_;
    return;
  }
}

WorldItemFactory*& WorldItemFactory::Head() {
  static WorldItemFactory* head = nullptr;
  return head;
}

std::unique_ptr<WorldFactoryItem> WorldItemFactory::MakeItem(const WorldItemRecord& record,
                                                             TStream& body) {
  for (WorldItemFactory* f = Head(); f != nullptr; f = f->next_) {
    if (f->typeId_ == record.typeId) return f->Create(record, body);
  }
  return nullptr;
}
