// The byte-code disassembler and the structural check of a function's code,
// both driven by the instruction table (GSOpcodes.h).
//
// Disassemble(code) gives one line per instruction, "<offset> <MNEMONIC>
// <operands>", offsets in decimal: u16 operands unsigned, call and
// INHERITED k signed, jump targets as "-> <offset>", WAIT as its count and
// " (<major>,<minor>)-><target>" per entry, SWITCH as its count, " <value>-><target>"
// per case and " default-><target>". An undecodable instruction (an illegal
// opcode, or operands cut off by the end of the code) ends the listing with
// the line "<offset> ?? <byte>".
//
// VerifyCode(code, error) checks that every instruction decodes and that
// every jump, WAIT and SWITCH target lands on the start of an instruction;
// otherwise it answers false with the reason in `error`. It does not check
// operands against any table or the stack depth.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GSByteCode {

std::vector<std::string> Disassemble(const std::vector<uint8_t>& code);
bool VerifyCode(const std::vector<uint8_t>& code, std::string& error);

}  // namespace GSByteCode
