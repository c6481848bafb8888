// Kiv::VertexType: a display's description of a vertex: an id, streams and
// the items each stream holds (item type, offset, data type, semantic,
// name), where an item may instead alias another item type (it reads the
// same data). CreateStreams and CreateItems size the tables; AddItem
// appends to a stream (false for a stream not made). Registering it with a
// display records "RegisterVertexType <id>". Counted (Kiv::ReferenceCount).
// Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"

namespace Kiv {

class VertexType : public ReferenceCount {
 public:
  struct Item {
    uint32_t type = 0;
    int32_t offset = -1;
    uint32_t dataType = 0;
    uint32_t semantic = 0;
    PString name;
    uint32_t aliasOf = 0;  // 0: its own data.
  };

  explicit VertexType(uint32_t id) : id_(id) {}

  uint32_t GetId() const { return id_; }
  void CreateStreams(uint32_t count) { streams_.resize(count); }
  void CreateItems(uint32_t stream, uint32_t capacity) {
    if (stream < streams_.size()) streams_[stream].reserve(capacity);
  }
  bool AddItem(uint32_t stream, uint32_t type, int32_t offset, uint32_t dataType,
               uint32_t semantic, const PString& name) {
    if (stream >= streams_.size()) return false;
    streams_[stream].push_back(Item{type, offset, dataType, semantic, name, 0});
    return true;
  }
  // Item `type` reads the data of item `target` (on the first stream).
  void AddItem(uint32_t type, uint32_t target, const PString& name) {
    aliases_.push_back(Item{type, -1, 0, 0, name, target});
  }
  const std::vector<std::vector<Item>>& GetStreams() const { return streams_; }
  const std::vector<Item>& GetAliases() const { return aliases_; }

 private:
  uint32_t id_;
  std::vector<std::vector<Item>> streams_;
  std::vector<Item> aliases_;
};

}  // namespace Kiv
