// The query, edit, search, repair and account request handlers of the
// daemon, registered by the "queries" module (QueriesModule.cpp) into the
// request table (RequestRegistry.h). Each function fills in the handlers
// of one file:
//
//   RegisterQueryHandlers    QueryHandlers.cpp: 0x14 configuration, 0x15
//                            asset record, 0x17 folder, 0x1A/0x1B KUID
//                            look-ups, 0x1C description, 0x1D thumbnail,
//                            0x2A dependencies, 0x2B obsoletes
//   RegisterValueHandlers    ValueHandlers.cpp: 0x32 favourite, 0x36
//                            keywords, 0x3A new KUID, 0x5A user names,
//                            0x79/0x7A per-asset data, 0xB5, 0xFD builds
//   RegisterEditHandlers     EditHandlers.cpp: 0x1E-0x24 (edit handles,
//                            commit, revert, reserve, delete)
//   RegisterSearchHandler    SearchHandler.cpp: 0x02
//   RegisterRepairHandlers   RepairHandler.cpp: 0x03, 0x04, 0x100
//   RegisterAccountHandlers  AccountHandlers.cpp: 0xF0, 0xF1, 0xF2
//
// Every handler finds the asset store (AssetStore) and the settings
// (SettingsStore) as services of the context when it runs; without them it
// answers its failure reply (the same reply as for an unknown asset).
// Bodies are untrusted: a body that is cut short gives the failure reply,
// never a read past its end. Handlers hold no lock of their own across a
// store call except where their file says so.
#pragma once

class DaemonContext;
class RequestRegistry;

void RegisterQueryHandlers(RequestRegistry& registry, DaemonContext& context);
void RegisterValueHandlers(RequestRegistry& registry, DaemonContext& context);
void RegisterEditHandlers(RequestRegistry& registry, DaemonContext& context);
void RegisterSearchHandler(RequestRegistry& registry, DaemonContext& context);
void RegisterRepairHandlers(RequestRegistry& registry, DaemonContext& context);
void RegisterAccountHandlers(RequestRegistry& registry, DaemonContext& context);
