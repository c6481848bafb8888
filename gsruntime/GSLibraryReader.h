// GSRuntime::GSLibraryReader: the first step of GSLibrary::Load. Reads a
// library image into the library's tables and classes and checks it
// against the bytes and the tables: the header (total length, magic, a
// terminated name), each chunk's tag and length (its contents must lie
// inside it, and the top-level chunks end exactly at the end of the file),
// every count against the bytes that remain, every string offset and
// terminator, every dependency, string, class-reference and
// function-reference index, each function's frame words and reference
// slots, and each class's layout (block offsets, slot initialisers, method
// table, reference fields) against its instance size. Code is checked
// afterwards (GSCodeVerifier.h).
//
// Read answers false with `error` ("what is wrong at byte N") and, when the
// damage lies in a class record, that class's index in `failedClass` (else
// -1). It allocates nothing whose size the bytes do not back. Not
// thread-safe; one reader per load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gscompiler/bytecode/GSByteOrder.h"
#include "gsruntime/GSLibrary.h"

namespace GSRuntime {

class GSLibraryReader {
 public:
  explicit GSLibraryReader(GSLibrary& library);

  bool Read(std::string& error, int32_t& failedClass);

 private:
  bool Fail(const std::string& what);
  [[gnu::cold, gnu::noinline]] bool CutShort();
  [[gnu::always_inline]] bool Word(uint32_t& out) {
    if (limit_ - pos_ < 4) return CutShort();
    out = GSByteCode::GSReadU32(data_ + pos_);
    pos_ += 4;
    return true;
  }
  bool Open(uint32_t tag, size_t& end, size_t& outer);
  void Close(size_t end, size_t outer);
  bool Table(GSWordTable& table, uint32_t count, uint32_t width, const char* what);
  [[gnu::cold, gnu::noinline]] bool OutOfRange(uint32_t value, size_t limit, const char* what);
  bool Index(uint32_t value, size_t limit, const char* what) {
    return value < limit || OutOfRange(value, limit, what);
  }

  bool Header();
  bool Dependencies();
  bool Strings();
  bool ClassRefs();
  bool FunctionRefs();
  bool Classes(int32_t& failedClass);
  bool ReadClass(GSClass& cls);
  bool ReadFunctions(GSClass& cls);
  bool ReadFunction(GSFunction& fn);
  bool CheckKinds(GSFunction& fn, std::string_view signature);
  static void SetReleaseMask(GSFunction& fn);
  bool CheckFunction(const GSFunction& fn);
  bool ReadMembers(GSClass& cls);
  bool ReadMethods(GSClass& cls);
  bool ReadLayout(GSClass& cls);
  bool CheckLayout(const GSClass& cls);

  GSLibrary& lib_;
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  size_t limit_;
  std::string error_;
};

}  // namespace GSRuntime
