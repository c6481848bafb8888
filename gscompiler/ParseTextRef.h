// ParseTextRef: a 32-bit reference to a parse node's text (its `text` and
// `className`), in place of an 8-byte pointer.
//
// It reads and assigns like a `const char*`. The text it names is found in
// the ParseTextTable of the arena that made the node holding it (the table
// is named by the header of the node's block, ParseNodeRef.h), so a
// reference is only meaningful inside a node: it cannot be copied out of
// one (copy the text pointer instead).
//
// Two kinds of text:
// - texts the arena copied (names and strings of the parse): set with
//   SetArenaText from the id ParseArena::CopyText gave; the id is the
//   text's chunk and offset.
// - any other pointer assigned later (by the semantic pass): appended to
//   the table's list of other texts, which lives as long as the nodes.
//   Recording one may throw std::bad_alloc; the semantic pass turns that
//   into "Internal compiler error.".
// 0 is null.
#pragma once

#include <cstdint>
#include <vector>

#include "gscompiler/ParseNodeRef.h"

namespace GSCompiler {

struct ParseTextTable {
  // An arena text id: (chunk index + 1) << kOffsetBits | offset.
  static constexpr uint32_t kOffsetBits = 16;
  static constexpr uint32_t kOtherBit = 0x80000000u;
  // The most chunks an arena may hold (chunk index + 1 stays below the
  // other-text bit).
  static constexpr uint32_t kMaxChunks = (kOtherBit >> kOffsetBits) - 1;

  std::vector<char*> chunks;         // owned by the arena
  std::vector<const char*> others;   // pointers assigned after the parse
  const char* lastOther = nullptr;  // the last one, reused when assigned again
  uint32_t lastOtherId = 0;

  const char* Text(uint32_t id) const {
    if (id == 0) return nullptr;
    if ((id & kOtherBit) != 0) return others[id & ~kOtherBit];
    return chunks[(id >> kOffsetBits) - 1] + (id & ((uint32_t{1} << kOffsetBits) - 1));
  }
  // The id of a pointer not made by the arena; may throw std::bad_alloc.
  uint32_t Other(const char* text) {
    if (text == nullptr) return 0;
    if (text == lastOther) return lastOtherId;
    others.push_back(text);
    lastOther = text;
    lastOtherId = static_cast<uint32_t>(others.size() - 1) | kOtherBit;
    return lastOtherId;
  }
};

}  // namespace GSCompiler

class ParseTextRef {
 public:
  ParseTextRef() = default;
  ParseTextRef(const ParseTextRef&) = delete;
  ParseTextRef& operator=(const ParseTextRef& other) {
    return *this = static_cast<const char*>(other);
  }
  ParseTextRef& operator=(const char* text) {
    id_ = text == nullptr ? 0 : Table()->Other(text);
    return *this;
  }
  ParseTextRef& operator=(std::nullptr_t) {
    id_ = 0;
    return *this;
  }

  operator const char*() const { return id_ == 0 ? nullptr : Table()->Text(id_); }  // NOLINT

  // Names a text the node's arena copied (ParseArena::CopyText's id).
  void SetArenaText(uint32_t id) { id_ = id; }

 private:
  GSCompiler::ParseTextTable* Table() const {
    using namespace GSCompiler::ParseNodeBlocks;
    const uintptr_t start = reinterpret_cast<uintptr_t>(this) & ~(uintptr_t{kBlockBytes} - 1);
    return reinterpret_cast<const BlockHeader*>(start)->texts;
  }

  uint32_t id_ = 0;
};
