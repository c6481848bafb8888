#include "gscompiler/ScriptFile.h"

#include <cstring>
#include <new>

#include "foundation/lzss/LZSSCompress.h"
#include "gscompiler/ReplaceFile.h"

Kiv::PString PendingScriptPrefix;

namespace {

// The scrambling key of ".gse" bodies. Files written with another key do
// not decode. The scrambling hides the text from a casual look; it is not
// a protection.
constexpr uint8_t kKeyTable[32] = {
    0x5B, 0xC1, 0x3E, 0x92, 0x07, 0xD4, 0x6A, 0xF8, 0x21, 0x8D, 0x47, 0xB3, 0x1C, 0xE6, 0x79, 0x05,
    0xA2, 0x3F, 0xCB, 0x64, 0x90, 0x1E, 0x57, 0xED, 0x38, 0x82, 0x6F, 0xB9, 0x14, 0xC7, 0x4D, 0xA0,
};

constexpr uint32_t kOpenRead = 0x10;
constexpr uint32_t kOpenWriteEncoded = 0x302;
constexpr uint32_t kOpenWritePlain = 0x30F;

uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLE32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
  p[2] = uint8_t(value >> 16);
  p[3] = uint8_t(value >> 24);
}

// A block of `n` bytes plus a NUL byte at the end, or null.
std::unique_ptr<uint8_t[]> NewBlock(uint64_t n) {
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[n + 1]);
  if (block) block[n] = 0;
  return block;
}

enum class Form { None, Plain, Encoded };

Form FormOf(const Kiv::File::Path& path) {
  if (path.IsExt("gse")) return Form::Encoded;
  if (path.IsExt("gs")) return Form::Plain;
  return Form::None;
}

// The plain path a (container, path) pair designates; false when the
// container is unknown or the path would leave it.
bool ResolveTarget(const Kiv::PString& container, const Kiv::File::Path& path, Kiv::String* out) {
  if (container.Empty()) {
    *out = path.Str();
    return true;
  }
  return Kiv::File::ResolveRooted(container, path.Str(), out);
}

}  // namespace

ScriptFile::ScriptFile() {
  Reset();
}

ScriptFile::~ScriptFile() {
  Clear();
}

void ScriptFile::Clear() {
  data_.reset();
  size_ = 0;
  encoded_ = false;
  textSize_ = 0;
  sourcePath_ = Kiv::File::Path();
  targetPath_ = Kiv::File::Path();
  format_ = 0;
}

void ScriptFile::Reset() {
  Clear();
  prefixLength_ = 0;
  format_ = 1;
}

bool ScriptFile::Load(const char* container, const Kiv::File::Path& path) {
  Reset();
  sourcePath_ = path;
  container_ = Kiv::PString(container);
  const Form form = FormOf(path);
  if (form == Form::None) return false;
  if (!Kiv::File::Exists(container_, path.Str())) return false;
  return form == Form::Plain ? ReadPlain() : ReadEncoded();
}

bool ScriptFile::Save(const char* container, const Kiv::File::Path& path) {
  targetPath_ = path;
  container_ = Kiv::PString(container);
  switch (FormOf(path)) {
    case Form::Encoded:
      return WriteEncoded();
    case Form::Plain:
      return WritePlain();
    case Form::None:
      break;
  }
  return false;
}

const char* ScriptFile::GetText() {
  if (encoded_ && !Decompress()) return nullptr;
  if (!data_) return nullptr;
  return reinterpret_cast<const char*>(data_.get());
}

uint32_t ScriptFile::GetTextSize() {
  if (textSize_ != 0) return textSize_;
  if (!encoded_) return 0;
  if (!Decompress()) return 0;
  return textSize_;
}

void ScriptFile::Scramble() {
  for (uint32_t i = 0; i < size_; ++i) data_[i] ^= kKeyTable[i % sizeof kKeyTable];
}

bool ScriptFile::Compress() {
  if (encoded_) return true;
  // An empty text would give a length word of 0, and a text above the
  // limit a length word that no reader accepts: neither is ever encoded.
  if (!data_ || size_ == 0 || size_ > kMaxTextSize) return false;
  if (textSize_ == 0) textSize_ = size_;
  std::unique_ptr<uint8_t[]> block = NewBlock(uint64_t(size_) + 5);
  if (!block) return false;
  Kiv::Ref<Kiv::Compress> codec(new (std::nothrow) Kiv::LZSSCompress());
  if (!codec) return false;
  const size_t coded = codec->CompressBlock(block.get() + 4, size_t(size_) + 1, data_.get(), size_,
                                            kCompressionLevel);
  if (coded == 0 || coded > size_t(size_) + 1) return false;
  WriteLE32(block.get(), size_);
  data_ = std::move(block);
  size_ = uint32_t(coded + 4);
  Scramble();
  encoded_ = true;
  return true;
}

