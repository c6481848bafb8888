// The byte-code library: instruction lengths decoded through the table, the
// structural check of code and the listing of what does not decode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gscompiler/bytecode/GSDisassembler.h"
#include "gscompiler/bytecode/GSOpcodes.h"

using namespace GSByteCode;

namespace {

// `head` followed by zero bytes up to `size` bytes.
std::vector<uint8_t> Padded(std::vector<uint8_t> head, size_t size) {
  head.resize(size, 0);
  return head;
}

struct LengthCase {
  const char* what;
  std::vector<uint8_t> code;
  uint32_t offset;
  uint32_t expected;
};

struct VerifyCase {
  const char* what;
  std::vector<uint8_t> code;
  const char* error;  // null: the code passes
};

}  // namespace

TEST(GSInstructionSet, InstructionLengthsAreDecodedOrRefused) {
  const LengthCase cases[] = {
      {"no operands", {IADD}, 0, 1},
      {"u16 slot", {LOAD, 1, 0}, 0, 3},
      {"s16 k", {INHERITED, 0xFF, 0xFF}, 0, 3},
      {"s16 k and u16 function", {CALL, 0xFF, 0xFF, 1, 0}, 0, 5},
      {"u32 target", {JMP, 0, 0, 0, 0}, 0, 5},
      {"second instruction", {POP, PUSHI, 1, 2, 3, 4}, 1, 5},
      {"WAIT with two entries", Padded({WAIT, 2, 0}, 19), 0, 19},
      {"WAIT table cut short", Padded({WAIT, 2, 0}, 18), 0, 0},
      {"SWITCH with three cases", Padded({SWITCH, 3, 0}, 31), 0, 31},
      {"SWITCH without cases", Padded({SWITCH, 0, 0}, 7), 0, 7},
      {"SWITCH default cut off", Padded({SWITCH, 0, 0}, 6), 0, 0},
      {"SWITCH count beyond the code", Padded({SWITCH, 0xFF, 0xFF}, 7), 0, 0},
      {"target cut off", {JMP, 1, 2, 3}, 0, 0},
      {"slot cut off", {LOAD, 1}, 0, 0},
      {"first illegal opcode", {116}, 0, 0},
      {"last illegal opcode", {255}, 0, 0},
      {"offset at the end", {IADD}, 1, 0},
  };
  for (const LengthCase& c : cases)
    EXPECT_EQ(GSInstructionLength(c.code.data(), static_cast<uint32_t>(c.code.size()), c.offset),
              c.expected)
        << c.what;
  EXPECT_EQ(GSInstructionLength(nullptr, 0, 0), 0u);
  EXPECT_EQ(GSOpcodeInfoOf(116), nullptr);
}

TEST(GSInstructionSet, EveryTargetMustStartAnInstruction) {
  const VerifyCase cases[] = {
      {"forward jump", {PUSH1, JZ, 6, 0, 0, 0, RET}, nullptr},
      {"jump into an operand", {JMP, 2, 0, 0, 0, RET}, "jump target 2 is not an instruction"},
      {"jump to the end of the code",
       {JMP, 6, 0, 0, 0, RET},
       "jump target 6 is not an instruction"},
      {"SWITCH default", {PUSH0, SWITCH, 0, 0, 8, 0, 0, 0, RET}, nullptr},
      {"SWITCH default off an instruction",
       {PUSH0, SWITCH, 0, 0, 9, 0, 0, 0, RET},
       "jump target 9 is not an instruction"},
      {"WAIT target", {WAIT, 1, 0, 5, 0, 6, 0, 11, 0, 0, 0, RET}, nullptr},
      {"WAIT target off an instruction",
       {WAIT, 1, 0, 5, 0, 6, 0, 7, 0, 0, 0, RET},
       "jump target 7 is not an instruction"},
      {"illegal opcode", {PUSH0, 200}, "undecodable instruction at 1"},
  };
  for (const VerifyCase& c : cases) {
    std::string error;
    EXPECT_EQ(VerifyCode(c.code, error), c.error == nullptr) << c.what;
    EXPECT_EQ(error, c.error ? c.error : "") << c.what;
  }
}

TEST(GSInstructionSet, ListingShowsTablesSignedOperandsAndStopsAtUndecodableCode) {
  const std::vector<uint8_t> code = {WAIT, 1, 0, 5,         0,    6,    0,   11,
                                     0,    0, 0, INHERITED, 0xFE, 0xFF, 200, RET};
  EXPECT_EQ(Disassemble(code),
            (std::vector<std::string>{"0 WAIT 1 (5,6)->11", "11 INHERITED -2", "14 ?? 200"}));
}
