// The test class "TestOnline" (tests/gsruntime/include/testonline.gs), for
// scripts that run in the script context with the standard libraries:
// - TestOnline.GetOnlineAccess(kuid): the context's online object of the
//   asset (GetOnlineAccess, gsnative/GSOOnlineAccess.h), as a library of
//   the asset would get it; null for a null KUID.
// Register before the first GetGSMachine.
#pragma once

void RegisterTestOnlineNatives();
