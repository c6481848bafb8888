#include "vaddaemon/DaemonConfig.h"

#include <cstdlib>

#include "foundation/LogMessage.h"

namespace DaemonConfig {

uint32_t ParseIdleSeconds(const char* text, bool* valid) {
  if (valid != nullptr) *valid = text == nullptr;
  if (text == nullptr || *text == '\0') return kDefaultIdleSeconds;
  uint64_t value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return kDefaultIdleSeconds;
    value = value * 10 + uint64_t(*p - '0');
    if (value > kMaxIdleSeconds) return kDefaultIdleSeconds;
  }
  if (value == 0) return kDefaultIdleSeconds;
  if (valid != nullptr) *valid = true;
  return uint32_t(value);
}

uint32_t IdleSeconds() {
  const char* text = std::getenv("VADDAEMON_IDLE_SECONDS");
  bool valid = false;
  const uint32_t seconds = ParseIdleSeconds(text, &valid);
  if (!valid) {
    LogMessage("vaddaemon> VADDAEMON_IDLE_SECONDS=\"%s\" is not a number of seconds from 1 to %u; using %u", text,
               kMaxIdleSeconds, kDefaultIdleSeconds);
  }
  return seconds;
}

}  // namespace DaemonConfig
