#include "gscompiler/GSParse.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>

#include "GSGrammar.hpp"
#include "gscompiler/GSScanner.h"
#include "gscompiler/ParseBuilder.h"

namespace GSCompiler {

namespace {

// A node block's first slot holds its header; the nodes take the others.
constexpr uint32_t kNodesPerBlock =
    static_cast<uint32_t>(ParseNodeBlocks::kBlockBytes / sizeof(ParseNode)) - 1;
constexpr size_t kTextChunkBytes = size_t{1} << ParseTextTable::kOffsetBits;
// Texts from this length on get a chunk of their own.
constexpr size_t kOwnChunkLength = kTextChunkBytes / 4;

// Makes a builder the current parse for one yyparse() call.
class CurrentParseScope {
 public:
  explicit CurrentParseScope(ParseBuilder* builder) { currentParse = builder; }
  ~CurrentParseScope() { currentParse = nullptr; }
  CurrentParseScope(const CurrentParseScope&) = delete;
  CurrentParseScope& operator=(const CurrentParseScope&) = delete;
};

void ReportInternalError(CompileDiagnostics& diagnostics) {
  GSCompilerMessage(&diagnostics, "Internal compiler error.");
  ++diagnostics.errorCount;
}

}  // namespace

ParseBuilder* currentParse = nullptr;

ParseArena::ParseArena() : texts_(std::make_unique<ParseTextTable>()) {}

ParseArena::~ParseArena() {
  Reset();
}

ParseNode* ParseArena::NodeAt(uint32_t index) const {
  const size_t b = index / kNodesPerBlock;
  if (b < firstLiveBlock_ || b >= blocks_.size()) return nullptr;
  ParseNode* first = reinterpret_cast<ParseNode*>(ParseNodeBlocks::blockStart[blocks_[b]]);
  return first + 1 + index % kNodesPerBlock;
}

ParseNode* ParseArena::NewNodeInNewBlock() {
  try {
    blocks_.reserve(blocks_.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  uint32_t number = 0;
  if (ParseNodeBlocks::Allocate(&number) == nullptr) return nullptr;
  blocks_.push_back(number);
  char* start = ParseNodeBlocks::blockStart[number];
  reinterpret_cast<ParseNodeBlocks::BlockHeader*>(start)->texts = texts_.get();
  nextSlot_ = reinterpret_cast<ParseNode*>(start) + 1;
  blockEnd_ = nextSlot_ + kNodesPerBlock;
  return NewNode();
}

void ParseArena::Reset() {
  ReleaseNodes();
  for (char* chunk : texts_->chunks) delete[] chunk;
  texts_->chunks.clear();
  texts_->chunks.shrink_to_fit();
  textUsed_ = 0;
  currentChunk_ = 0;
  recent_.reset();
}

void ParseArena::ClearParents(uint32_t first) {
  for (uint32_t i = first; i < nodeCount_; ++i) {
    ParseNode* node = NodeAt(i);
    if (node != nullptr) node->parent = nullptr;
  }
}

void ParseArena::ReleaseNodesBefore(const ParseNode* node) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(node);
  const uintptr_t start = address & ~(uintptr_t{ParseNodeBlocks::kBlockBytes} - 1);
  for (size_t b = firstLiveBlock_; b < blocks_.size(); ++b) {
    if (reinterpret_cast<uintptr_t>(ParseNodeBlocks::blockStart[blocks_[b]]) != start) continue;
    for (size_t i = firstLiveBlock_; i < b; ++i) ParseNodeBlocks::Free(blocks_[i]);
    firstLiveBlock_ = b;
    return;
  }
}

void ParseArena::ReleaseNodes() {
  for (size_t i = firstLiveBlock_; i < blocks_.size(); ++i) ParseNodeBlocks::Free(blocks_[i]);
  blocks_.clear();
  texts_->others.clear();
  texts_->others.shrink_to_fit();
  texts_->lastOther = nullptr;
  texts_->lastOtherId = 0;
  firstLiveBlock_ = 0;
  nextSlot_ = nullptr;
  blockEnd_ = nullptr;
  nodeCount_ = 0;
}

const char* ParseArena::CopyText(const char* text, size_t length, uint32_t* id) {
  if (length >= SIZE_MAX - 1) return nullptr;
  RecentText* recent = nullptr;
  if (id != nullptr && length <= kMaxSharedLength) {
    if (recent_ == nullptr) recent_.reset(new (std::nothrow) RecentText[kRecentTexts]);
    if (recent_ != nullptr) {
      // The bytes folded into one word (a rotate and an exclusive or each,
      // no multiply per byte), mixed once: texts that collide only share
      // less.
      uint64_t word = length;
      for (size_t i = 0; i < length; ++i)
        word = (word << 7 | word >> 57) ^ static_cast<unsigned char>(text[i]);
      const uint64_t mixed = word * 0x9E3779B97F4A7C15ull;
      recent = &recent_[(mixed >> 32) % kRecentTexts];
      if (recent->text != nullptr && recent->length == length &&
          std::memcmp(recent->text, text, length) == 0) {
        *id = recent->id;
        return recent->text;
      }
    }
  }
  std::vector<char*>& chunks = texts_->chunks;
  const bool ownChunk = length >= kOwnChunkLength;
  if (ownChunk || currentChunk_ == 0 || textUsed_ + length + 1 > kTextChunkBytes) {
    if (chunks.size() >= ParseTextTable::kMaxChunks) return nullptr;
    try {
      chunks.reserve(chunks.size() + 1);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    char* chunk = new (std::nothrow) char[ownChunk ? length + 1 : kTextChunkBytes];
    if (chunk == nullptr) return nullptr;
    chunks.push_back(chunk);
    if (!ownChunk) {
      currentChunk_ = chunks.size();
      textUsed_ = 0;
    }
  }
  const size_t chunkNumber = ownChunk ? chunks.size() : currentChunk_;
  const size_t offset = ownChunk ? 0 : textUsed_;
  char* copy = chunks[chunkNumber - 1] + offset;
  if (length != 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  if (!ownChunk) textUsed_ += length + 1;
  if (id != nullptr)
    *id = static_cast<uint32_t>(chunkNumber << ParseTextTable::kOffsetBits | offset);
  if (recent != nullptr) *recent = RecentText{copy, *id, static_cast<uint32_t>(length)};
  return copy;
}

ParseResult GSParseSource(const char* text, size_t length, CompileDiagnostics& diagnostics,
                          ParseArena& arena) {
  ParseResult result;
  const uint32_t errorsBefore = diagnostics.errorCount;
  std::unique_ptr<GSScanner> scanner;
  try {
    scanner = std::make_unique<GSScanner>(text, length);
  } catch (const std::bad_alloc&) {
    ReportInternalError(diagnostics);
    result.status = 1;
    result.errorCount = diagnostics.errorCount - errorsBefore;
    return result;
  }
  ParseBuilder builder(arena, diagnostics, *scanner);
  const uint32_t firstNode = arena.NodeCount();
  int status;
  {
    CurrentParseScope scope(&builder);
    status = yyparse();
  }
  builder.ForgetListEnds(firstNode);
  if (builder.OutOfMemory()) {
    ReportInternalError(diagnostics);
    if (status == 0) status = 1;
  }
  result.status = status;
  result.root = status == 0 ? builder.Root() : nullptr;
  result.errorCount = diagnostics.errorCount - errorsBefore;
  return result;
}

}  // namespace GSCompiler

// The parser's token source: the current parse's scanner. A scanner failure
// is reported here, and the parser then stops (YYerror ends it without a
// "parse error" message of its own).
int yylex() {
  GSCompiler::ParseBuilder* parse = GSCompiler::CurrentParse();
  if (parse == nullptr) return YYEOF;
  GSCompiler::GSScanner& scanner = parse->Scanner();
  int token = scanner.NextToken();
  if (token == YYerror) {
    GSCompilerReport(&parse->Diagnostics(), true, false, scanner.Line(), "%s, line %d",
                     scanner.FailureText(), scanner.Line());
  }
  return token;
}

// The parser's error report. bison's two texts become the compiler's:
// a syntax error is "parse error", a stack that cannot grow further is
// "parser stack overflow". Without a current parse there is no log.
void yyerror(const char* message) {
  GSCompiler::ParseBuilder* parse = GSCompiler::CurrentParse();
  if (parse == nullptr) return;
  const bool exhausted = message != nullptr && std::strcmp(message, "memory exhausted") == 0;
  const char* text = exhausted ? "parser stack overflow" : "parse error";
  int line = parse->Scanner().Line();
  GSCompilerReport(&parse->Diagnostics(), true, false, line, "%s, line %d", text, line);
}
