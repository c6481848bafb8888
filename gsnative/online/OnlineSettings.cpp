#include "gsnative/online/OnlineSettings.h"

#include <cstdlib>
#include <string_view>

#include "kiv/Log.h"

namespace {

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 127) return false;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

namespace OnlineSettings {

std::string Host() {
  const char* value = std::getenv("VANDRUUTIL_ONLINE_HOST");
  if (value == nullptr) return kDefaultHost;
  if (IsHostName(value)) return value;
  Kiv::Log::Printf("OnlineSettings> VANDRUUTIL_ONLINE_HOST '%s' is not a host name; using %s",
                   value, kDefaultHost);
  return kDefaultHost;
}

uint16_t Port() {
  const char* value = std::getenv("VANDRUUTIL_ONLINE_PORT");
  if (value == nullptr) return kDefaultPort;
  char* end = nullptr;
  const long port = std::strtol(value, &end, 10);
  if (end != value && *end == '\0' && port >= 1 && port <= 65535) {
    return static_cast<uint16_t>(port);
  }
  Kiv::Log::Printf("OnlineSettings> VANDRUUTIL_ONLINE_PORT '%s' is not a port; using %u", value,
                   unsigned{kDefaultPort});
  return kDefaultPort;
}

}  // namespace OnlineSettings
