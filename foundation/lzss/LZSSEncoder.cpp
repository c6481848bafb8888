#include "foundation/lzss/LZSSEncoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundation/lzss/LZSSFormat.h"
#include "foundation/lzss/LZSSItemCoder.h"

namespace {

struct LevelRow {
  uint32_t variant;
  uint32_t niceLength;
  // Most chain positions one search looks at, so that inputs with many equal
  // short strings cannot make the search grow with the window.
  uint32_t maxChain;
};

constexpr LevelRow kLevels[LZSS::kMaxLevel + 1] = {
    {0, 0, 0},    {1, 8, 4},     {1, 16, 8},  {1, 32, 16},   {2, 64, 32},
    {2, 128, 64}, {2, 256, 128}, {2, 64, 64}, {2, 128, 256}, {2, 256, 1024},
};

constexpr uint16_t kNone = 0xFFFF;
constexpr uint32_t kStoredMaximum = 6;

// Greedy hash-chain parse of the input into literals and matches.
class Parser {
 public:
  Parser(const uint8_t* src, uint32_t n, uint32_t level, uint32_t variant, LZSSItemCoder& coder);
  bool Allocate();
  bool Run();

 private:
  const uint8_t* In() const { return window_ + position_; }
  void Insert();
  void Advance();
  void Slide();
  bool FindMatch(uint32_t candidate);
  bool CodeLiterals();
  bool CodeMatch();

