// GSLibraryFormat::ReadGsl: reads a whole .gsl library (GSLibraryFormat.h)
// into plain structures, copying everything, for the disassembler, tools
// and tests. It does not link anything or resolve any reference.
//
// ReadGsl(bytes, out, error) checks every count, length and offset against
// the bytes it has and answers false with a reason in `error` on anything
// malformed, never reading outside `bytes`; `out` then holds what was read
// so far. It also refuses code padding other than 0xFF, a string chunk that
// does not end on a multiple of 4, bytes after the class chunk and a total
// length that differs from the size. ReadGslFunction reads one tag-9 record
// starting at `offset` (alignment counted from byte 0 of `bytes`).
//
// Pure functions; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gscompiler/bytecode/GSLibraryFormat.h"

namespace GSLibraryFormat {

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
  std::vector<GslLineEntry> lines;
};

struct GslClass {
  uint32_t name = 0;
  uint32_t flags = 0;
  std::vector<GslBaseEntry> bases;
  std::vector<GslFunction> functions;  // the initialiser last
  std::vector<GslMemberEntry> members;
  std::vector<GslVirtualEntry> virtualTable;
  uint32_t objectSlots = 0;
  std::vector<GslLayoutEntry> layout;
  std::vector<uint32_t> referenceMembers;
};

struct GslLibrary {
  GslHeader header{};
  std::string name;
  std::vector<GslLibraryId> dependencies;
  std::vector<std::string> strings;
  std::vector<GslClassRef> classRefs;
  std::vector<GslFunctionRef> functionRefs;
  std::vector<GslClass> classes;

  // The function whose signature string is `signature` (searched in every
  // class); null when none.
  const GslFunction* FindFunction(const std::string& signature) const;
};

bool ReadGsl(const std::vector<uint8_t>& bytes, GslLibrary& out, std::string& error);
bool ReadGslFunction(const std::vector<uint8_t>& bytes, size_t offset, GslFunction& out,
                     std::string& error);

}  // namespace GSLibraryFormat
