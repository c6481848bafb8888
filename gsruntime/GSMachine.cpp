#include "gsruntime/GSMachine.h"

#include "gsruntime/GSGameObject.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSObjectNatives.h"
#include "gsruntime/GSThread.h"

namespace {

GSMachine* processMachine = nullptr;
bool processMachineInitialised = false;

std::vector<GSNativeRegistrar>& Registrars() {
  static std::vector<GSNativeRegistrar>* registrars =
      new std::vector<GSNativeRegistrar>;  // lives for the process
  return *registrars;
}

}  // namespace

GSMachine::GSMachine() : linkTable_(kTableBuckets), nameTable_(kTableBuckets) {}

GSMachine::~GSMachine() {
  thread_.reset();  // its frames name functions of the libraries
  while (!libraries_.empty()) libraries_.pop_back();
  nativeIndex_.clear();
  natives_.clear();
}

void GSMachine::Init() {
  thread_ = std::make_unique<GSRuntime::GSThread>(kMachineThreadFlags);
  GSRuntime::RegisterGSObjectNatives(*this);
  GSRuntime::RegisterGameObjectNatives(*this);
  for (GSNativeRegistrar registrar : Registrars()) registrar(*this);
}

GSRuntime::GSNativeFunction* GSMachine::FindNative(const Kiv::PString& className,
                                                   const Kiv::PString& signature) const {
  const auto found = nativeIndex_.find(NativeKey{className.Id(), signature.Id()});
  return found != nativeIndex_.end() ? found->second : nullptr;
}

void GSMachine::RegisterNative(std::unique_ptr<GSRuntime::GSNativeFunction> binding) {
  if (binding == nullptr) return;
  GSRuntime::GSNativeFunction* added = binding.get();
  natives_.push_back(std::move(binding));
  nativeIndex_[NativeKey{added->ClassName().Id(), added->Signature().Id()}] = added;
}

std::vector<GSRuntime::GSLibrary*> GSMachine::Libraries() const {
  std::vector<GSRuntime::GSLibrary*> out;
  for (const auto& library : libraries_) out.push_back(library.get());
  return out;
}

GSMachine* GetGSMachine() {
  if (processMachine == nullptr) processMachine = new GSMachine;
  if (!processMachineInitialised) {
    processMachineInitialised = true;
    processMachine->Init();
  }
  return processMachine;
}

void GSAddNativeRegistrar(GSNativeRegistrar registrar) {
  if (registrar == nullptr) return;
  Registrars().push_back(registrar);
  if (processMachineInitialised) registrar(*processMachine);
}
