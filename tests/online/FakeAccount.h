// FakeAccount: an online account of the test's own making (user name,
// credential, web login result), counting refusals and web logins.
#pragma once

#include <cstdint>
#include <string>

#include "gsnative/online/OnlineAccountSource.h"

namespace OnlineTest {

class FakeAccount : public OnlineAccountSource {
 public:
  std::string GetOnlineUsername() override { return user; }
  std::string GetCredential() override { return credential; }
  void ReportLoginRefused() override { ++refusals; }
  void StartWebLogin() override { ++webLogins; }
  bool WebLoginDone(uint32_t& result) override {
    if (webResult < 0) return false;
    result = static_cast<uint32_t>(webResult);
    credential = credentialAfterWebLogin;
    return true;
  }
  void CloseWebLogin() override {}

  std::string user = "alice";
  std::string credential = "secret";
  int refusals = 0;
  int webLogins = 0;
  int64_t webResult = -1;  // -1: the web login has not finished
  std::string credentialAfterWebLogin;
};

}  // namespace OnlineTest
