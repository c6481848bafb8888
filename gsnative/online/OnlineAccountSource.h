// OnlineAccountSource: what the online client asks of the user's account:
// the online user name, the stored login credential, the report of a
// refused login, and the web login that obtains a credential when none is
// stored.
//
// DaemonAccountSource asks the asset-database daemon (requests 0xF0, 0xF2,
// the one-way 0xF1, and a web request of "vologin://" in mode 2); each
// request blocks the calling thread until the daemon answers (its client's
// bounds apply). Tests give the client a source of their own.
//
// The web login: StartWebLogin starts it; WebLoginDone answers true, with
// the result, once it has finished. A web login whose start failed (no
// daemon, or a handle of all ones) counts as finished at once with a
// failure result, so the client never waits for it without end.
#pragma once

#include <cstdint>
#include <string>

class DaemonHttpRequest;

class OnlineAccountSource {
 public:
  virtual ~OnlineAccountSource() = default;
  virtual std::string GetOnlineUsername() = 0;
  virtual std::string GetCredential() = 0;
  virtual void ReportLoginRefused() = 0;
  virtual void StartWebLogin() = 0;
  virtual bool WebLoginDone(uint32_t& result) = 0;
  virtual void CloseWebLogin() = 0;
};

class DaemonAccountSource : public OnlineAccountSource {
 public:
  static constexpr const char* kWebLoginUrl = "vologin://";
  static constexpr uint32_t kStartFailed = 0xFFFFFFFEu;

  ~DaemonAccountSource() override;
  std::string GetOnlineUsername() override;
  std::string GetCredential() override;
  void ReportLoginRefused() override;
  void StartWebLogin() override;
  bool WebLoginDone(uint32_t& result) override;
  void CloseWebLogin() override;

 private:
  DaemonHttpRequest* request_ = nullptr;
  bool startFailed_ = false;
};
