// CheckUpdatePage: a task worker (assetdb/client/VADTask.h) that asks the
// daemon to fetch the maker's update page (`url`, from configuration: see
// FetcherySettings::UpdatePageUrl) as a query web request
// (assetdb/client/WebRequests.h) and, when the request succeeds (result 0),
// passes 1.0 to the task's SetProgress.
//
// Run looks at the request every `pollWait` (100 ms) until it is done. The
// wait always ends: a request the daemon did not take, or whose daemon went
// away, is done at once with a failing result, and every request is done
// when the web-request time-out passes; the worker also stops waiting when
// the task's `cancel` is set (then it reports nothing). The request is freed
// in every case. Without a task the page is fetched and nothing reported.
#pragma once

#include <chrono>

#include "assetdb/client/VADTask.h"
#include "assetdb/protocol/URLRecord.h"

class CheckUpdatePage : public VADTaskThread {
 public:
  explicit CheckUpdatePage(const UrlRecord& pageUrl) : url(pageUrl) {}
  void Run() override;

  UrlRecord url;
  std::chrono::milliseconds pollWait{100};
};
