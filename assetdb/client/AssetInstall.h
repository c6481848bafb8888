// AssetInstall: the client side of installing content through the asset-
// database daemon, and of fetching an installed asset as an archive entry.
//
// Requests (VADClient::Transact; the caller's results log, keepResults
// false):
//   0x27 InstallFolder: string folder, u32 mode, u8 (1 with a callback)
//        -> KUID installed, u8 into `outFlag`
//   0x29 InstallFolders: u32 mode, u32 count N, N strings folder
//        -> u32 count M, M times (KUID installed, u8), in the folders' order
//   0x28 InstallCDP:    string archive, u32 mode, u8 (1 with a callback)
//        -> u32 result, u8 into `outFlag`
//   0x30 CreateCDP:     KUID, u32 parts mask -> the entry as a binary soup
// Each sender first sets `outFlag` false and its result to the null KUID /
// 0, so a failed request leaves those values; the daemon's messages about
// the failure land in the results log. The install mode and the flag are
// the daemon's: they are passed through and handed back unread. The
// callback (may be null) answers the daemon's questions while it installs.
//
// InstallFolders sends several folders in one request, which the daemon
// makes durable together; it never asks questions, so it takes no
// callback. Its messages are those each folder would give on its own
// (InstallFolder), in the folders' order. It answers one KUID per folder
// (null where that folder was not installed) and leaves in `outFlag` the
// byte of the last folder, as InstallFolder on each folder in turn would.
// A daemon that does not know the request answers it empty, with no
// message: the folders are then sent one by one with InstallFolder. When
// the connection is lost, the folder under way (the first without its
// message) is given up, as a lone request would be, and the folders after
// it are sent again in a new request (the client reconnects as for any
// request), until every folder has been sent.
//
// CreateCDP empties `entry`, sets its "compression" to "LZSS" and then
// fills it from the reply. The reply is untrusted: it is read with the
// binary soup reader, which checks every size; a reply that does not hold a
// whole soup leaves the entry as it was after the reset (no "kuid").
//
// Threads: any thread (the client is thread-safe); nothing here keeps
// state.
#pragma once

#include <cstdint>
#include <vector>

#include "assetdb/client/VADClientTransaction.h"
#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/String.h"

class ResultsLog;

KUID InstallFolder(const Kiv::String& folder, ResultsLog* log, uint32_t mode, bool* outFlag,
                   VADTransactionCallback* callback);
std::vector<KUID> InstallFolders(const std::vector<Kiv::String>& folders, ResultsLog* log,
                                 uint32_t mode, bool* outFlag);
uint32_t InstallCDP(const char* archivePath, ResultsLog* log, uint32_t mode, bool* outFlag,
                    VADTransactionCallback* callback);
void CreateCDP(Soup& entry, const KUID& kuid, ResultsLog* log, uint32_t partsMask);
