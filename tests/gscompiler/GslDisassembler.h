// Test aid: reads a written .gsl library back into plain structures and
// prints byte code as mnemonics with operands.
//
// ReadGsl(bytes, out, error) checks every count, length and offset against
// the bytes it has and answers false with a reason in `error` on anything
// malformed (never reading outside `bytes`). Disassemble(code) gives one
// line per instruction, "<offset> <MNEMONIC> <operands>", offsets in
// decimal; jump targets as "-> <offset>", WAIT and SWITCH with their tables.
// VerifyCode(code, error) checks that every instruction decodes and every
// jump, switch and wait target lands on the start of an instruction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GSTest {

struct GslFunction {
  uint32_t signature = 0;
  uint32_t returnType = 0;
  uint32_t returnClass = 0;
  uint32_t flags = 0;
  int32_t slot = 0;
  uint32_t advance = 0, slot0Offset = 0, recordOffset = 0, slotsNeeded = 0;
  uint32_t params = 0, locals = 0, temps = 0;
  std::vector<uint32_t> referenceSlots;
  std::vector<uint8_t> code;
  bool hasLineTable = false;
  std::vector<std::pair<uint32_t, uint32_t>> lines;
};

struct GslMember {
  uint32_t name, type, classRef, flags;
  int32_t slot;
};

struct GslClass {
  uint32_t name = 0;
  uint32_t flags = 0;
  std::vector<std::vector<uint32_t>> bases;  // (class ref, p, r)
  std::vector<GslFunction> functions;        // the initialiser last
  std::vector<GslMember> members;
  std::vector<std::pair<uint32_t, uint32_t>> virtualTable;
  uint32_t objectSlots = 0;
  std::vector<std::vector<uint32_t>> layout;  // E entries of 3 words
  std::vector<uint32_t> referenceMembers;
};

struct GslLibrary {
  uint32_t totalLength = 0, magic = 0, version = 0, textCrc = 0, nameCrc = 0;
  std::string name;
  std::vector<std::pair<uint32_t, uint32_t>> dependencies;
  std::vector<std::string> strings;
  std::vector<std::pair<uint32_t, uint32_t>> classRefs;
  std::vector<std::vector<uint32_t>> functionRefs;  // (class ref, signature, slot)
  std::vector<GslClass> classes;

  // The function whose signature string is `signature` (searched in every
  // class); null when none.
  const GslFunction* FindFunction(const std::string& signature) const;
};

bool ReadGsl(const std::vector<uint8_t>& bytes, GslLibrary& out, std::string& error);
// One tag-9 record starting at `offset` (alignment counted from byte 0).
bool ReadGslFunction(const std::vector<uint8_t>& bytes, size_t offset, GslFunction& out, std::string& error);
std::vector<std::string> Disassemble(const std::vector<uint8_t>& code);
// Only the mnemonics, in order.
std::vector<std::string> Mnemonics(const std::vector<uint8_t>& code);
bool VerifyCode(const std::vector<uint8_t>& code, std::string& error);

}  // namespace GSTest
