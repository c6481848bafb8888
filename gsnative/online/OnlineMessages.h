// The messages that the online service carries between the scripts of one
// asset on different users' machines (a soup each), and group messages.
//
// Records on the wire and in the cache file (gsnative/online/OnlineWire.h
// for the field forms):
//   Message:          KUID, user name (string), body (soup)
//   VersionedMessage: the Message record, version (u32), modified (bool)
//   GroupMessage:     KUID, user name (string), cookie (string), body (soup)
// Read fills the object from an untrusted reader and answers false (the
// object then holds what was read so far) when the record is short or
// damaged. The objects are plain values owned by whoever holds them.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/soup/Soup.h"
#include "foundation/text/KUID.h"
#include "kiv/PString.h"

class TStream;
class WireReader;

class OnlineMessage {
 public:
  virtual ~OnlineMessage() = default;
  virtual void Write(TStream& stream) const;
  virtual bool Read(WireReader& reader);
  virtual bool IsVersioned() const { return false; }

  std::string userName;
  Soup body;
  KUID kuid = kNullKUID;
};

class OnlineVersionedMessage : public OnlineMessage {
 public:
  void Write(TStream& stream) const override;
  bool Read(WireReader& reader) override;
  bool IsVersioned() const override { return true; }

  uint32_t version = 1;
  bool modified = false;
};

struct OnlineGroupMessage {
  void Write(TStream& stream) const;
  bool Read(WireReader& reader);

  Kiv::PString cookie;
  std::string userName;
  Soup body;
  KUID kuid = kNullKUID;
};
