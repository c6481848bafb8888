#include "foundation/vni/VniPlugin.h"

#include <dlfcn.h>

#include <string>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/vni/VniObjects.h"
#include "kiv/CriticalSection.h"

namespace {

Kiv::CriticalSection& PluginLock() {
  static Kiv::CriticalSection* lock = new Kiv::CriticalSection;
  return *lock;
}

// The name as it may go into a log line: control characters shown as "?",
// cut after 128 bytes.
std::string Printable(std::string_view name) {
  std::string out(name.substr(0, 128));
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  if (name.size() > 128) out += "...";
  return out;
}

// The error text of the last dl call.
const char* LastDlError() {
  const char* error = dlerror();
  return error != nullptr ? error : "unknown error";
}

VNIEntryPointFunction FindEntryPoint(void* library) {
  dlerror();
  void* symbol = dlsym(library, "VNIEntryPoint");
  return reinterpret_cast<VNIEntryPointFunction>(symbol);
}

// Runs the library's "Init" once; its result is released unexamined.
void RunInit(VNIHandle library, const std::string& path) {
  const VNIHandle init = VNIAllocString("Init");
  if (init == 0) {
    LogMessage("LoadVniPlugin> unable to call Init of '%s': out of memory", path.c_str());
    return;
  }
  VNIRelease(VNICallLibraryFunction(library, init, 0));
  VNIRelease(init);
}

// Calls the entry point and checks what it gives; the library handle or 0.
VNIHandle EnterPlugin(VNIEntryPointFunction entry, VNIContext* context, const std::string& path) {
  context->functions = VniFunctionTable();
  const VNIHandle handle = entry(context);
  if (handle == 0) {
    LogMessage("LoadVniPlugin> VNIEntryPoint of '%s' gave no library", path.c_str());
    return 0;
  }
  if (VNIGetObjectClass(handle) != VNI_CLASS_LIBRARY) {
    LogMessage("LoadVniPlugin> VNIEntryPoint of '%s' gave an object that is not a library",
               path.c_str());
    VNIRelease(handle);
    return 0;
  }
  return handle;
}

// Plug-in names come from scripts: only a plain file name may be joined to
// the folder.
bool IsPlainPluginName(std::string_view name) {
  if (name.empty()) return false;
  if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) return false;
  return name.find("..") == std::string_view::npos;
}

}  // namespace

VNIHandle LoadVniPlugin(VNIContext* context, std::string_view name) {
  Kiv::SingleLock lock(PluginLock());
  if (context == nullptr) {
    LogMessage("LoadVniPlugin> no context for plug-in '%s'", Printable(name).c_str());
    return 0;
  }
  if (!IsPlainPluginName(name)) {
    LogMessage("LoadVniPlugin> refused plug-in name '%s': not a plain file name",
               Printable(name).c_str());
    return 0;
  }
  Kiv::File::Path path = GetPluginFolderPath();
  if (path.Empty()) {
    LogMessage("LoadVniPlugin> no plug-in folder for '%s': installation path unknown",
               Printable(name).c_str());
    return 0;
  }
  path.AddPath(std::string(name) + ".so");
  const std::string file(path.c_str());

  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    LogMessage("LoadVniPlugin> unable to load '%s': %s", file.c_str(), LastDlError());
    return 0;
  }
  const VNIEntryPointFunction entry = FindEntryPoint(library);
  if (entry == nullptr) {
    LogMessage("LoadVniPlugin> '%s' has no VNIEntryPoint", file.c_str());
    dlclose(library);
    return 0;
  }
  const VNIHandle handle = EnterPlugin(entry, context, file);
  if (handle == 0) {
    dlclose(library);
    return 0;
  }
  RunInit(handle, file);
  return handle;
}

void ReleaseVniContextObjects(VNIContext* context) {
  Kiv::SingleLock lock(PluginLock());
  if (context == nullptr) return;
  VNIRelease(context->objects[1]);
  context->objects[1] = 0;
  VNIRelease(context->objects[0]);
  context->objects[0] = 0;
}
