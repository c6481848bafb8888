// WorldListItem: an item of a world (an object placed in it) as a
// WorldList holds it.
//
// The list fields: the list the item belongs to (null when none) and its
// index there (-1 when none); only WorldList changes them. The virtual
// operations, whose base versions do what is said:
//   LoadListRecord / SaveListRecord      the item-list record body (nothing)
//   Refresh                              (nothing)
//   GetFlags                             1
//   Notify(argument, flags)              (nothing)
//   LoadItemData / SaveItemData          the item-data record body (nothing)
//   LoadObjectRecord / SaveObjectRecord  the object record body (nothing)
//   GetKUID                              the null KUID
//   OnAddedToList / OnRemovedFromList    (nothing)
//   FillPlacementDefaults                flag 1, both tiles 0, six floats 0
//   GetBounds(lower, upper)              tile (0, 0) with zero offsets, twice
// The load operations read from a window on the record's body, so they
// cannot read past it (the version-2 item list, whose records carry no
// length, is the exception: there the item reads the list's stream). While
// a body is read or written, the list's save word, factory word and the
// record's KUID are visible through GetList().
//
// Destroying an item removes it from its list; since that happens in this
// base's destructor, the list, its observer and the removal operation see
// only the base part by then (a derived class that needs its own removal
// call removes the item in its destructor). WorldBaseItem is the common
// base of items and lists; it holds nothing.
#pragma once

#include <cstdint>

#include "foundation/base/IdentifiableType.h"
#include "foundation/text/KUID.h"
#include "gsnative/WorldItemFactory.h"
#include "gsnative/WorldPosition.h"

class TStream;
class WorldList;

class WorldBaseItem {
 public:
  WorldBaseItem() = default;
  virtual ~WorldBaseItem() = default;
  WorldBaseItem(const WorldBaseItem&) = delete;
  WorldBaseItem& operator=(const WorldBaseItem&) = delete;
};

class WorldListItem : public WorldBaseItem, public WorldFactoryItem, public IdentifiableType {
 public:
  explicit WorldListItem(uint32_t typeId) : WorldFactoryItem(typeId) {}
  ~WorldListItem() override;

  WorldList* GetList() const { return list_; }
  int32_t GetIndex() const { return index_; }

  virtual void LoadListRecord(TStream& /*body*/) {}
  virtual void SaveListRecord(TStream& /*stream*/) {}
  virtual void Refresh() {}
  virtual uint32_t GetFlags() const { return 1; }
  virtual void Notify(uint32_t /*argument*/, uint32_t /*flags*/) {}
  virtual void LoadItemData(TStream& /*body*/) {}
  virtual void SaveItemData(TStream& /*stream*/) {}
  virtual void LoadObjectRecord(TStream& /*body*/) {}
  virtual void SaveObjectRecord(TStream& /*stream*/) {}
  virtual KUID GetKUID() const { return kNullKUID; }
  virtual void OnAddedToList() {}
  virtual void OnRemovedFromList() {}
  virtual void FillPlacementDefaults(WorldPlacement& placement) const;
  virtual void GetBounds(WorldPosition& lower, WorldPosition& upper) const;

 private:
  friend class WorldList;

  WorldList* list_ = nullptr;
  int32_t index_ = -1;
};

// Told of every item added to and removed from a list, and of its
// clearing. Owned elsewhere; it must outlive the list or be detached.
class WorldListObserver {
 public:
  virtual ~WorldListObserver() = default;
  virtual void ItemAdded(WorldListItem& item) = 0;
  virtual void ItemRemoved(WorldListItem& item) = 0;
  virtual void Cleared() = 0;
};
