// DaemonContext: what every part of the running daemon shares.
//
//  - The paths the daemon derived from its own location: the installation
//    root (parent of the folder holding the executable), the bin folder (the
//    tool's working directory too: relative paths in request bodies are
//    resolved against it), the user-data root (root/UserData) and the asset
//    index (root/UserData/assets.tdx). Fixed before any module starts.
//  - The exit request: RequestExit (any thread) makes the server take no
//    new request and end the daemon once the requests in flight have ended
//    (DaemonServer.h); WaitForExit lets a long-running handler or module
//    thread sleep and still notice it at once. AbandonWork (the server, at
//    the bound of that wait, or at once for an end that may not finish
//    anything) tells the work still running to give up what it waits for:
//    command-host jobs end (CommandHostBroker.h), a question to the tool is
//    left unanswered. It implies the exit request.
//  - The work in hand that outlives its request on a thread of its own (a
//    repair, whose request is answered as it begins): AddWorkInHand gives
//    a test of whether it still runs, and the server's end finishes it as
//    it finishes the requests in flight (DaemonServer.h); WorkInHand
//    answers whether any test says so. Added during start-up, as the close
//    observers; a test must not block.
//  - The live connections (a snapshot, e.g. to find a command host) and the
//    close observers, called on the closing connection's reader thread once
//    the connection is closed and out of the list (a module fails the work
//    it waits for on that connection there). Observers are added during
//    start-up (module start or handler registration), not while serving;
//    they must not block for long.
//  - Services: one shared object per type, provided by a module at start
//    (e.g. the asset store) and found by the others. Provide replaces;
//    Find answers null when none was provided.
//
// Thread-safe (one lock guards the connection list and the services; the
// paths are fixed before serving).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <vector>

#include "kiv/File.h"

class DaemonConnection;

class DaemonContext {
 public:
  using CloseObserver = std::function<void(const std::shared_ptr<DaemonConnection>& connection)>;

  DaemonContext() = default;
  DaemonContext(const DaemonContext&) = delete;
  DaemonContext& operator=(const DaemonContext&) = delete;

  // Sets the paths from the installation root (start-up).
  void SetInstallPath(const Kiv::File::Path& installPath);
  const Kiv::File::Path& InstallPath() const { return installPath_; }
  const Kiv::File::Path& BinPath() const { return binPath_; }
  const Kiv::File::Path& UserDataPath() const { return userDataPath_; }
  const Kiv::File::Path& AssetIndexPath() const { return assetIndexPath_; }

  void RequestExit();
  bool ExitRequested() const;
  void AbandonWork();
  bool WorkAbandoned() const;
  // Waits up to `ms` for the exit request; true when it has come.
  bool WaitForExit(uint32_t ms) const;

  void AddWorkInHand(std::function<bool()> running);
  bool WorkInHand() const;

  std::vector<std::shared_ptr<DaemonConnection>> Connections() const;
  void AddCloseObserver(CloseObserver observer);

  template <class T>
  void Provide(std::shared_ptr<T> service) {
    std::lock_guard<std::mutex> hold(lock_);
    services_[std::type_index(typeid(T))] = std::static_pointer_cast<void>(std::move(service));
  }
  template <class T>
  std::shared_ptr<T> Find() const {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = services_.find(std::type_index(typeid(T)));
    if (it == services_.end()) return nullptr;
    return std::static_pointer_cast<T>(it->second);
  }

  // For the server: the connection list and the observers.
  void AddConnection(const std::shared_ptr<DaemonConnection>& connection);
  // Removes it and calls the observers (on the calling thread).
  void RemoveConnection(const std::shared_ptr<DaemonConnection>& connection);
  size_t ConnectionCount() const;
  // The connections that are not command hosts (DaemonConnection::
  // IsCommandHost): the clients whose absence makes the daemon idle. A
  // host serves the daemon, so it keeps no daemon alive.
  size_t ClientCount() const;

 private:
  Kiv::File::Path installPath_;
  Kiv::File::Path binPath_;
  Kiv::File::Path userDataPath_;
  Kiv::File::Path assetIndexPath_;

  mutable std::mutex lock_;
  mutable std::condition_variable exitSignal_;
  bool exitRequested_ = false;
  bool workAbandoned_ = false;
  std::vector<std::shared_ptr<DaemonConnection>> connections_;
  std::vector<CloseObserver> observers_;
  std::vector<std::function<bool()>> workInHand_;
  std::map<std::type_index, std::shared_ptr<void>> services_;
};
