// The "fcydeleteall" command: deletes every asset that the daemon reports
// with the flag "local".
//
// DeleteAllFetcheryAssets() searches with a filter of the single flag
// "local" and, for each KUID found in the order received, sends the delete
// request (VADClient::DeleteAsset with the flag set and no log), ignoring
// each outcome. It always answers true; a failed search deletes nothing.
//
// FetcheryDeleteAllCommand runs it: status 0 when it answers true, else -1.
#pragma once

#include <cstdint>

class ResultsLog;

bool DeleteAllFetcheryAssets();
