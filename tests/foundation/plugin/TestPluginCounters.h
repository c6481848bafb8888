/* What the test plug-ins record, read by the tests through the exported
 * VniTestPluginCounters (C, shared by the plug-in and the tests). */
#ifndef VNI_TEST_PLUGIN_COUNTERS_H
#define VNI_TEST_PLUGIN_COUNTERS_H

#include "foundation/vni/VandruNativeInterface.h"

typedef struct VniTestCounters {
  int entries;           /* calls of VNIEntryPoint */
  int inits;             /* calls of the library function "Init" */
  int overlaps;          /* entry points that ran while another one did */
  int missing_functions; /* entry points called without a function table */
  VNIHandle init_argument;
} VniTestCounters;

typedef VniTestCounters* (*VniTestCountersFunction)(void);

#endif
