#include "gsnative/WorldListItem.h"

#include "gsnative/WorldList.h"

WorldListItem::~WorldListItem() {
  if (list_ != nullptr) list_->RemoveItem(this);
}

void WorldListItem::FillPlacementDefaults(WorldPlacement& placement) const {
  placement = WorldPlacement{};
  placement.flag = 1;
}

void WorldListItem::GetBounds(WorldPosition& lower, WorldPosition& upper) const {
  lower = WorldPosition{};
  upper = WorldPosition{};
}
