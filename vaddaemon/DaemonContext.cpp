#include "vaddaemon/DaemonContext.h"

#include <algorithm>

#include "vaddaemon/DaemonConnection.h"

void DaemonContext::SetInstallPath(const Kiv::File::Path& installPath) {
  installPath_ = installPath;
  installPath_.Normalize();
  binPath_ = installPath_;
  binPath_.AddPath("bin");
  userDataPath_ = installPath_;
  userDataPath_.AddPath("UserData");
  assetIndexPath_ = userDataPath_;
  assetIndexPath_.AddPath("assets.tdx");
}

void DaemonContext::RequestExit() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    exitRequested_ = true;
  }
  exitSignal_.notify_all();
}

bool DaemonContext::ExitRequested() const {
  std::lock_guard<std::mutex> hold(lock_);
  return exitRequested_;
}

void DaemonContext::AbandonWork() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    exitRequested_ = true;
    workAbandoned_ = true;
  }
  exitSignal_.notify_all();
}

bool DaemonContext::WorkAbandoned() const {
  std::lock_guard<std::mutex> hold(lock_);
  return workAbandoned_;
}

void DaemonContext::AddWorkInHand(std::function<bool()> running) {
  std::lock_guard<std::mutex> hold(lock_);
  workInHand_.push_back(std::move(running));
}

bool DaemonContext::WorkInHand() const {
  std::vector<std::function<bool()>> tests;
  {
    std::lock_guard<std::mutex> hold(lock_);
    tests = workInHand_;
  }
  return std::any_of(tests.begin(), tests.end(), [](const auto& running) { return running(); });
}

bool DaemonContext::WaitForExit(uint32_t ms) const {
  std::unique_lock<std::mutex> hold(lock_);
  return exitSignal_.wait_for(hold, std::chrono::milliseconds(ms),
                              [this] { return exitRequested_; });
}

std::vector<std::shared_ptr<DaemonConnection>> DaemonContext::Connections() const {
  std::lock_guard<std::mutex> hold(lock_);
  return connections_;
}

void DaemonContext::AddCloseObserver(CloseObserver observer) {
  std::lock_guard<std::mutex> hold(lock_);
  observers_.push_back(std::move(observer));
}

void DaemonContext::AddConnection(const std::shared_ptr<DaemonConnection>& connection) {
  std::lock_guard<std::mutex> hold(lock_);
  connections_.push_back(connection);
}

void DaemonContext::RemoveConnection(const std::shared_ptr<DaemonConnection>& connection) {
  std::vector<CloseObserver> observers;
  {
    std::lock_guard<std::mutex> hold(lock_);
    connections_.erase(std::remove(connections_.begin(), connections_.end(), connection),
                       connections_.end());
    observers = observers_;
  }
  for (const CloseObserver& observer : observers) observer(connection);
}

size_t DaemonContext::ConnectionCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return connections_.size();
}

size_t DaemonContext::ClientCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return size_t(std::count_if(connections_.begin(), connections_.end(),
                              [](const auto& connection) { return !connection->IsCommandHost(); }));
}