bool ScriptFile::Decompress() {
  if (!encoded_) return true;
  if (!data_ || size_ < 4) return false;
  Scramble();
  const uint32_t length = ReadLE32(data_.get());
  if (length > kMaxTextSize) {
    Clear();
    return false;
  }
  if (length == 0) {
    Scramble();  // back to the encoded body, as it was
    return false;
  }
  const uint32_t prefixSize = PendingScriptPrefix.Length();
  const uint64_t total = uint64_t(prefixSize) + length;
  std::unique_ptr<uint8_t[]> block = total < UINT32_MAX ? NewBlock(total) : nullptr;
  if (!block) {
    Scramble();
    return false;
  }
  Kiv::Ref<Kiv::Compress> codec(new (std::nothrow) Kiv::LZSSCompress());
  const int64_t decoded =
      codec ? codec->DecompressBlock(block.get() + prefixSize, length, data_.get() + 4, size_ - 4)
            : Kiv::Compress::kFailed;
  if (decoded != int64_t(length)) {
    Clear();
    return false;
  }
  data_ = std::move(block);
  size_ = uint32_t(total);
  if (textSize_ == 0) textSize_ = size_;
  TakePendingPrefix(data_.get(), prefixSize);
  encoded_ = false;
  return true;
}

void ScriptFile::TakePendingPrefix(uint8_t* block, uint32_t prefixSize) {
  if (prefixSize != 0) std::memcpy(block, PendingScriptPrefix.Text(), prefixSize);
  prefixLength_ = prefixSize;
  PendingScriptPrefix.Release();
}

bool ScriptFile::OpenSource(Kiv::File& file) const {
  return file.Open(container_, sourcePath_.Str(), kOpenRead);
}

bool ScriptFile::ReadPlain() {
  Kiv::File file;
  if (!OpenSource(file)) return false;
  const int64_t fileSize = file.Size();
  if (fileSize < 0 || fileSize > int64_t(kMaxTextSize)) return false;
  const uint32_t textBytes = uint32_t(fileSize);
  const uint32_t prefixSize = PendingScriptPrefix.Length();
  const uint64_t total = uint64_t(prefixSize) + textBytes;
  if (total >= UINT32_MAX) return false;
  std::unique_ptr<uint8_t[]> block = NewBlock(total);
  if (!block) return false;
  if (textBytes != 0 && file.Read(block.get() + prefixSize, 1, textBytes) != textBytes) {
    return false;
  }
  data_ = std::move(block);
  size_ = textSize_ = uint32_t(total);
  TakePendingPrefix(data_.get(), prefixSize);
  return true;
}

bool ScriptFile::ReadEncoded() {
  Kiv::File file;
  if (!OpenSource(file)) return false;
  uint8_t header[kHeaderSize];
  if (file.Read(header, 1, kHeaderSize) != kHeaderSize) return false;
  format_ = ReadLE32(header);
  const uint32_t bodySize = ReadLE32(header + 8);
  if (bodySize == 0 || bodySize > kMaxBodySize) return false;
  // A body longer than the file could only end in a short read; refusing it
  // first keeps a forged length from costing an allocation.
  const int64_t fileSize = file.Size();
  if (fileSize < 0 || uint64_t(fileSize) < uint64_t(kHeaderSize) + bodySize) return false;
  std::unique_ptr<uint8_t[]> block = NewBlock(bodySize);
  if (!block) return false;
  if (file.Read(block.get(), 1, bodySize) != bodySize) return false;
  data_ = std::move(block);
  size_ = bodySize;
  encoded_ = true;
  return true;
}

bool ScriptFile::WriteEncoded() {
  if (!Compress()) return false;
  if (targetPath_.Empty()) return false;
  uint8_t header[kHeaderSize] = {};
  WriteLE32(header, format_);
  WriteLE32(header + 8, size_);
  return WriteTarget(header, kHeaderSize, data_.get(), size_);
}

bool ScriptFile::WritePlain() {
  if (!Decompress()) return false;
  if (targetPath_.Empty()) return false;
  return WriteTarget(nullptr, 0, data_.get(), size_);
}

bool ScriptFile::WriteTarget(const uint8_t* header, uint32_t headerSize, const uint8_t* body,
                             uint32_t bodySize) const {
  Kiv::String resolved;
  if (!ResolveTarget(container_, targetPath_, &resolved)) return false;
  const uint32_t mode = header != nullptr ? kOpenWriteEncoded : kOpenWritePlain;
  return ReplaceFile(Kiv::File::Path(resolved), mode,
                     {FileBytes{header, headerSize}, FileBytes{body, bodySize}});
}
