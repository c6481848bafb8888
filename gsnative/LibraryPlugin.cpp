#include "gsnative/LibraryPlugin.h"

#include <string>

#include "foundation/soup/Soup.h"
#include "foundation/vni/VniObjects.h"
#include "foundation/vni/VniPlugin.h"
#include "gsnative/StringParams.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSString.h"

using namespace GSRuntime;

namespace {

// The script string behind an element, or null.
const GSString* StringOf(GSValue ref) {
  if (ref == 0) return nullptr;
  return dynamic_cast<const GSString*>(GSScriptInstance::FromRef(ref)->native);
}

// A native-interface array of the strings of `arguments`; 0 when no
// memory is left.
VNIHandle ArgumentArray(const GSArray* arguments) {
  const bool usable = arguments != nullptr && arguments->ElementIsReference();
  const uint32_t count = usable ? static_cast<uint32_t>(arguments->Size()) : 0;
  const VNIHandle array = VNIAllocArray(count);
  for (uint32_t i = 0; array != 0 && i < count; ++i) {
    const GSString* text = StringOf(arguments->Data()[i]);
    if (text == nullptr) continue;
    const VNIHandle element = VNIAllocString(text->text.c_str());
    VNISetArrayElement(array, i, element);
    VNIRelease(element);
  }
  return array;
}

}  // namespace

Kiv::PString PluginNameOf(const Soup& config) {
  return config.GetNamedTag(Kiv::PString(kLibraryPluginTag));
}

bool LibraryPlugin::Load(VNIContext* context, std::string_view name) {
  Release();
  if (name.empty()) return false;
  handle_ = LoadVniPlugin(context, name);
  return handle_ != 0;
}

void LibraryPlugin::Release() {
  VNIRelease(handle_);
  handle_ = 0;
}

std::string LibraryPlugin::Call(std::string_view function, const GSArray* arguments,
                                std::string_view logName) const {
  const std::string name(function);
  if (handle_ == 0) {
    GSPrint("Library.LibraryCall> unknown function '%s' was called on object '%.*s'", name.c_str(),
            static_cast<int>(logName.size()), logName.data());
    return std::string();
  }
  const VNIHandle array = ArgumentArray(arguments);
  const VNIHandle nameObject = VNIAllocString(name.c_str());
  const VNIHandle result = VNICallLibraryFunction(handle_, nameObject, array);
  VNIRelease(nameObject);
  VNIRelease(array);
  std::string text;
  if (const char* resultText = VNIGetStringText(result)) text = resultText;
  VNIRelease(result);
  return text;
}

void LibraryCallNative(GSStack& stack, const LibraryPlugin& plugin, std::string_view logName) {
  Kiv::PString function;
  if (!CheckStringParam(stack, 1, function, false)) return;
  const GSArray* arguments = GSArray::FromRef(GSNativeArg(stack, 2));
  stack.PushString(plugin.Call(function.View(), arguments, logName).c_str());
}
