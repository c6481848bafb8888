/* The echo plug-in of the script-library tests ("echo.so"). Functions:
 *   "Echo"   the texts of the argument array's slots joined by ",", an empty
 *            slot as nothing ("a", empty -> "a,");
 *   "Count"  the number of slots, in decimal;
 *   "Array"  an empty array: a result that is not a string.
 * "Init" and any other name give no result. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "foundation/vni/VandruNativeInterface.h"

static const VNIFunctions* functions;

/* The argument's slots joined by ","; null when no memory is left. */
static char* Join(VNIHandle arguments) {
  const uint32_t count = functions->GetArraySize(arguments);
  size_t size = 1;
  char* out = calloc(1, size);
  for (uint32_t i = 0; out != NULL && i < count; ++i) {
    const VNIHandle element = functions->GetArrayElement(arguments, i);
    const char* text = functions->GetStringText(element);
    const size_t length = text != NULL ? strlen(text) : 0;
    char* grown = realloc(out, size + length + 1);
    if (grown == NULL) {
      free(out);
      out = NULL;
    } else {
      out = grown;
      if (i > 0) strcat(out, ",");
      if (text != NULL) strcat(out, text);
      size += length + 1;
    }
    functions->Release(element);
  }
  return out;
}

static VNIHandle Dispatch(void* user_data, const char* function_name, VNIHandle argument) {
  (void)user_data;
  if (strcmp(function_name, "Echo") == 0) {
    char* joined = Join(argument);
    const VNIHandle result = functions->AllocString(joined);
    free(joined);
    return result;
  }
  if (strcmp(function_name, "Count") == 0) {
    char count[16];
    snprintf(count, sizeof count, "%u", (unsigned)functions->GetArraySize(argument));
    return functions->AllocString(count);
  }
  if (strcmp(function_name, "Array") == 0) return functions->AllocArray(0);
  return 0;
}

VNI_EXPORT VNIHandle VNIEntryPoint(VNIContext* context) {
  functions = context->functions;
  return functions->AllocLibrary(Dispatch, NULL);
}
