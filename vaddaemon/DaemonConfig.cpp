#include "vaddaemon/DaemonConfig.h"

#include <cstdlib>

#include "foundation/base/LogMessage.h"

namespace DaemonConfig {

namespace {

// A whole number from 1 to `most`, else `fallback`.
uint32_t ParseWhole(const char* text, uint32_t most, uint32_t fallback, bool* valid) {
  if (valid != nullptr) *valid = text == nullptr;
  if (text == nullptr || *text == '\0') return fallback;
  uint64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return fallback;
    value = value * 10 + uint64_t(*p - '0');
    if (value > most) return fallback;
  }
  if (value == 0) return fallback;
  if (valid != nullptr) *valid = true;
  return uint32_t(value);
}

uint32_t FromEnvironment(const char* name, uint32_t most, uint32_t fallback) {
  const char* text = std::getenv(name);
  bool valid = false;
  const uint32_t value = ParseWhole(text, most, fallback, &valid);
  if (!valid) {
    LogMessage("vaddaemon> %s=\"%s\" is not a whole number from 1 to %u; using %u", name, text,
               most, fallback);
  }
  return value;
}

}  // namespace

uint32_t ParseIdleSeconds(const char* text, bool* valid) {
  return ParseWhole(text, kMaxIdleSeconds, kDefaultIdleSeconds, valid);
}

uint32_t ParseMaxConnections(const char* text, bool* valid) {
  return ParseWhole(text, kMostMaxConnections, kDefaultMaxConnections, valid);
}

uint32_t IdleSeconds() {
  return FromEnvironment("VADDAEMON_IDLE_SECONDS", kMaxIdleSeconds, kDefaultIdleSeconds);
}

uint32_t MaxConnections() {
  return FromEnvironment("VADDAEMON_MAX_CONNECTIONS", kMostMaxConnections, kDefaultMaxConnections);
}

}  // namespace DaemonConfig
