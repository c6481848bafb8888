// OnlineSettings: where the online-access service is, from the tool's
// environment.
//
//   VANDRUUTIL_ONLINE_HOST  the service's host name: letters, digits, "."
//                           and "-", at most 127 characters. Default
//                           kDefaultHost, a name under the reserved
//                           ".invalid" domain that resolves nowhere, so an
//                           installation that was not told where the
//                           service is never reaches anything.
//   VANDRUUTIL_ONLINE_PORT  the service's UDP port, 1 to 65535. Default
//                           kDefaultPort.
// An invalid value is logged and the default used. Read on every call.
// Threads: any.
#pragma once

#include <cstdint>
#include <string>

namespace OnlineSettings {

inline constexpr const char* kDefaultHost = "online.vandru.invalid";
inline constexpr uint16_t kDefaultPort = 5251;

std::string Host();
uint16_t Port();

}  // namespace OnlineSettings
