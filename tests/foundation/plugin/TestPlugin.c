/* A plug-in for the loader's tests, built once per behaviour:
 *   VNI_TEST_PLUGIN_MODE 0  gives a library whose "Init" is counted
 *   VNI_TEST_PLUGIN_MODE 1  its entry point gives no library
 *   VNI_TEST_PLUGIN_MODE 2  has no entry point
 *   VNI_TEST_PLUGIN_MODE 3  its entry point gives a string, not a library */
#define _POSIX_C_SOURCE 200809L

#include <string.h>
#include <time.h>

#include "foundation/vni/VandruNativeInterface.h"
#include "tests/foundation/plugin/TestPluginCounters.h"

static VniTestCounters counters;

VNI_EXPORT VniTestCounters* VniTestPluginCounters(void) { return &counters; }

#if VNI_TEST_PLUGIN_MODE != 2

static const VNIFunctions* functions;
static int inside_entry;

#if VNI_TEST_PLUGIN_MODE == 0
static VNIHandle Dispatch(void* user_data, const char* function_name, VNIHandle argument) {
  (void)user_data;
  if (strcmp(function_name, "Init") != 0) return 0;
  __atomic_fetch_add(&counters.inits, 1, __ATOMIC_SEQ_CST);
  counters.init_argument = argument;
  /* A result the loader must give back. */
  return functions->AllocString("ready");
}
#endif

/* Stays inside the entry point a little, so that an entry point of another
 * thread running at the same time is seen. */
static void Linger(void) {
  struct timespec pause = {0, 200000};
  nanosleep(&pause, NULL);
}

VNI_EXPORT VNIHandle VNIEntryPoint(VNIContext* context) {
  VNIHandle result = 0;
  if (__atomic_fetch_add(&inside_entry, 1, __ATOMIC_SEQ_CST) != 0) {
    __atomic_fetch_add(&counters.overlaps, 1, __ATOMIC_SEQ_CST);
  }
  __atomic_fetch_add(&counters.entries, 1, __ATOMIC_SEQ_CST);
  Linger();
  if (context == NULL || context->functions == NULL) {
    __atomic_fetch_add(&counters.missing_functions, 1, __ATOMIC_SEQ_CST);
  } else {
    functions = context->functions;
#if VNI_TEST_PLUGIN_MODE == 0
    result = functions->AllocLibrary(Dispatch, NULL);
#elif VNI_TEST_PLUGIN_MODE == 3
    result = functions->AllocString("not a library");
#endif
  }
  __atomic_fetch_sub(&inside_entry, 1, __ATOMIC_SEQ_CST);
  return result;
}

#endif
