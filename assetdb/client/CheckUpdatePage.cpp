#include "assetdb/client/CheckUpdatePage.h"

#include <thread>

#include "assetdb/client/WebRequests.h"

void CheckUpdatePage::Run() {
  DaemonHttpRequest* request = DaemonHttpRequest::Start(url, DaemonHttpRequest::kModeQuery);
  bool cancelled = false;
  while (!request->IsDone()) {
    if (task != nullptr && task->cancel) {
      cancelled = true;
      break;
    }
    std::this_thread::sleep_for(pollWait);
  }
  if (!cancelled && request->GetResult() == 0 && task != nullptr) task->SetProgress(1.0f);
  DaemonHttpRequest::Delete(request);
}
