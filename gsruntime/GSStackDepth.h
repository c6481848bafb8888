// The operand-stack depth check of GSVerifyCode (GSCodeVerifier.h), on code
// that has already been decoded and operand-checked.
//
// Depths are tracked per instruction along every path from the entry (depth
// 0). A call whose result is unknown (`leaves` -1 at its index) gets an
// unknown 0/1 of its own; a depth is then a constant plus a sum of such
// unknowns, and every rule (no underflow, at most `maxDepth`, equal depths
// where paths meet, RET at 0, RETV at 1) becomes a constraint that fixes
// unknowns as soon as only one value can satisfy it. Unknowns that no rule
// fixes are tried as 1, then as 0. On success `valueCalls` holds the
// offsets of the calls that leave a value, ascending.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GSRuntime {

struct GSDecodedCode {
  const uint8_t* code = nullptr;
  uint32_t size = 0;
  std::vector<uint32_t> starts;  // instruction offsets, ascending
  std::vector<int32_t> indexAt;  // per code byte: the instruction starting there, or -1

  int32_t IndexOf(uint32_t offset) const { return offset < size ? indexAt[offset] : -1; }
};

// `leaves` has one entry per instruction: for calls 1 or 0 when known, -1
// when not; ignored elsewhere.
bool GSCheckStackDepth(const GSDecodedCode& code, const std::vector<int8_t>& leaves, uint32_t maxDepth,
                       std::vector<uint32_t>& valueCalls, std::string& error);

}  // namespace GSRuntime
