#include "gsnative/online/OnlineMessages.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/OnlineWire.h"

void OnlineMessage::Write(TStream& stream) const {
  WriteKUID(stream, kuid);
  OnlineWire::WriteString(stream, userName);
  OnlineWire::WriteSoup(stream, body);
}

bool OnlineMessage::Read(WireReader& reader) {
  return reader.ReadKUID(kuid) && reader.String(userName) && reader.ReadSoup(body);
}

void OnlineVersionedMessage::Write(TStream& stream) const {
  OnlineMessage::Write(stream);
  TStreamWriteU32(stream, version);
  TStreamWriteBool(stream, modified);
}

bool OnlineVersionedMessage::Read(WireReader& reader) {
  return OnlineMessage::Read(reader) && reader.U32(version) && reader.Bool(modified);
}

void OnlineGroupMessage::Write(TStream& stream) const {
  WriteKUID(stream, kuid);
  OnlineWire::WriteString(stream, userName);
  OnlineWire::WriteString(stream, cookie.View());
  OnlineWire::WriteSoup(stream, body);
}

bool OnlineGroupMessage::Read(WireReader& reader) {
  std::string cookieText;
  if (!reader.ReadKUID(kuid) || !reader.String(userName) || !reader.String(cookieText) ||
      !reader.ReadSoup(body)) {
    return false;
  }
  cookie = Kiv::PString(cookieText);
  return true;
}