  LZSSItemCoder& coder_;
  const uint8_t* window_;
  uint32_t remaining_;
  uint32_t windowSize_;
  uint32_t bufferEnd_;
  uint32_t niceLength_;
  uint32_t maxChain_;
  uint32_t hashShift_;
  uint32_t hashMask_;
  uint32_t hash_ = 0;
  uint32_t position_ = 0;
  uint32_t literalStart_ = 0;
  uint32_t bestLength_ = 0;
  uint32_t bestPosition_ = 0;
  std::unique_ptr<uint16_t[]> hashHead_;
  std::unique_ptr<uint16_t[]> hashPrev_;
};

Parser::Parser(const uint8_t* src, uint32_t n, uint32_t level, uint32_t variant,
               LZSSItemCoder& coder)
    : coder_(coder), window_(src), remaining_(n) {
  windowSize_ = 1u << LZSS::kVariantTable[variant].distanceBits;
  const uint32_t span = 2 * windowSize_ + LZSS::kMaxMatch;
  bufferEnd_ = n < span ? n : span;
  niceLength_ = kLevels[level].niceLength;
  maxChain_ = kLevels[level].maxChain;
  hashShift_ = bufferEnd_ < 2000 ? 3 : bufferEnd_ < 24000 ? 4 : 5;
  hashMask_ = 0xFFFFu >> (16 - 3 * hashShift_);
}

bool Parser::Allocate() {
  try {
    hashHead_.reset(new uint16_t[hashMask_ + 1]);
    hashPrev_.reset(new uint16_t[bufferEnd_]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::fill_n(hashHead_.get(), hashMask_ + 1, kNone);
  std::fill_n(hashPrev_.get(), bufferEnd_, kNone);
  return true;
}

// Adds the current position to the chain of the 3 bytes that start there.
void Parser::Insert() {
  hash_ = ((hash_ << hashShift_) ^ In()[2]) & hashMask_;
  hashPrev_[position_] = hashHead_[hash_];
  hashHead_[hash_] = static_cast<uint16_t>(position_);
}

void Parser::Advance() {
  ++position_;
  --remaining_;
}

// Moves the window base forward so that the current position is W bytes in,
// rebasing the chains in place. Positions that fall out of the window, or
// that were stored as 32768 or more, are dropped.
void Parser::Slide() {
  const int32_t delta = static_cast<int32_t>(position_ - windowSize_);
  window_ += delta;
  position_ -= delta;
  literalStart_ -= delta;
  auto rebase = [delta](uint16_t v) -> uint16_t {
    const int32_t s = static_cast<int16_t>(v);
    return s >= delta ? static_cast<uint16_t>(s - delta) : kNone;
  };
  for (uint32_t i = 0; i <= hashMask_; ++i) hashHead_[i] = rebase(hashHead_[i]);
  const uint32_t kept = bufferEnd_ - static_cast<uint32_t>(delta);
  for (uint32_t i = 0; i < kept; ++i) hashPrev_[i] = rebase(hashPrev_[i + delta]);
  std::fill_n(hashPrev_.get() + kept, delta, kNone);
}

// Walks the chain from `candidate` for the longest match of 3 or more bytes,
// the nearest of equally long ones. Stops at the nice length or after the
// level's chain limit.
bool Parser::FindMatch(uint32_t candidate) {
  const int32_t limit = position_ >= windowSize_ ? int32_t(position_ - windowSize_) : -1;
  const uint32_t toEnd = bufferEnd_ - position_;
  const uint32_t avail = toEnd < remaining_ ? toEnd : remaining_;
  const uint32_t nice = niceLength_ < avail ? niceLength_ : avail;
  const uint8_t* in = In();
  bestLength_ = 2;
  uint32_t chain = maxChain_;
  for (int32_t c = static_cast<int32_t>(candidate); c > limit;
       c = static_cast<int16_t>(hashPrev_[c])) {
    const uint8_t* at = window_ + c;
    if (at[0] == in[0] && at[bestLength_] == in[bestLength_] && at[1] == in[1]) {
      uint32_t len = 3;
      while (len < avail && at[len] == in[len]) ++len;
      if (len > bestLength_) {
        bestPosition_ = static_cast<uint32_t>(c);
        bestLength_ = len;
        if (len >= nice) break;
      }
    }
    if (--chain == 0) break;
  }
  return bestLength_ >= LZSS::kMinMatch;
}

bool Parser::CodeLiterals() {
  const uint32_t pending = position_ - literalStart_;
  if (pending == 0) return true;
  const bool ok = coder_.Literals(window_ + literalStart_, pending);
  literalStart_ = position_;
  return ok;
}

// Codes the match found at the current position, in pieces of at most 258
// bytes; a rest of 1 or 2 bytes is left to be parsed again.
bool Parser::CodeMatch() {
  if (!CodeLiterals()) return false;
  const uint32_t distance = position_ - bestPosition_;
  uint32_t length = bestLength_;
  while (length > LZSS::kMaxMatch) {
    if (!coder_.Match(LZSS::kMaxMatch, distance)) return false;
    length -= LZSS::kMaxMatch;
  }
  if (length < LZSS::kMinMatch) {
    bestLength_ -= length;
    return true;
  }
  return coder_.Match(length, distance);
}

bool Parser::Run() {
  if (remaining_ >= 3) hash_ = ((uint32_t(In()[0]) << hashShift_) ^ In()[1]) & hashMask_;
  while (remaining_ > 0) {
    if (position_ - literalStart_ >= LZSS::kMaxMatch && !CodeLiterals()) return false;
    if (remaining_ >= 3) {
      if (position_ >= 2 * windowSize_) Slide();
      Insert();
      const uint32_t candidate = hashPrev_[position_];
      if (candidate != kNone && int64_t(candidate) > int64_t(position_) - windowSize_ &&
          FindMatch(candidate)) {
        if (!CodeMatch()) return false;
        for (uint32_t i = 1; i < bestLength_; ++i) {
          Advance();
          if (remaining_ >= 3) Insert();
        }
        literalStart_ = position_ + 1;
      }
    }
    Advance();
  }
  return CodeLiterals();
}

// Chooses the window variant from the level and the input size; may lower
// the level of a small input to the flag-word coding.
uint32_t ChooseVariant(uint32_t n, uint32_t& level) {
  uint32_t variant = kLevels[level].variant;
  if (n < 256) {
    variant = 0;
    if (level >= LZSS::kFirstHuffmanMethod) level = LZSS::kFirstHuffmanMethod - 1;
  }
  if (variant > 0 && n <= (1u << LZSS::kVariantTable[variant - 1].distanceBits)) --variant;
  return variant;
}

size_t Stored(const uint8_t* src, size_t n, uint8_t* dst, size_t capacity) {
  if (capacity < 1 || capacity - 1 < n) return 0;
  dst[0] = 0;
  if (n > 0) std::memcpy(dst + 1, src, n);
  return n + 1;
}

}  // namespace

size_t LZSSEncode(const void* src, size_t n, uint32_t level, void* dst, size_t capacity) {
  if (n >= UINT32_MAX || (src == nullptr && n > 0) || dst == nullptr) return 0;
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  if (level > LZSS::kMaxLevel) level = LZSS::kMaxLevel;
  if (level == 0 || n <= kStoredMaximum) return Stored(in, n, out, capacity);
  const uint32_t size = static_cast<uint32_t>(n);
  const uint32_t variant = ChooseVariant(size, level);
  std::unique_ptr<LZSSItemCoder> coder;
  try {
    coder = std::make_unique<LZSSItemCoder>(out, capacity);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (!coder->Start(level, variant)) return 0;
  Parser parser(in, size, level, variant, *coder);
  if (!parser.Allocate()) return 0;
  if (parser.Run() && coder->Finish()) return coder->Size();
  return Stored(in, n, out, capacity);
}

std::vector<uint8_t> LZSSEncodeToVector(const void* src, size_t n, uint32_t level) {
  std::vector<uint8_t> out;
  if (n >= UINT32_MAX) return out;
  try {
    out.resize(n + 1);
  } catch (const std::bad_alloc&) {
    return out;
  }
  out.resize(LZSSEncode(src, n, level, out.data(), out.size()));
  return out;
}
