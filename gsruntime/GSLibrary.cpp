#include "gsruntime/GSLibrary.h"

#include "gsruntime/GSCodeVerifier.h"
#include "gsruntime/GSLibraryReader.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSPrintHook.h"

namespace GSRuntime {

GSLibrary::GSLibrary(GSMachine* machine, std::string path)
    : machine_(machine), path_(std::move(path)) {}

GSLibrary::~GSLibrary() {
  ++unloads_;
}

void GSLibrary::Refuse(const std::string& what) const {
  GSPrint("GSLibrary::Load> %s: %s", path_.c_str(), what.c_str());
}

int GSLibrary::Load(std::vector<uint8_t> image) {
  image_ = std::move(image);
  std::string error;
  int32_t failedClass = -1;
  if (!GSLibraryReader(*this).Read(error, failedClass)) {
    Refuse(error);
    if (failedClass >= 0)
      GSPrint("GS Link error: Unable to initialise class '%s'", classes_[failedClass].name);
    return -1;
  }
  byName_.Build(
      static_cast<uint32_t>(classes_.size()), [this](uint32_t i) { return classes_[i].name; },
      GSNameIndex::kLastFound);
  GSCodeVerifier verifier(GSCodeTables{static_cast<uint32_t>(strings_.size()),
                                       static_cast<uint32_t>(classRefs_.size())});
  for (GSClass& cls : classes_)
    for (GSFunction& fn : cls.functions)
      if (!verifier.Verify(fn, error)) {
        Refuse(std::string(fn.name) + ": " + error);
        return -1;
      }
  return Link();
}

int GSLibrary::Link() {
  for (GSDependency& dependency : dependencies_) {
    dependency.library = machine_->GetLibrary(dependency.id);
    if (dependency.library == nullptr) return -2;
  }
  if (const int result = LinkClassRefs(); result != 0) return result;
  for (GSFunctionRef& ref : functionRefs_) {
    ref.cls = classRefs_[ref.classRef].cls;
    ref.function = ref.cls->FindOwnFunction(ref.name);
    if (ref.function == nullptr) {
      GSPrint("GS Link error: Unable to link function '%s'", ref.name);
      return -3;
    }
  }
  for (GSClass& cls : classes_) {
    if (!cls.LinkFunctions()) {
      GSPrint("GS Link error: Unable to link '%s'", cls.name);
      return -3;
    }
  }
  return 0;
}

int GSLibrary::LinkClassRefs() {
  int result = 0;
  for (GSClassRef& ref : classRefs_) {
    const GSDependency& dependency = dependencies_[ref.dependency];
    ref.library = dependency.library;
    ref.cls = ref.library != nullptr ? ref.library->FindClass(ref.name) : nullptr;
    if (ref.cls != nullptr) continue;
    result = -3;
    if (ref.library == nullptr)
      GSPrint("GS Link error: Unable to find library for class '%s' (lib id: %x.%x)", ref.name,
              dependency.id.textCrc, dependency.id.nameCrc);
    else
      GSPrint("GS Link error: Unable to find class '%s'", ref.name);
  }
  return result;
}

GSClass* GSLibrary::FindClass(std::string_view className) const {
  const uint32_t found = byName_.Find(className, [this](uint32_t i) { return classes_[i].name; });
  return found != GSNameIndex::kNone ? const_cast<GSClass*>(&classes_[found]) : nullptr;
}

}  // namespace GSRuntime
