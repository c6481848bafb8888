#include "kiv/model/MeshFileSupport.h"

#include "kiv/basics/MemoryFile.h"

namespace Kiv {

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, String* text) {
  uint32_t length = 0;
  if (!file.Read(&length)) return false;
  const uint64_t padded = PaddedStringSize(length) - 4;
  if (length > kMaxPaddedString || padded > file.Remaining()) {
    file.Seek(file.Size() + 1);  // Marks the file truncated; nothing more can be read.
    return false;
  }
  const uint8_t* bytes = file.ReadBlock(padded);
  if (bytes == nullptr) return false;  // A streamed file cut under the reader.
  text->assign(reinterpret_cast<const char*>(bytes), length);
  return true;
}

bool MeshFileSupport::ReadPaddedString(MemoryFile& file, PString* text) {
  String read;
  if (!ReadPaddedString(file, &read)) return false;
  *text = PString(read);
  return true;
}

}  // namespace Kiv
