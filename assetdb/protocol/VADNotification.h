// VADNotification: one 'note' frame of the asset-database daemon, read off
// the connection: its code and its payload in a stream of its own (a
// Kiv::DynamicBuffer with a TBuffer over it, rewound after filling).
//
// Codes: 0 a u32 value for the options' notificationHook; 1 a command-host
// job; 2 a question about a pending request (u32 clientTransactionID, a
// length-prefixed name, a KUID); 3 result messages (u32
// clientTransactionID, a ResultsLog message batch); 4 a web-request status
// (u64 handle, then the status record); 5 and above carry nothing the
// client uses. Payloads are bounded by kMaxPayload before anything is
// allocated.
//
// The object owns its buffer; one thread uses it at a time (the reader
// thread, then the main thread that runs it from the queue).
#pragma once

#include <cstdint>

#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

struct VADNotification {
  static constexpr uint32_t kCodeHookValue = 0;
  static constexpr uint32_t kCodeCommandHostJob = 1;
  static constexpr uint32_t kCodeQuestion = 2;
  static constexpr uint32_t kCodeResults = 3;
  static constexpr uint32_t kCodeHttpStatus = 4;
  // The longest payload accepted (64 MiB); a longer one ends the connection.
  static constexpr uint32_t kMaxPayload = 64u << 20;

  explicit VADNotification(uint32_t notificationCode = 0) : code(notificationCode) {}
  VADNotification(const VADNotification&) = delete;
  VADNotification& operator=(const VADNotification&) = delete;

  uint32_t code;
  Kiv::DynamicBuffer data;
  TBuffer payload{&data};
};
