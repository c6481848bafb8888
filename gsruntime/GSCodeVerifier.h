// GSCodeVerifier: the load-time check of each function's byte code against
// the instruction table (gscompiler/bytecode/GSOpcodes.h) and its library's
// tables, run before the library links.
//
// Every instruction must decode (a defined opcode, operands inside the
// code), and then:
// - frame slot operands lie below the frame record (P + L + T), and no
//   store writes slot 0, which holds the object the code's members and
//   calls rely on;
// - string, class-reference and WAIT type operands index their tables;
// - members of `me` lie inside the class's instance, past the block header
//   and on no ancestor block's header; members of other objects lie past
//   the block header (their class is only known when the code runs);
// - call offsets k are not positive;
// - every jump, WAIT and SWITCH target is the start of an instruction;
// - along every path from the entry the operand stack never goes below
//   empty nor above the stored maximum (slotsNeeded - advance), paths meet
//   with equal depths, RET finds it empty and RETV/RETREF exactly one
//   value, and no path runs off the end of the code (GSStackDepth.h).
// - along every path the kinds of operands and frame slots fit every
//   instruction, and RETV/RETREF return what the signature says
//   (GSKindFlow.h).
// Code that no path reaches is only decoded and operand-checked.
//
// A call leaves a value when its callee returns one, which only the callee
// knows: a call site names a method index of a class that only the running
// object tells, and the class may live in another library. So the code
// after the call decides (GSStackDepth.h): a result is left when a later
// instruction takes it. What each call site was verified for (argument
// kinds, the result's presence and kind) is stored in GSFunction::calls,
// and the interpreter holds every callee to it.
//
// Verify(fn) checks one function of the library the tables describe; on
// failure `error` names the offset and what is wrong. A verifier keeps its
// working storage from one function to the next; one verifier per load.
// Depths and kinds are checked by one pass in offset order where that pass
// can tell, else by the walks (GSCheckDepthsAndKinds, GSKindFlow.h); a
// verifier made with `walksOnly` always walks, with the same outcome (tests
// hold the two to each other).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gsruntime/GSKindFlow.h"
#include "gsruntime/GSStackDepth.h"

namespace GSRuntime {

class GSClass;
struct GSFunction;

struct GSCodeTables {
  uint32_t strings = 0;
  uint32_t classRefs = 0;
};

class GSCodeVerifier {
 public:
  explicit GSCodeVerifier(const GSCodeTables& tables, bool walksOnly = false)
      : tables_(tables), walksOnly_(walksOnly) {}

  bool Verify(GSFunction& fn, std::string& error);

 private:
  bool Decode(const GSFunction& fn, uint32_t& operandFailedAt, std::string& operandError,
              std::string& error);
  bool CheckOperands(const GSFunction& fn, uint32_t at, std::string& error);
  // Also marks the target in code_.joins.
  bool Target(uint32_t target, uint32_t at, std::string& error);
  // Also notes a member of `me` in its class (GSClass::membersOfMe).
  bool Member(uint8_t op, uint32_t member, uint32_t at, std::string& error);
  bool Wait(const uint8_t* p, uint32_t at, std::string& error);

  GSCodeTables tables_;
  bool walksOnly_ = false;
  GSClass* cls_ = nullptr;
  std::vector<uint32_t> headers_;   // the block-header slots of cls_, sorted
  std::vector<uint32_t> branches_;  // offsets of the instructions with targets
  GSDecodedCode code_;
  GSKindStorage kinds_;
};

}  // namespace GSRuntime
