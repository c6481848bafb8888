// OnlineAccessProcess: what the online objects of scripts share in one
// process: the connection to the service (OnlineAccessClientEndpoint), the
// list of live online objects, the offline in-box and out-box soups, and
// the message cache file in which the endpoint's stored messages outlive
// the process.
//
// Get() is the process-wide instance, made on first use with the daemon's
// account (DaemonAccountSource), the configured service
// (OnlineSettings.h) and the user-data "cache" folder (so the folder
// layout must be set up before the first call); it lives until the process
// ends. Tests and hosts may make instances of their own.
//
// Register is the native registration's step: it loads the in-box from
// "offline-inbox.tbox" and the out-box from "offline-outbox.tbox" (text
// soups, with the recovery of an interrupted save; a file that does not
// load leaves its soup empty), then the cache file "oa_messages.dat"
// (OnlineMessageCache.h: read as untrusted; a file of another version
// leaves the stored messages as they were, a damaged one keeps the records
// before the damage). The in-box and out-box are never written back.
//
// Without a cache folder (a process whose folder layout is not set up)
// nothing is loaded or saved.
//
// SaveMessageCache writes the endpoint's stored messages to the cache file
// through a temporary file and a rename; a failed save leaves the old file
// as it was, is logged and answers false.
//
// Threads: the script thread only, like the endpoint.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/soup/Soup.h"
#include "gsnative/online/OnlineAccessClientEndpoint.h"

class OnlineAccessObject;

class OnlineAccessProcess {
 public:
  static constexpr const char* kInboxName = "offline-inbox.tbox";
  static constexpr const char* kOutboxName = "offline-outbox.tbox";
  static constexpr const char* kCacheName = "oa_messages.dat";

  static OnlineAccessProcess& Get();

  // The service at `host` and `port`, the account through `account`, the
  // files in `cacheFolder`.
  OnlineAccessProcess(std::unique_ptr<OnlineAccountSource> account, std::string host, uint16_t port,
                      std::string cacheFolder);
  OnlineAccessProcess(const OnlineAccessProcess&) = delete;
  OnlineAccessProcess& operator=(const OnlineAccessProcess&) = delete;
  ~OnlineAccessProcess();

  void Register();
  bool SaveMessageCache();

  OnlineAccessClientEndpoint& Endpoint() { return endpoint_; }
  OnlineAccountSource& Account() { return *account_; }
  Soup& Inbox() { return inbox_; }
  Soup& Outbox() { return outbox_; }
  std::string CachePath() const;

  // The live online objects, in creation order (not owned).
  void Link(OnlineAccessObject* object);
  void Unlink(OnlineAccessObject* object);
  const std::vector<OnlineAccessObject*>& Objects() const { return objects_; }

 private:
  std::string PathOf(const char* name) const;

  std::unique_ptr<OnlineAccountSource> account_;
  OnlineAccessClientEndpoint endpoint_;
  std::string cacheFolder_;
  Soup inbox_;
  Soup outbox_;
  std::vector<OnlineAccessObject*> objects_;
};
