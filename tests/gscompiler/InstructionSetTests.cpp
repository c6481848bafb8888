// The instruction table: lengths, operand kinds and stack effects.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "gscompiler/GSOpcodes.h"

using namespace GSByteCode;

namespace {

uint32_t LengthOf(std::vector<uint8_t> code) {
  return GSInstructionLength(code.data(), static_cast<uint32_t>(code.size()), 0);
}

}  // namespace

TEST(GSInstructionSet, EveryOpcodeHasAUniqueMnemonicAndIllegalOnesHaveNone) {
  std::set<std::string> names;
  for (uint32_t op = 0; op < kOpcodeCount; ++op) {
    ASSERT_NE(GSOpcodeInfoOf(op), nullptr) << op;
    EXPECT_TRUE(names.insert(GSOpcodeInfoOf(op)->mnemonic).second) << op;
  }
  for (uint32_t op = kOpcodeCount; op < 256; ++op) {
    EXPECT_EQ(GSOpcodeInfoOf(op), nullptr);
    const uint8_t byte = static_cast<uint8_t>(op);
    EXPECT_EQ(GSInstructionLength(&byte, 1, 0), 0u);
  }
  EXPECT_STREQ(kGSOpcodeTable[TOBOOL].mnemonic, "TOBOOL");
  EXPECT_STREQ(kGSOpcodeTable[SCAT].mnemonic, "SCAT");
}

TEST(GSInstructionSet, LengthsFollowTheOperandGroups) {
  for (uint32_t op = 0; op < kOpcodeCount; ++op) {
    if (op == WAIT || op == SWITCH) continue;
    uint32_t expected = 1;
    if (op == PUSHI || (op >= JMP && op <= JGE)) expected = 5;
    if ((op >= LOAD && op <= STOREREFKEEP) || op == PUSHSTR || (op >= ISCLASS && op <= CAST) ||
        (op >= GETM && op <= SETMEREFKEEP) || op == INHERITED)
      expected = 3;
    if (op >= CALL && op <= START) expected = 5;
    std::vector<uint8_t> code(8, 0);
    code[0] = static_cast<uint8_t>(op);
    EXPECT_EQ(LengthOf(code), expected) << kGSOpcodeTable[op].mnemonic;
  }
}

TEST(GSInstructionSet, WaitAndSwitchLengthsCountTheirEntries) {
  std::vector<uint8_t> wait(3 + 16, 0);
  wait[0] = WAIT;
  wait[1] = 2;
  EXPECT_EQ(LengthOf(wait), 19u);
  wait.pop_back();
  EXPECT_EQ(LengthOf(wait), 0u) << "a table cut short is not an instruction";

  std::vector<uint8_t> sw(7 + 24, 0);
  sw[0] = SWITCH;
  sw[1] = 3;
  EXPECT_EQ(LengthOf(sw), 31u);
  std::vector<uint8_t> empty = {SWITCH, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(LengthOf(empty), 7u);
  std::vector<uint8_t> huge = {SWITCH, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_EQ(LengthOf(huge), 0u);
}

TEST(GSInstructionSet, TruncatedOperandsAndOutOfRangeOffsetsAreRefused) {
  std::vector<uint8_t> jump = {JMP, 1, 2, 3};
  EXPECT_EQ(LengthOf(jump), 0u);
  std::vector<uint8_t> load = {LOAD, 1};
  EXPECT_EQ(LengthOf(load), 0u);
  const uint8_t one = IADD;
  EXPECT_EQ(GSInstructionLength(&one, 1, 1), 0u);
  EXPECT_EQ(GSInstructionLength(nullptr, 0, 0), 0u);
}

TEST(GSInstructionSet, StackEffectsOfRepresentativeInstructions) {
  EXPECT_EQ(kGSOpcodeTable[DUP2REF].stack, 2);
  EXPECT_EQ(kGSOpcodeTable[ASPLICE].stack, -4);
  EXPECT_EQ(kGSOpcodeTable[ASTOREKEEP].stack, -2);
  EXPECT_EQ(kGSOpcodeTable[SETM].stack, -2);
  EXPECT_EQ(kGSOpcodeTable[SWITCH].stack, -1);
  EXPECT_EQ(kGSOpcodeTable[CALL].stack, 0);
  EXPECT_EQ(kGSOpcodeTable[JZKEEP].stack, 0);
  EXPECT_EQ(kGSOpcodeTable[JZ].stack, -1);
  EXPECT_EQ(kGSOpcodeTable[GETME].stack, 1);
  EXPECT_EQ(kGSOpcodeTable[RETV].stack, -1);
}
