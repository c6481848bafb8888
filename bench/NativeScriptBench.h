// One script class "Bench" compiled against the native libraries and
// attached to an object, for the benchmarks that time scripts calling
// natives. The script is written to a temporary folder that the fixture
// removes again. When anything fails on the way (folder, registration,
// compilation, loading, attaching), `cls` stays null and the benchmark
// should skip. Needs VU_SOURCE_DIR and VU_BINARY_DIR.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "gscompiler/CompileLog.h"
#include "gscompiler/GSCompiler.h"
#include "gscompiler/GSStandardBackEnd.h"
#include "gsnative/NativeLibraryRegistration.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "kiv/File.h"

class NativeScriptBench {
 public:
  // `script` is the source of the class; `root` names the folder for the
  // machine and `prefix` the temporary folder.
  NativeScriptBench(const char* script, const char* root, const char* prefix) : root_(root) {
    using namespace GSRuntime;
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    folder_ = pattern;
    std::ofstream(folder_ / "bench.gs", std::ios::binary) << script;
    AddCommonIncludeRegistrars();
    Kiv::File::Subst(Kiv::PString("libraries"), VU_BINARY_DIR "/libraries");
    if (!RegisterNativeLibraries()) return;
    GSCompilerSetBackEnd(GSStandardBackEnd());
    IncludePathList includes;
    includes.Append(Kiv::File::Path(VU_SOURCE_DIR "/gsnative/libraries"));
    CompileLog log;
    const std::string source = (folder_ / "bench.gs").string();
    if (GSCompileFile(source.c_str(), nullptr, &includes, &log) != 0) return;
    Kiv::File::Subst(root_, folder_.string());
    GSMachine* machine = GetGSMachine();
    GSLibraryId id{};
    machine->AddLibrary(root_, "", "bench.gsl", &id);
    GSLibrary* library = machine->GetLibrary(id);
    GSClass* found = library != nullptr ? library->FindClass("Bench") : nullptr;
    if (found == nullptr) return;
    context_ = new GSContext;
    object_ = new GSObject;
    if (object_->AttachScriptInstance(found, context_)) cls = found;
  }
  ~NativeScriptBench() {
    delete object_;
    delete context_;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  NativeScriptBench(const NativeScriptBench&) = delete;
  NativeScriptBench& operator=(const NativeScriptBench&) = delete;

  // Calls `signature` (one int argument, int result); -1 when the call fails.
  int32_t Call(const char* signature, int n) {
    using namespace GSRuntime;
    GSValue value = 0;
    const GSValue arg = GSFromInt(n);
    if (!GSObject::InvokeFunction(cls, object_->GetScriptInstance(), signature, {&arg, 1}, &value))
      return -1;
    return GSInt(value);
  }

  // The attached class; null when the fixture could not be set up.
  GSRuntime::GSClass* cls = nullptr;

 private:
  std::filesystem::path folder_;
  Kiv::PString root_;
  GSRuntime::GSContext* context_ = nullptr;
  GSRuntime::GSObject* object_ = nullptr;
};
