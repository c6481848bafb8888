#include "foundation/layout/TextureSourcesRecord.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "foundation/text/Crc32.h"
#include "kiv/File.h"
#include "kiv/String.h"

namespace {

constexpr char kFirstLine[] = "texture sources 1\n";
constexpr char kKIRF[4] = {'K', 'I', 'R', 'F'};
constexpr uint32_t kTextureType = 0x46544D4D;  // "MMTF"
// The words after "KIRF": size, type, version, target, width, height,
// images, flags and five sampling settings.
constexpr size_t kHeaderWords = 13;
// No texture has more images (a cube's six) or levels than these; a walk
// never reads more level headers.
constexpr uint32_t kMostImages = 6;
constexpr uint32_t kMostLevels = 32;
constexpr size_t kChunkBytes = 1u << 20;

// A regular file opened for reading (Kiv::File: confined where the
// process confines reads, and a pipe or device in its place is refused,
// not waited on).
class ReadFile {
 public:
  explicit ReadFile(const std::string& path) {
    if (!file_.Open(Kiv::String(path), Kiv::File::kRead | Kiv::File::kRegularOnly)) return;
    size_ = file_.SizeAtOpen();
  }

  bool Open() const { return size_ >= 0; }
  uint64_t Size() const { return uint64_t(size_); }

  bool ReadAt(uint64_t at, void* out, size_t n) {
    if (n > UINT32_MAX || file_.Seek(int64_t(at), 0) != int64_t(at)) return false;
    return file_.Read(out, uint32_t(n)) == n;
  }

  // The CRC-32 and length of the file's bytes; false when fewer bytes than
  // its size could be read.
  bool Checksum(uint32_t* crc, uint64_t* length) {
    if (file_.Seek(0, 0) != 0) return false;
    std::vector<unsigned char> chunk(kChunkBytes);
    // The same checksum as Crc32Buffer, taken a chunk at a time.
    uLong sum = crc32_z(0, nullptr, 0);
    uint64_t total = 0;
    for (;;) {
      const uint32_t got = file_.Read(chunk.data(), uint32_t(chunk.size()));
      if (got == 0) break;
      sum = crc32_z(sum, chunk.data(), got);
      total += got;
    }
    *crc = uint32_t(sum);
    *length = total;
    return total == Size();
  }

 private:
  Kiv::File file_;
  int64_t size_ = -1;
};

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return std::string_view();
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The last "Primary" and "Alpha" values of a source's text.
void PictureNames(std::string_view text, std::string* primary, std::string* alpha) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (Kiv::EqualsIgnoreCase(key, "Primary")) *primary = std::string(value);
    if (Kiv::EqualsIgnoreCase(key, "Alpha")) *alpha = std::string(value);
  }
}

std::string Line(const char* role, uint32_t crc, uint64_t length) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %08x %llu", role, crc,
                static_cast<unsigned long long>(length));
  return text;
}

// Adds the line of the picture `name` (relative to `folder`).
TextureSourcesState DescribePicture(const std::string& folder, const std::string& name,
                                    const char* role, std::string* record) {
  Kiv::File::Path relative(name);
  relative.ReplaceForwardSlashes();
  if (!relative.StaysInside()) return TextureSourcesState::kPictureMissing;
  Kiv::File::Path full(folder);
  full.AddPath(relative.Str());
  const std::string found = Kiv::File::Find::ResolveCase(full.Str());
  if (found.empty()) return TextureSourcesState::kPictureMissing;
  ReadFile picture(found);
  uint32_t crc = 0;
  uint64_t length = 0;
  if (!picture.Open() || !picture.Checksum(&crc, &length)) return TextureSourcesState::kUnreadable;
  const std::string prefix = folder + "/";
  const std::string shown =
      found.compare(0, prefix.size(), prefix) == 0 ? found.substr(prefix.size()) : found;
  *record += Line(role, crc, length) + " " + shown + "\n";
  return TextureSourcesState::kDescribed;
}

bool ReadU32(const TextureReadAt& readAt, uint64_t at, uint32_t* value) {
  uint8_t bytes[4];
  if (!readAt(at, bytes, 4)) return false;
  *value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
  return true;
}

}  // namespace

TextureSourcesState DescribeTextureSources(const std::string& sourcePath, std::string* record) {
  record->clear();
  ReadFile source(sourcePath);
  if (!source.Open() || source.Size() > kMaxTextureSourceBytes)
    return TextureSourcesState::kUnreadable;
  std::string text(size_t(source.Size()), '\0');
  if (!source.ReadAt(0, text.data(), text.size())) return TextureSourcesState::kUnreadable;
  std::string primary;
  std::string alpha;
  PictureNames(text, &primary, &alpha);
  if (primary.empty()) return TextureSourcesState::kUnreadable;
  const size_t slash = sourcePath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : sourcePath.substr(0, slash);
  std::string described = kFirstLine;
  described += Line("source", Crc32Buffer(text.data(), text.size()), text.size()) + "\n";
  TextureSourcesState state = DescribePicture(folder, primary, "primary", &described);
  if (state == TextureSourcesState::kDescribed && !alpha.empty())
    state = DescribePicture(folder, alpha, "alpha", &described);
  if (state == TextureSourcesState::kDescribed) *record = std::move(described);
  return state;
}

bool CompiledTextureRecordOffset(const TextureReadAt& readAt, uint64_t size, uint64_t* offset) {
  char tag[4];
  uint32_t header[kHeaderWords];
  if (size < 4 + 4 * kHeaderWords || !readAt(0, tag, 4) || std::memcmp(tag, kKIRF, 4) != 0)
    return false;
  for (size_t i = 0; i < kHeaderWords; ++i) {
    if (!ReadU32(readAt, 4 + 4 * i, &header[i])) return false;
  }
  const uint32_t images = header[6];
  if (header[0] != size - 8 || header[1] != kTextureType || images == 0 || images > kMostImages)
    return false;
  uint64_t at = 4 + 4 * kHeaderWords;
  for (uint32_t image = 0; image < images; ++image) {
    uint32_t levels = 0;
    if (size - at < 4 || !ReadU32(readAt, at, &levels) || levels == 0 || levels > kMostLevels)
      return false;
    at += 4;
    for (uint32_t level = 0; level < levels; ++level) {
      uint32_t bytes = 0;
      // A level: width, height, format, byte count, then its bytes.
      if (size - at < 16 || !ReadU32(readAt, at + 12, &bytes)) return false;
      at += 16;
      if (bytes > size - at) return false;
      at += bytes;
    }
  }
  *offset = at;
  return true;
}

bool ReadCompiledTextureRecord(const std::string& compiledPath, std::string* record) {
  record->clear();
  ReadFile compiled(compiledPath);
  if (!compiled.Open()) return false;
  const auto readAt = [&compiled](uint64_t at, void* out, size_t n) {
    return compiled.ReadAt(at, out, n);
  };
  uint64_t offset = 0;
  if (!CompiledTextureRecordOffset(readAt, compiled.Size(), &offset)) return false;
  const uint64_t length = compiled.Size() - offset;
  const size_t first = sizeof kFirstLine - 1;
  if (length < first || length > kMaxTextureRecordBytes) return false;
  std::string bytes(size_t(length), '\0');
  if (!compiled.ReadAt(offset, bytes.data(), bytes.size())) return false;
  if (bytes.compare(0, first, kFirstLine) != 0) return false;
  *record = std::move(bytes);
  return true;
}
