#include "gsnative/FetcherySettings.h"

#include <cstdlib>
#include <string_view>

#include "foundation/base/LogMessage.h"

namespace FetcherySettings {

namespace {

constexpr const char* kHostVariable = "VANDRUUTIL_FCY_HOST";
constexpr const char* kWaitVariable = "VANDRUUTIL_FCY_WAIT_MS";
constexpr uint32_t kMostPort = 65535;

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// A whole number from 1 to `most`.
bool ParseWhole(std::string_view text, uint32_t most, uint32_t* out) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint64_t(c - '0');
    if (value > most) return false;
  }
  if (value == 0) return false;
  *out = uint32_t(value);
  return true;
}

}  // namespace

bool ParseHost(const char* text, Kiv::String* out) {
  if (text == nullptr) return false;
  const std::string_view whole(text);
  const size_t colon = whole.find(':');
  const std::string_view name = whole.substr(0, colon);
  if (name.empty() || name.size() > kMaxHostLength) return false;
  for (char c : name) {
    if (!IsHostCharacter(c)) return false;
  }
  uint32_t port = 0;
  if (colon != std::string_view::npos && !ParseWhole(whole.substr(colon + 1), kMostPort, &port))
    return false;
  *out = Kiv::String(whole);
  return true;
}

bool ParseWaitMs(const char* text, uint32_t* out) {
  return text != nullptr && ParseWhole(text, kMostWaitMs, out);
}

Kiv::String Host() {
  const char* text = std::getenv(kHostVariable);
  Kiv::String host(kDefaultHost);
  if (text != nullptr && !ParseHost(text, &host)) {
    LogMessage("installfromfcy> %s=\"%s\" is not a host name (with an optional port); using %s",
               kHostVariable, text, kDefaultHost);
  }
  return host;
}

uint32_t WaitMs() {
  const char* text = std::getenv(kWaitVariable);
  uint32_t ms = kDefaultWaitMs;
  if (text != nullptr && !ParseWaitMs(text, &ms)) {
    LogMessage("installfromfcy> %s=\"%s\" is not a whole number from 1 to %u; using %u",
               kWaitVariable, text, kMostWaitMs, kDefaultWaitMs);
  }
  return ms;
}

Kiv::String SearchUrl(const Kiv::String& host, const KUID& kuid) {
  Kiv::String url("https://");
  url += host;
  url += "/vandru/FCYT_Search_Text.php?Banners=1&SearchCriteria=";
  url += KUIDToShortString(kuid);
  url += "&textsearchID=1&DependencyLevel=5";
  return url;
}

Kiv::String UpdatePageUrl(const Kiv::String& host) {
  Kiv::String url("https://");
  url += host;
  url += "/vandru/update.php";
  return url;
}

}  // namespace FetcherySettings
