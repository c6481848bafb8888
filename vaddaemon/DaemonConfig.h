// DaemonConfig: the daemon's settings from its environment.
//
// The tool starts the daemon without arguments, so these come from
// environment variables the daemon inherits:
//   VADDAEMON_IDLE_SECONDS  seconds without any client connection after
//                           which the daemon exits (default 600). Must be a
//                           whole number from 1 to 2592000 (30 days);
//                           anything else is logged and the default used.
#pragma once

#include <cstdint>

namespace DaemonConfig {

constexpr uint32_t kDefaultIdleSeconds = 600;
constexpr uint32_t kMaxIdleSeconds = 2592000;

// Parses a value of VADDAEMON_IDLE_SECONDS (null: unset); the default when
// it is unset or invalid (`*valid`, when given, tells which).
uint32_t ParseIdleSeconds(const char* text, bool* valid = nullptr);
// From the environment, logging an invalid value.
uint32_t IdleSeconds();

}  // namespace DaemonConfig
