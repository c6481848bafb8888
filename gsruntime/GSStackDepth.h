// The operand-stack depth check of GSCodeVerifier (GSCodeVerifier.h), on code
// that has already been decoded and operand-checked.
//
// First every call gets what it leaves on the stack: `leaves` gives 1 or 0
// where the caller knows it; for a call marked -1 the code that follows it
// decides: the call leaves a value when the straight-line code after it
// (through conditional jumps, up to the next JMP, RET, WAIT or SWITCH)
// takes one more operand than it pushed, as code that uses or drops a
// call's result does. Then depths are tracked per instruction along every
// path from the entry (depth 0): no instruction takes more operands than
// the stack holds, no depth exceeds `maxDepth`, paths meet with equal
// depths, RET finds 0 and RETV/RETREF 1, WAIT's targets get the message
// (+1), and no path runs off the end of the code. On success `code.depth`
// holds the depth before every instruction (-1 where no path reaches) and
// `code.leaves` what every call leaves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GSRuntime {

// One function's decoded code, with working storage that is kept from one
// function to the next.
struct GSDecodedCode {
  const uint8_t* code = nullptr;
  uint32_t size = 0;
  std::vector<uint32_t> starts;  // instruction offsets, ascending
  std::vector<int32_t> indexAt;  // per code byte: the instruction starting there, or -1
  std::vector<int8_t> leaves;    // per instruction: what a call leaves (1, 0, -1 unknown)
  std::vector<uint8_t> joins;    // per instruction: 1 when a jump, WAIT or SWITCH targets it
  std::vector<uint32_t> calls;   // the instructions that call, ascending
  std::vector<int64_t> depth;    // per instruction: the depth before it, or -1
  std::vector<uint32_t> work;

  int32_t IndexOf(uint32_t offset) const { return offset < size ? indexAt[offset] : -1; }
};

// `code.leaves` has one entry per instruction: for calls 1 or 0 when known,
// -1 when not; ignored elsewhere. `code.calls` lists every call.
bool GSCheckStackDepth(GSDecodedCode& code, uint32_t maxDepth, std::string& error);

}  // namespace GSRuntime
