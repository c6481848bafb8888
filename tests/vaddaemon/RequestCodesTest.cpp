// The request-code table against the daemon's request registry, filled by
// every module as the daemon fills it: what the table says the daemon
// answers has a handler, what it leaves unanswered has none, and the daemon
// handles no code the table lacks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

}  // namespace
