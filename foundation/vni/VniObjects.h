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

// VNI_CLASS_LIBRARY, VNI_CLASS_STRING, VNI_CLASS_ARRAY, or VNI_CLASS_NONE
// for a handle that names no object.
uint32_t VNIGetObjectClass(VNIHandle object);

// Arrays: `count` empty slots, each 0 or a string or library the array
// holds one reference of (never an array, so arrays form no cycles). An
// array's last release releases its elements. VNISetArrayElement stores
// `element` with a reference of its own (the caller keeps its own) and lets
// the old element go; false, changing nothing, when `array` is not an
// array, `index` is not below its size, or `element` is neither 0 nor a
// live string or library. VNIGetArrayElement gives the element with a
// reference for the caller (0 for an empty slot or a bad array or index);
// VNIGetArraySize is 0 for a handle that is not an array.
VNIHandle VNIAllocArray(uint32_t count);
bool VNISetArrayElement(VNIHandle array, uint32_t index, VNIHandle element);
uint32_t VNIGetArraySize(VNIHandle array);
VNIHandle VNIGetArrayElement(VNIHandle array, uint32_t index);

// The text of a string object, valid while the caller holds a reference of
// it (strings never change); null for a handle that is not a string.
const char* VNIGetStringText(VNIHandle string);

// The table a plug-in's entry point receives; it lives for the process.
const VNIFunctions* VniFunctionTable();

// The number of live objects, for diagnostics and tests.
size_t VniObjectCount();
