// DaemonConfig: the daemon's settings from its environment.
//
// The tool starts the daemon without arguments, so these come from
// environment variables the daemon inherits:
//   VADDAEMON_IDLE_SECONDS     seconds without any client connection after
//                              which the daemon exits (default 600). Must be
//                              a whole number from 1 to 2592000 (30 days).
//   VADDAEMON_MAX_CONNECTIONS  client connections open at once (default
//                              256); beyond it a new connection is closed at
//                              once. A whole number from 1 to 4096.
// Anything else is logged and the default used.
#pragma once

#include <cstdint>

namespace DaemonConfig {

constexpr uint32_t kDefaultIdleSeconds = 600;
constexpr uint32_t kMaxIdleSeconds = 2592000;
constexpr uint32_t kDefaultMaxConnections = 256;
constexpr uint32_t kMostMaxConnections = 4096;

// Parse a value of the variable (null: unset); the default when it is unset
// or invalid (`*valid`, when given, tells which).
uint32_t ParseIdleSeconds(const char* text, bool* valid = nullptr);
uint32_t ParseMaxConnections(const char* text, bool* valid = nullptr);
// From the environment, logging an invalid value.
uint32_t IdleSeconds();
uint32_t MaxConnections();

}  // namespace DaemonConfig
