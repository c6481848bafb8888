// LibraryPlugin: the native plug-in of a script library, and the calls
// that scripts make to it through "Library.LibraryCallNative".
//
// A library asset names its plug-in with the configuration tag
// "native-plugin" (kLibraryPluginTag): a plain file name without ".so",
// loaded from the installation's plug-in folder (LoadVniPlugin,
// foundation/vni/VniPlugin.h, which refuses a name holding "/", "\", ".."
// or a NUL). PluginNameOf reads it; no tag, or an empty one, names none.
//
// - Load(context, name): releases any plug-in held, then loads `name` when
//   it is not empty; false (the loader logs why) leaves none held.
// - Release(): gives the plug-in's handle back and holds none.
// - Call(function, arguments, logName): without a plug-in, prints "Library.
//   LibraryCall> unknown function '<function>' was called on object
//   '<logName>'" through the print hook and answers "". Otherwise passes the
//   plug-in a native-interface array with one slot per element of
//   `arguments` (none for a null array): a string element as a string, any
//   other element (null included) as an empty slot; calls the plug-in's
//   function of that name and answers the text of a string result, "" for
//   any other result or none. Every object made for the call is released.
//
// LibraryCallNative(stack, plugin, logName) is the body of the native
// "$string@Library::LibraryCallNative(string,string[],GSObject[])": argument
// 1 is the function name (null and empty refused with the string checks'
// script errors, StringParams.h), argument 2 the string array; argument 3
// is not passed to the plug-in. It pushes Call's answer as a new string.
//
// The holder is single-threaded (the thread that runs scripts); the
// plug-in's function runs on that thread, inside the call.
#pragma once

#include <string>
#include <string_view>

#include "foundation/vni/VandruNativeInterface.h"
#include "kiv/PString.h"

class Soup;

namespace GSRuntime {
class GSArray;
class GSStack;
}  // namespace GSRuntime

inline constexpr const char* kLibraryPluginTag = "native-plugin";

Kiv::PString PluginNameOf(const Soup& config);

class LibraryPlugin {
 public:
  LibraryPlugin() = default;
  ~LibraryPlugin() { Release(); }
  LibraryPlugin(const LibraryPlugin&) = delete;
  LibraryPlugin& operator=(const LibraryPlugin&) = delete;

  bool Load(VNIContext* context, std::string_view name);
  void Release();
  VNIHandle Handle() const { return handle_; }

  std::string Call(std::string_view function, const GSRuntime::GSArray* arguments,
                   std::string_view logName) const;

 private:
  VNIHandle handle_ = 0;
};

void LibraryCallNative(GSRuntime::GSStack& stack, const LibraryPlugin& plugin,
                       std::string_view logName);
