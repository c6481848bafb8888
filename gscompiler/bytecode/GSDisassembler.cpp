#include "gscompiler/bytecode/GSDisassembler.h"

#include <set>

#include "gscompiler/bytecode/GSOpcodes.h"

namespace GSByteCode {

std::vector<std::string> Disassemble(const std::vector<uint8_t>& code) {
  std::vector<std::string> lines;
  const uint32_t size = static_cast<uint32_t>(code.size());
  for (uint32_t at = 0; at < size;) {
    const uint32_t len = GSInstructionLength(code.data(), size, at);
    if (len == 0) {
      lines.push_back(std::to_string(at) + " ?? " + std::to_string(code[at]));
      break;
    }
    const GSOpcodeInfo& info = kGSOpcodeTable[code[at]];
    const uint8_t* p = code.data() + at + 1;
    std::string line = std::to_string(at) + " " + info.mnemonic;
    switch (info.operands) {
      case GSOperandKind::None:
        break;
      case GSOperandKind::Immediate:
        line += " " + std::to_string(static_cast<int32_t>(GSReadU32(p)));
        break;
      case GSOperandKind::Slot:
      case GSOperandKind::String:
      case GSOperandKind::Class:
      case GSOperandKind::Member:
        line += " " + std::to_string(GSReadU16(p));
        break;
      case GSOperandKind::Inherited:
        line += " " + std::to_string(static_cast<int16_t>(GSReadU16(p)));
        break;
      case GSOperandKind::Jump:
        line += " -> " + std::to_string(GSReadU32(p));
        break;
      case GSOperandKind::Call:
        line += " " + std::to_string(static_cast<int16_t>(GSReadU16(p))) + " " +
                std::to_string(GSReadU16(p + 2));
        break;
      case GSOperandKind::Wait: {
        const uint32_t n = GSReadU16(p);
        line += " " + std::to_string(n);
        for (uint32_t i = 0; i < n; ++i)
          line += " (" + std::to_string(GSReadU16(p + 2 + 4 * i)) + "," +
                  std::to_string(GSReadU16(p + 4 + 4 * i)) + ")->" +
                  std::to_string(GSReadU32(p + 2 + 4 * n + 4 * i));
        break;
      }
      case GSOperandKind::Switch: {
        const uint32_t n = GSReadU16(p);
        line += " " + std::to_string(n);
        for (uint32_t i = 0; i < n; ++i)
          line += " " + std::to_string(static_cast<int32_t>(GSReadU32(p + 2 + 4 * i))) + "->" +
                  std::to_string(GSReadU32(p + 2 + 4 * n + 4 * i));
        line += " default->" + std::to_string(GSReadU32(p + 2 + 8 * n));
        break;
      }
    }
    lines.push_back(line);
    at += len;
  }
  return lines;
}

bool VerifyCode(const std::vector<uint8_t>& code, std::string& error) {
  const uint32_t size = static_cast<uint32_t>(code.size());
  std::set<uint32_t> starts;
  std::vector<uint32_t> targets;
  for (uint32_t at = 0; at < size;) {
    const uint32_t len = GSInstructionLength(code.data(), size, at);
    if (len == 0) return (error = "undecodable instruction at " + std::to_string(at)), false;
    starts.insert(at);
    const GSOpcodeInfo& info = kGSOpcodeTable[code[at]];
    const uint8_t* p = code.data() + at + 1;
    if (info.operands == GSOperandKind::Jump) targets.push_back(GSReadU32(p));
    if (info.operands == GSOperandKind::Wait) {
      const uint32_t n = GSReadU16(p);
      for (uint32_t i = 0; i < n; ++i) targets.push_back(GSReadU32(p + 2 + 4 * n + 4 * i));
    }
    if (info.operands == GSOperandKind::Switch) {
      const uint32_t n = GSReadU16(p);
      for (uint32_t i = 0; i <= n; ++i) targets.push_back(GSReadU32(p + 2 + 4 * n + 4 * i));
    }
    at += len;
  }
  for (uint32_t t : targets)
    if (starts.count(t) == 0)
      return (error = "jump target " + std::to_string(t) + " is not an instruction"), false;
  return true;
}

}  // namespace GSByteCode
