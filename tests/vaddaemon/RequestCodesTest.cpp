// The request-code table against the daemon's request registry, filled by
// every module as the daemon fills it: what the table says the daemon
// answers has a handler, what it leaves unanswered has none, and the daemon
// handles no code the table lacks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "assetdb/protocol/VADRequestCodes.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", code);
  return text;
}

TEST(RequestCodes, DaemonRegistryAgreesWithTheTable) {
  DaemonContext context;
  RequestRegistry registry;
  for (const DaemonModule& module : RegisteredDaemonModules()) {
    if (module.registerHandlers != nullptr) module.registerHandlers(registry, context);
  }

  for (const VADRequestCode::Entry& entry : VADRequestCode::kTable) {
    const bool handled = registry.Find(entry.code) != nullptr;
    EXPECT_EQ(handled, entry.daemon == VADRequestCode::kAnswered)
        << entry.name << " " << Hex(entry.code);
  }
  for (uint32_t code : registry.Codes()) {
    EXPECT_NE(VADRequestCode::Find(code), nullptr)
        << "the daemon handles " << Hex(code) << ", missing from the table";
  }
}

// Only quick lookups are served on a connection's reader; a request that
// may wait on another one (a command host's job, an asset's KUID lock held
// by an install) goes to a worker, so the reader stays free to read what
// ends the wait.
TEST(RequestCodes, OnlyRequestsThatNeverWaitAreServedOnTheReader) {
  DaemonContext context;
  RequestRegistry registry;
  for (const DaemonModule& module : RegisteredDaemonModules()) {
    if (module.registerHandlers != nullptr) module.registerHandlers(registry, context);
  }
  const std::vector<uint8_t> kuid(8, 1);
  auto with = [&kuid](std::vector<uint8_t> tail) {
    std::vector<uint8_t> body = kuid;
    body.insert(body.end(), tail.begin(), tail.end());
    return body;
  };
  struct Case {
    uint32_t code;
    std::vector<uint8_t> body;
    bool onReader;
  };
  const Case cases[] = {
      {VADRequestCode::kKeepAlive, {}, true},
      {VADRequestCode::kGetAssetInfo, with({0, 0, 0, 0}), true},
      {VADRequestCode::kGetAssetConfig, kuid, true},
      {VADRequestCode::kOpenHandle, with({0}), true},         // the installed folder
      {VADRequestCode::kOpenHandle, with({1}), false},        // for edit: KUID lock, copy
      {VADRequestCode::kOpenHandle, kuid, false},             // cut short
      {VADRequestCode::kOpenHandle, with({0, 0}), false},     // too long
      {VADRequestCode::kReleaseHandle, std::vector<uint8_t>(8, 0), true},
      {VADRequestCode::kValidate, {}, false},                 // waits on a command host
      {VADRequestCode::kCommitAsset, with({0, 0, 0, 0}), false},
      {VADRequestCode::kReadSetting, {}, true},
      {VADRequestCode::kWriteSetting, {}, false},             // saves the settings file
      {VADRequestCode::kCloseDaemon, {}, false},
      {VADRequestCode::kPollRepair, {}, true},                // also while the daemon ends
      {0xFFFF, {}, false},                                    // no handler
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registry.ServedOnReader(c.code, c.body), c.onReader)
        << Hex(c.code) << " with " << c.body.size() << " bytes";
  }
}

}  // namespace
