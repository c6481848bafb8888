// Loading native plug-ins, and the native-interface objects of a context.
//
// LoadVniPlugin(context, name) loads "<plug-in folder>/<name>.so" (the
// folder is GetPluginFolderPath, foundation/FolderLayout.h) with dlopen
// (RTLD_NOW | RTLD_LOCAL, by its absolute path), calls its exported
// "VNIEntryPoint" with `context` (after setting `context->functions` to the
// host's table, foundation/VniObjects.h) and answers the library handle the
// entry point gives; the caller owns that reference and gives it back with
// VNIRelease. Before answering it calls the library's function "Init" once
// (argument 0) and releases the result, which is not examined.
//
// Every load runs the entry point and "Init" once: loading a plug-in that is
// already loaded adds a use of the shared object (the loader counts them)
// and gives a new library handle, initialised anew. A plug-in that gave a
// library stays loaded for the rest of the process; its code may be in use
// by objects that outlive the handle.
//
// Failure: the answer is 0 and one line naming the cause goes to the log
// (LogMessage) when `context` is null, when `name` is not a plain file name
// (empty, or holding "/", "\", ".." or a NUL character: names come from
// scripts and must not reach outside the folder), while the installation
// root is unset, when dlopen fails, when the plug-in has no "VNIEntryPoint",
// or when the entry point gives 0 or a handle that is not a library (that
// handle is released). In the last three cases the shared object is closed
// again. The plug-in folder is not added to any search path: libraries a
// plug-in needs are found by the usual rules (a plug-in that ships its own
// next to it links with an RPATH of "$ORIGIN").
//
// ReleaseVniContextObjects(context) releases context->objects[1] and clears
// it, then objects[0]; a null context does nothing.
//
// Thread-safe: both run under one process-wide, re-entrant plug-in lock,
// and a plug-in's entry point and "Init" run under it.
#pragma once

#include <string_view>

#include "foundation/vni/VandruNativeInterface.h"

VNIHandle LoadVniPlugin(VNIContext* context, std::string_view name);
void ReleaseVniContextObjects(VNIContext* context);
