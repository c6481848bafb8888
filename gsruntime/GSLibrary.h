// GSRuntime::GSLibrary: one loaded .gsl library (format:
// gscompiler/bytecode/GSLibraryFormat.h) with its classes, linked into the
// machine that loaded it.
//
// Load(image) takes the whole file and keeps it for the library's life;
// strings, code, line tables and several tables are used in place. Nothing
// in the file is trusted: Load first reads and checks the whole image
// (every count, length, offset, table index and string index against the
// bytes and the tables, the frame words of every function, and every
// function's code: opcodes, operands, jump targets and the operand-stack
// depth against the stored maximum, GSCodeVerifier.h), then links:
// dependencies through the machine (GSMachine::GetLibrary), class
// references by dependency and name, function references by class and
// exact signature, and each class (GSClass::LinkFunctions). It answers
//   0  loaded and linked;
//  -1  a short, malformed or damaged file (also prints "GSLibrary::Load>
//      <path>: <what is wrong>", and "GS Link error: Unable to initialise
//      class '%s'" when the damage lies in a class record);
//  -2  a dependency that cannot be had (the first one stops the load);
//  -3  a link error: "GS Link error: Unable to find library for class '%s'
//      (lib id: %x.%x)" or "GS Link error: Unable to find class '%s'" for
//      every class that is missing, "GS Link error: Unable to link function
//      '%s'" for the first function that is, "GS Link error: Unable to link
//      '%s'" for a class that does not link.
// A native function without a registered binding only prints "Could not
// resolve native link %s". A library whose load answers non-zero must be
// destroyed (the machine does).
//
// FindClass(name): the class of that name (the last one when several bear
// it), or null; through an index of the classes built once the library is
// read, so it finds nothing before Load has read the classes.
//
// Ownership: the library owns its image, classes and tables; the machine
// owns the library. Pointers to other libraries stay valid because a
// library is only unloaded together with every library that could have
// linked against it (GSMachine.h). Not thread-safe.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "gscompiler/bytecode/GSLibraryFormat.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSNameIndex.h"

class GSMachine;

namespace GSRuntime {

using GSLibraryId = GSLibraryFormat::GslLibraryId;

struct GSDependency {
  GSLibrary* library = nullptr;
  GSLibraryId id{};
};

struct GSClassRef {
  GSLibrary* library = nullptr;
  uint32_t dependency = 0;
  const char* name = "";
  GSClass* cls = nullptr;
};

struct GSFunctionRef {
  GSClass* cls = nullptr;
  uint32_t classRef = 0;
  const char* name = "";
  int32_t slot = -1;
  const GSFunction* function = nullptr;
};

class GSLibrary {
 public:
  // `path` names the library in messages.
  GSLibrary(GSMachine* machine, std::string path);
  ~GSLibrary();
  GSLibrary(const GSLibrary&) = delete;
  GSLibrary& operator=(const GSLibrary&) = delete;

  int Load(std::vector<uint8_t> image);

  GSClass* FindClass(std::string_view className) const;

  GSMachine* Machine() const { return machine_; }
  const GSLibraryId& Id() const { return id_; }
  const std::string& Name() const { return name_; }
  const std::string& Path() const { return path_; }
  uint32_t Version() const { return version_; }
  const std::vector<GSDependency>& Dependencies() const { return dependencies_; }
  const std::vector<std::string_view>& Strings() const { return strings_; }
  const std::vector<GSClassRef>& ClassRefs() const { return classRefs_; }
  const std::vector<GSFunctionRef>& FunctionRefs() const { return functionRefs_; }
  std::vector<GSClass>& Classes() { return classes_; }
  const std::vector<GSClass>& Classes() const { return classes_; }

  // How many libraries the process has destroyed so far: what is kept
  // about another library's classes (GSCallSite's cached entry) holds only
  // while this count stays the same.
  static uint64_t UnloadCount() { return unloads_; }

 private:
  static inline uint64_t unloads_ = 0;

  friend class GSLibraryReader;

  void Refuse(const std::string& what) const;
  int Link();
  int LinkClassRefs();

  GSMachine* machine_;
  std::string path_;
  std::vector<uint8_t> image_;
  // What the function records keep per function (their kinds and call
  // sites), taken in a few large blocks and given back all at once when
  // the library goes; declared before classes_, so it outlives them.
  std::pmr::monotonic_buffer_resource store_{kFirstStoreBlock};
  static constexpr size_t kFirstStoreBlock = 16 * 1024;
  uint32_t version_ = 0;
  GSLibraryId id_{};
  std::string name_;
  std::vector<GSDependency> dependencies_;
  std::vector<std::string_view> strings_;
  std::vector<GSClassRef> classRefs_;
  std::vector<GSFunctionRef> functionRefs_;
  std::vector<GSClass> classes_;
  GSNameIndex byName_;
};

}  // namespace GSRuntime
