// The host side of the native interface: the objects behind VNI handles.
//
// Objects live in one process-wide table keyed by 32-bit handles (0 is
// none; a handle is not given out again while its object lives). Each
// object has a reference count: an Alloc call answers a handle holding one
// reference for the caller, VNIRelease gives one back, and the object is
// deleted at the last one. VNIRelease(0), and releasing a handle that names
// no object, do nothing. See foundation/VandruNativeInterface.h for what a
// plug-in sees of these objects (strings and libraries).
//
// Failure: a null text or function, or memory running out, gives the handle
// 0; nothing throws. Every function is thread-safe; a library's dispatch
// runs without the table's lock held, so it may use the table itself.
#pragma once

#include <cstddef>

#include "foundation/vni/VandruNativeInterface.h"

// A string object holding a copy of `text`; 0 for a null `text`.
VNIHandle VNIAllocString(const char* text);

// A library object whose functions are called through `function`.
VNIHandle VNIAllocLibrary(VNILibraryFunction function, void* user_data);

// Gives back one reference of `object`.
void VNIRelease(VNIHandle object);

// Calls the function named by the string object `function_name` of the
// library object `library`, passing `argument` (kept by the caller; 0 is
// allowed). Answers the function's result, whose reference goes to the
// caller, or 0. 0 without a call when `library` is not a library or
// `function_name` is not a string. Both objects are held for the call, so a
// release by another thread meanwhile does not delete them under it.
VNIHandle VNICallLibraryFunction(VNIHandle library, VNIHandle function_name, VNIHandle argument);

// VNI_CLASS_LIBRARY, VNI_CLASS_STRING, or VNI_CLASS_NONE for a handle that
// names no object.
uint32_t VNIGetObjectClass(VNIHandle object);

// The table a plug-in's entry point receives; it lives for the process.
const VNIFunctions* VniFunctionTable();

// The number of live objects, for diagnostics and tests.
size_t VniObjectCount();
