// TMEPacket: the body of a network packet of the online layer, a TBuffer
// that owns its memory buffer, whose allocation starts at 512 bytes. It has
// every operation of TBuffer; the payload is the buffer's content.
#pragma once

#include "foundation/stream/TBuffer.h"
#include "kiv/DynamicBuffer.h"

class TMEPacket : public TBuffer {
 public:
  static constexpr uint32_t kInitialSize = 512;

  TMEPacket() : TBuffer(new Kiv::DynamicBuffer(kInitialSize), true) {}
};
