// TMEPacket: one packet of the online packet channel, a TBuffer that owns
// its memory buffer, whose allocation starts at 512 bytes. It has every
// operation of TBuffer; the payload is the buffer's content (Payload and
// PayloadSize read it in place).
//
// Fields of the channel (gsnative/online/TMEEndpoint.h): the sequence
// number (0 = unsequenced), the acknowledgement byte, how often the packet
// was transmitted, when it was last transmitted (program-clock seconds) and
// an acknowledgement attachment handed to the endpoint when the packet is
// acknowledged (null on every packet this program builds).
#pragma once

#include <cstdint>

#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

class TMEPacket : public TBuffer {
 public:
  static constexpr uint32_t kInitialSize = 512;

  TMEPacket() : TBuffer(new Kiv::DynamicBuffer(kInitialSize), true) {}

  uint8_t* Payload() { return GetData()->Data(); }
  const uint8_t* Payload() const { return GetData()->Data(); }
  uint32_t PayloadSize() const { return GetData()->DataLength(); }

  uint8_t seq = 0;
  uint8_t ack = 0;
  uint8_t sendCount = 0;
  double lastSendTime = 0.0;
  void* attachment = nullptr;
};
