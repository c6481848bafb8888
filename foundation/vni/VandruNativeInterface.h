/* The native interface between the tool and its plug-ins (C, for plug-ins).
 *
 * A plug-in is a shared object "<name>.so" in the installation's
 * "bin/plugins" folder that includes this header and exports
 *
 *     VNI_EXPORT VNIHandle VNIEntryPoint(VNIContext* context);
 *
 * The host calls VNIEntryPoint once per load (see foundation/VniPlugin.h),
 * under its plug-in lock, with `context->functions` set. The entry point
 * makes a library object (functions->AllocLibrary) and returns its handle;
 * the caller owns that reference. Returning 0 means the plug-in refuses to
 * load: the host reports it and unloads the shared object. Right after a
 * successful entry point, the host calls the library function "Init" once.
 *
 * Objects: every object lives in the host and is named by a 32-bit handle;
 * 0 is "none". Objects are reference-counted: an Alloc call gives the
 * caller one reference, Release gives it back (Release(0) and releasing a
 * handle that names no object do nothing), and the object is deleted at
 * the last reference. Classes: VNI_CLASS_LIBRARY, VNI_CLASS_STRING and
 * VNI_CLASS_ARRAY. An array has a fixed number of slots, each 0 or a
 * handle of a string or library it holds one reference of; arrays never
 * hold arrays. Every function that answers a handle gives the caller a
 * reference of it.
 *
 * Library functions: a library is one dispatch function with a pointer of
 * the plug-in's own (`user_data`). A call gives the function name as text
 * (valid for the call only) and an argument handle that the caller keeps
 * (it may be 0); the dispatch returns a result handle whose reference goes
 * to the caller, or 0. The dispatch may run on any thread, also while
 * another call of it runs; it may call the functions of the table.
 *
 * The function table lives for the whole process; a plug-in may keep the
 * pointer. Every function of the table is thread-safe. A plug-in stays
 * loaded for the rest of the process once it has given a library.
 */
#ifndef VANDRU_NATIVE_INTERFACE_H
#define VANDRU_NATIVE_INTERFACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VNI_EXPORT __attribute__((visibility("default")))

typedef uint32_t VNIHandle;

#define VNI_CLASS_NONE 0 /* 0 or a handle that names no object */
#define VNI_CLASS_LIBRARY 1
#define VNI_CLASS_STRING 2
#define VNI_CLASS_ARRAY 3

typedef VNIHandle (*VNILibraryFunction)(void* user_data, const char* function_name,
                                        VNIHandle argument);

typedef struct VNIFunctions {
  /* A string object holding a copy of `text` (UTF-8, ending at its NUL);
   * 0 for a null `text` or when no memory is left. */
  VNIHandle (*AllocString)(const char* text);
  /* A library object calling `function`; 0 for a null `function` or when
   * no memory is left. */
  VNIHandle (*AllocLibrary)(VNILibraryFunction function, void* user_data);
  /* Gives back one reference. */
  void (*Release)(VNIHandle object);
  /* An array of `count` empty slots; 0 when no memory is left. */
  VNIHandle (*AllocArray)(uint32_t count);
  /* Stores `element` (0 to empty the slot; otherwise a string or library,
   * which gains a reference; the caller keeps its own) at `index`, letting
   * the slot's old element go. 0 when `array` is not an array, `index` is
   * not below its size or `element` names no object or an array; else 1. */
  int (*SetArrayElement)(VNIHandle array, uint32_t index, VNIHandle element);
  /* The number of slots; 0 for a handle that is not an array. */
  uint32_t (*GetArraySize)(VNIHandle array);
  /* The element at `index` with a reference for the caller, or 0. */
  VNIHandle (*GetArrayElement)(VNIHandle array, uint32_t index);
  /* The class of an object (VNI_CLASS_NONE for a handle naming none). */
  uint32_t (*GetObjectClass)(VNIHandle object);
  /* The text of a string object, valid while the caller holds a reference
   * of it; null when `string` is not a string. */
  const char* (*GetStringText)(VNIHandle string);
} VNIFunctions;

/* The native-interface objects of one script context. The host sets
 * `functions` before it calls an entry point. `objects` are two handles the
 * context owns (0 for none); releasing the context's objects releases
 * objects[1], then objects[0], and clears both. */
typedef struct VNIContext {
  const VNIFunctions* functions;
  VNIHandle objects[2];
} VNIContext;

typedef VNIHandle (*VNIEntryPointFunction)(VNIContext* context);

VNI_EXPORT VNIHandle VNIEntryPoint(VNIContext* context);

#ifdef __cplusplus
}
#endif

#endif /* VANDRU_NATIVE_INTERFACE_H */
