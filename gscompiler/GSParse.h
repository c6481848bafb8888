// The GameScript front end's entry point: one source text in, one parse
// tree out.
//
// GSCompiler::GSParseSource(text, length, diagnostics, arena) scans and
// parses `length` bytes at `text` (any bytes, NUL included; the text need
// not be NUL-terminated and is not copied or kept after the call). It
// builds the tree in `arena` and reports through `diagnostics`
// (CompileDiagnostics.h): its `fileName` names the source in every message
// and its counts go up by the errors found. The result holds:
// - root: the program's top-level chain (the include declarations in order,
//   then the class declarations in order); null when the parse failed.
// - status: 0 parsed; 1 syntax error (or an internal failure); 2 the parser
//   stack overflowed.
// - errorCount: the errors this parse counted (0 or 1: the parse stops at
//   the first syntax error), also added to diagnostics.errorCount.
//
// Messages, each one counted error:
// - "<file>(<line>) : parse error, line <line>" at the first token no rule
//   accepts (an illegal character included), <line> being the scanner's
//   line at that token; an empty source or one without a class fails at
//   end of input.
// - "<file>(<line>) : parser stack overflow, line <line>" when the nesting
//   needs more than 10,000 parser stack entries (the stack starts at 200
//   and doubles).
// - "<file>(<line>) : <flex message>, line <line>" when the scanner fails
//   inside (a buffer that cannot grow); the process goes on.
// - "Internal compiler error." (without file and line) when the tree
//   cannot be allocated; it counts as an error and the status is 1.
//
// Ownership: every node and text of the tree lives in `arena` until the
// arena is reset or destroyed; one arena may hold the trees of several
// sources (a unit and its includes). The arena belongs to the caller.
//
// Not thread-safe and not re-entrant: the scanner and parser are
// process-wide (yyparse takes no arguments and reads the current parse set
// up by this call), so one parse runs at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "gscompiler/CompileDiagnostics.h"
#include "gscompiler/ParseNode.h"

namespace GSCompiler {

// The pools a parse tree lives in: fixed-size node slots and a frame pool
// for names and string texts.
class ParseArena {
 public:
  ParseArena();
  ParseArena(const ParseArena&) = delete;
  ParseArena& operator=(const ParseArena&) = delete;
  ~ParseArena();

  // A zeroed node with the "as built" defaults; null when out of memory.
  // Inline while the current block has room.
  ParseNode* NewNode() {
    if (nextSlot_ == blockEnd_) return NewNodeInNewBlock();
    // Nodes are written once, in order, into memory the caches have not
    // seen lately: ask for the lines a few nodes ahead (a prefetch past the
    // block's end is harmless).
    __builtin_prefetch(nextSlot_ + 8, 1);
    ParseNode* node = new (nextSlot_++) ParseNode{};
    ++nodeCount_;
    node->op = -1;
    node->type = ParseNode::TypeNone;
    return node;
  }
  // A NUL-terminated copy of `length` bytes, and its id for
  // ParseTextRef::SetArenaText in `*id` (when not null); null when out of
  // memory or when the arena holds its most text chunks (2 GB of names).
  // With `id`, a short text equal to one copied recently may be answered
  // with that copy: such copies are shared and must not be written.
  const char* CopyText(const char* text, size_t length, uint32_t* id = nullptr);
  // Frees every node and text; earlier trees become invalid.
  void Reset();
  // Frees every node and keeps the texts: for a compile whose code is
  // generated, where the library still names what the texts hold but no
  // stage walks a tree again. Earlier trees become invalid.
  void ReleaseNodes();
  // Frees every block of nodes made before the block that holds `node`
  // (nodes are numbered in creation order); nothing when `node` is not in
  // a live block. For a walk in creation order that is done with every
  // node made before `node`; those nodes become invalid.
  void ReleaseNodesBefore(const ParseNode* node);

  // Nulls `parent` in every node from number `first` (in creation order)
  // on: the parser keeps the last node of each list there while it builds,
  // and a tree leaves the parser without parent links (the parser's
  // fallback when it could not note the list heads).
  void ClearParents(uint32_t first);

  uint32_t NodeCount() const { return nodeCount_; }

 private:
  // The node with number `index` (creation order), or null when its block
  // was released.
  ParseNode* NodeAt(uint32_t index) const;
  // NewNode() from a fresh block.
  ParseNode* NewNodeInNewBlock();

  // Nodes are never freed one by one: they are handed out in creation order
  // from blocks of ParseNodeBlocks (ParseNodeRef.h), which keeps a tree
  // dense in memory. blocks_ holds the block numbers in order.
  std::vector<uint32_t> blocks_;
  size_t firstLiveBlock_ = 0;  // blocks before it are released
  // The last block's next free slot and its end (equal: no room left).
  ParseNode* nextSlot_ = nullptr;
  ParseNode* blockEnd_ = nullptr;
  uint32_t nodeCount_ = 0;
  // Texts: 64 KB chunks filled in turn, a chunk of its own for a long text.
  std::unique_ptr<ParseTextTable> texts_;
  size_t textUsed_ = 0;       // bytes used in the current chunk
  size_t currentChunk_ = 0;   // index + 1 of the chunk being filled; 0 none
  // Short texts copied lately, by a hash of their bytes: a name used on
  // every line is held once, not once per use.
  struct RecentText {
    const char* text = nullptr;
    uint32_t id = 0;
    uint32_t length = 0;
  };
  static constexpr size_t kRecentTexts = 1024;
  static constexpr size_t kMaxSharedLength = 32;
  std::unique_ptr<RecentText[]> recent_;
};

struct ParseResult {
  ParseNode* root = nullptr;
  int status = 0;
  uint32_t errorCount = 0;
};

ParseResult GSParseSource(const char* text, size_t length, CompileDiagnostics& diagnostics,
                          ParseArena& arena);

}  // namespace GSCompiler

// The generated parser: parses the current parse (set up by GSParseSource).
// 0 parsed, 1 syntax error, 2 parser stack overflow. Without a current
// parse it reads end of input at once and fails with 1.
int yyparse();
