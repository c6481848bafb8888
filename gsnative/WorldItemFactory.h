// World-item factories: they make the items of a world from the records of
// a stream, by type id.
//
// WorldFactoryItem is the base part of everything a factory makes: it
// carries the item's type id, a u32 of four characters (0x6A6E4F62 is the
// bytes "bOnj").
//
// Every WorldItemFactory stands in one process-wide list from its
// construction to its destruction; a new factory goes to the head of the
// list, so of two factories for one type id the later one is asked.
// MakeItem walks the list from its head and asks the first factory whose
// type id matches to create the item; without one, nothing is made.
//
// Create reads what it needs from `body` (a window on the record's body:
// it cannot read past it) and hands the caller a new item it owns, or null.
// The record's KUID, the list's factory word and its save word come with
// the record.
//
// The list is not locked: factories are made and used on the thread that
// loads worlds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/text/KUID.h"

class TStream;

class WorldFactoryItem {
 public:
  explicit WorldFactoryItem(uint32_t typeId) : typeId_(typeId) {}
  virtual ~WorldFactoryItem() = default;
  WorldFactoryItem(const WorldFactoryItem&) = delete;
  WorldFactoryItem& operator=(const WorldFactoryItem&) = delete;

  uint32_t GetTypeId() const { return typeId_; }

 private:
  uint32_t typeId_;
};

// What a factory knows of the record it makes an item for.
struct WorldItemRecord {
  uint32_t typeId = 0;
  KUID kuid;
  uint32_t factoryWord = 0;
  uint32_t saveWord = 0;
};

class WorldItemFactory {
 public:
  WorldItemFactory(uint32_t typeId, std::string name);
  virtual ~WorldItemFactory();
  WorldItemFactory(const WorldItemFactory&) = delete;
  WorldItemFactory& operator=(const WorldItemFactory&) = delete;

  uint32_t GetTypeId() const { return typeId_; }
  const std::string& GetName() const { return name_; }

  virtual std::unique_ptr<WorldFactoryItem> Create(const WorldItemRecord& record,
                                                   TStream& body) = 0;

  // The item the first factory of the record's type id makes; null when no
  // factory makes that type or the factory made nothing.
  static std::unique_ptr<WorldFactoryItem> MakeItem(const WorldItemRecord& record, TStream& body);

 private:
  static WorldItemFactory*& Head();

  uint32_t typeId_;
  std::string name_;
  WorldItemFactory* next_ = nullptr;
};
