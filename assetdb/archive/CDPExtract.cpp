#include "assetdb/archive/CDPExtract.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "assetdb/archive/CDPNames.h"
#include "foundation/layout/ContentPath.h"
#include "foundation/lzss/LZSSCompress.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/TDBDataChunk.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TFile.h"
#include "foundation/stream/TemporaryFile.h"
#include "kiv/DynamicBuffer.h"

namespace CDP {

namespace {

constexpr const char* kCannotWrite = "Unable to write content files to disk";
constexpr const char* kUnknownType =
    "Unknown data type encountered. Content package may be damaged";
constexpr const char* kBadLZSS = "Failed to decompress data. Content package may be damaged";
constexpr const char* kNoCodec =
    "Unknown compression type encountered. Content package may be damaged";
constexpr const char* kBadLocalReference = "Internal error while copying local file.";
constexpr const char* kCopyFailed = "Failed to copy local file.";
constexpr const char* kLocalRefused =
    "Local file references are only accepted from the local asset database";
constexpr const char* kUnknownCompression = "Unknown compression format.";
constexpr const char* kBadFileName = "its name is not a valid file name";
constexpr const char* kBadFolderName = "its name is not a valid folder name";
constexpr const char* kBadFileType = "an install writes no file of its type";

// Create (or empty) for reading and writing.
constexpr uint32_t kOpenWrite = 0x121;

// The byte offset in its file of data read in place from a binary soup
// file (the soup starts the file, after its header).
uint32_t FileOffsetOf(const ACSChunk* chunk) {
  const auto* value = dynamic_cast<const TDBDataChunk*>(chunk);
  if (value == nullptr) return ExtractFault::kNoOffset;
  return BinarySoup::kHeaderSize + value->Payload();
}

enum class Kind { kRaw, kLZSS, kFilePath, kUnknown };

Kind KindOf(const Kiv::PString& compression) {
  if (compression.Empty()) return Kind::kRaw;
  if (compression.View() == "LZSS") return Kind::kLZSS;
  if (compression.View() == "filepath") return Kind::kFilePath;
  return Kind::kUnknown;
}

// The real path of (root, path); false when it would leave the root or the
// root is unknown.
bool Resolve(const Kiv::PString& root, const Kiv::File::Path& path, Kiv::String* real) {
  if (root.Empty()) {
    *real = path.Str();
    return true;
  }
  return Kiv::File::ResolveRooted(root, path.Str(), real);
}

// A local file named by "filepath" data.
struct LocalReference {
  Kiv::PString root;
  Kiv::String path;
};

bool ReadLocalReference(const CoreRef& data, LocalReference& out) {
  Kiv::DynamicBuffer copy;
  if (data && copy.Write(data->Data(), data->Size()) != data->Size()) return false;
  copy.SetPosition(0);
  TBuffer buffer(&copy);
  buffer.ReadPString(out.root);
  buffer.ReadString(out.path);
  return buffer.GetError() == TStream::kErrorNone;
}

bool WriteAll(Kiv::File& file, const uint8_t* bytes, uint32_t size) {
  return size == 0 || file.Write(bytes, size) == size;
}

// Decodes framed LZSS data into the open file.
const char* WriteLZSS(Kiv::File& file, const ACSRawDataCore& data) {
  Kiv::Ref<Kiv::LZSSCompress> codec(new (std::nothrow) Kiv::LZSSCompress);
  if (!codec) return kNoCodec;
  uint32_t declared;
  std::memcpy(&declared, data.Data(), 4);  // Little-endian on every target we build for.
  const uint32_t coded = data.Size() - 4;
  if (uint64_t(declared) > uint64_t(coded) * kMaxLZSSExpansion) return kBadLZSS;
  std::unique_ptr<uint8_t[]> decoded(new (std::nothrow) uint8_t[declared == 0 ? 1 : declared]);
  if (!decoded) return kCannotWrite;
  const int64_t count = codec->DecompressBlock(decoded.get(), declared, data.Data() + 4, coded);
  if (count != int64_t(declared)) return kBadLZSS;
  return WriteAll(file, decoded.get(), declared) ? nullptr : kCannotWrite;
}

const char* CopyLocalFile(Kiv::File& target, const LocalReference& source) {
  Kiv::File input;
  if (!input.Open(source.root, source.path, Kiv::File::kRead)) return kCopyFailed;
  const int64_t size = input.Size();
  if (size < 0 || size > int64_t(UINT32_MAX)) return kCopyFailed;
  TFile from(&input, false);
  TFile to(&target, false);
  return CopyStreamBytes(from, to, uint32_t(size)) ? nullptr : kCopyFailed;
}

// Writes one file's content to a new temporary file beside `target`;
// answers the message (null on success) and, on success, the temporary
// file's path in `temporary`. On failure no temporary file is left.
const char* WriteToTemporary(const CoreRef& data, const Kiv::String& target,
                             const Kiv::PString& compression, LocalFiles localFiles,
                             Kiv::String& temporary) {
  const Kind kind = KindOf(compression);
  if (kind == Kind::kUnknown) return kUnknownCompression;
  LocalReference reference;
  if (kind == Kind::kFilePath) {
    if (localFiles != LocalFiles::kAllow) return kLocalRefused;
    if (!ReadLocalReference(data, reference)) return kBadLocalReference;
  }
  if (kind == Kind::kLZSS && (!data || data->Size() < 4)) return kBadLZSS;

  Kiv::File::Path folder(target);
  folder.DelName();
  if (folder.Empty()) folder = Kiv::File::Path(".");
  Kiv::File::Path path;
  if (!CreateTemporaryFilePath(folder, &path)) return kCannotWrite;
  Kiv::File file;
  const char* problem = nullptr;
  if (!file.Open(path.Str(), kOpenWrite)) {
    problem = kCannotWrite;
  } else if (kind == Kind::kLZSS) {
    problem = WriteLZSS(file, *data);
  } else if (kind == Kind::kFilePath) {
    problem = CopyLocalFile(file, reference);
  } else if (data && !WriteAll(file, data->Data(), data->Size())) {
    problem = kCannotWrite;
  }
  file.Close();
  if (problem != nullptr) {
    Kiv::File::Unlink(path.Str());
    return problem;
  }
  temporary = path.Str();
  return nullptr;
}

// One extraction: the files written so far wait under temporary names
// until the whole tree has been written.
class Extraction {
 public:
  Extraction(const Kiv::PString& root, const Kiv::PString& compression, LocalFiles localFiles,
             std::vector<LeftOutFile>* leftOut = nullptr)
      : root_(root), compression_(compression), localFiles_(localFiles), leftOut_(leftOut) {}
  ~Extraction() { Discard(); }
  Extraction(const Extraction&) = delete;
  Extraction& operator=(const Extraction&) = delete;

  // `relative` is the folder's path below the extracted folder ("" for
  // that folder itself), as the files left out are named.
  void Folder(const Soup& folder, const Kiv::File::Path& path, const std::string& relative,
              uint32_t depth);
  void WriteFile(const CoreRef& data, const Kiv::File::Path& path, const ACSChunk* chunk = nullptr);
  const ExtractFault& Fault() const { return fault_; }
  // Renames every waiting file over its target, or removes them all when a
  // message was set; answers the message.
  Kiv::PString Finish();

 private:
  struct Staged {
    Kiv::String temporary;
    Kiv::String target;
  };

  void Fail(const char* text) { message_ = Kiv::PString(text); }
  void Fail(const char* text, const Kiv::File::Path& path, const ACSChunk* chunk) {
    Fail(text);
    fault_.file = path.Str();
    fault_.byteOffset = chunk == nullptr ? ExtractFault::kNoOffset : FileOffsetOf(chunk);
  }
  void Child(const Kiv::PString& name, const ChunkRef& child, const Kiv::File::Path& path,
             const std::string& relative, uint32_t depth);
  void LeaveOut(const std::string& file, const char* why, bool folder) {
    if (leftOut_ != nullptr) leftOut_->push_back(LeftOutFile{file, why, folder});
  }
  void Discard();

  Kiv::PString root_;
  Kiv::PString compression_;
  LocalFiles localFiles_;
  Kiv::PString message_;
  ExtractFault fault_;
  std::vector<LeftOutFile>* leftOut_;
  std::vector<Staged> staged_;
};

void Extraction::Folder(const Soup& folder, const Kiv::File::Path& path,
                        const std::string& relative, uint32_t depth) {
  Kiv::String real;
  if (!Resolve(root_, path, &real)) return Fail(kCannotWrite, path, nullptr);
  Kiv::File::Md(real);
  if (folder.IsNull()) return;
  const ACSChunk* chunk = folder.GetChunk();
  Kiv::PString name;
  ChunkRef child;
  for (uint32_t i = 0; chunk->GetChildAt(i, name, child); ++i) {
    Child(name, child, path, relative, depth);
  }
}

void Extraction::Child(const Kiv::PString& name, const ChunkRef& child, const Kiv::File::Path& path,
                       const std::string& relative, uint32_t depth) {
  const uint32_t type = IsNullChunk(child.get()) ? SoupType::kNull : child->GetType();
  const std::string file = relative.empty() ? name.Str() : relative + "/" + name.Str();
  const bool folder = type == SoupType::kContainer;
  const char* badName = folder ? kBadFolderName : kBadFileName;
  if (!IsValidFileName(name.View())) return LeaveOut(file, badName, folder);
  Kiv::File::Path childPath = path;
  childPath.AddPath(name.View());
  if (type == SoupType::kContainer) {
    if (!IsValidRelativePath(childPath.Str())) return LeaveOut(file, badName, true);
    if (depth >= BinarySoup::kMaxDepth) return Fail(kUnknownType, childPath, nullptr);
    return Folder(Soup(child), childPath, file, depth + 1);
  }
  if (type != SoupType::kRaw) return Fail(kUnknownType, childPath, child.get());
  if (!IsAllowedFileType(childPath.Str())) return LeaveOut(file, kBadFileType, false);
  WriteFile(ACSChunk::GetRawData(child.get()), childPath, child.get());
}

void Extraction::WriteFile(const CoreRef& data, const Kiv::File::Path& path,
                           const ACSChunk* chunk) {
  Kiv::String target;
  if (!Resolve(root_, path, &target)) return Fail(kCannotWrite, path, nullptr);
  Kiv::String temporary;
  const char* problem = WriteToTemporary(data, target, compression_, localFiles_, temporary);
  if (problem != nullptr) return Fail(problem, path, chunk);
  staged_.push_back(Staged{std::move(temporary), std::move(target)});
}

Kiv::PString Extraction::Finish() {
  if (!message_.Empty()) {
    Discard();
    return message_;
  }
  for (Staged& file : staged_) {
    if (!file.temporary.empty() && !Kiv::File::Rename(file.temporary, file.target)) {
      Fail(kCannotWrite);
      Discard();
      return message_;
    }
    file.temporary.clear();
  }
  staged_.clear();
  return message_;
}

void Extraction::Discard() {
  for (const Staged& file : staged_) {
    if (!file.temporary.empty()) Kiv::File::Unlink(file.temporary);
  }
  staged_.clear();
}

}  // namespace

std::string LeftOutText(const LeftOutFile& leftOut) {
  return std::string(leftOut.folder ? "The folder '" : "The file '") + leftOut.file +
         "' is left out of the install: " + leftOut.why + ".";
}

void ExtractFiles(Kiv::PString& message, const Soup& folder, const Kiv::PString& root,
                  const Kiv::File::Path& path, const Kiv::PString& compression,
                  LocalFiles localFiles, ExtractFault* fault, std::vector<LeftOutFile>* leftOut) {
  try {
    Extraction extraction(root, compression, localFiles, leftOut);
    extraction.Folder(folder, path, std::string(), 0);
    message = extraction.Finish();
    if (fault != nullptr) *fault = extraction.Fault();
  } catch (const std::bad_alloc&) {
    message = Kiv::PString(kCannotWrite);
  }
}

void WriteContentFile(Kiv::PString& message, const CoreRef& data, const Kiv::PString& root,
                      const Kiv::File::Path& path, const Kiv::PString& compression,
                      LocalFiles localFiles) {
  try {
    Extraction extraction(root, compression, localFiles);
    extraction.WriteFile(data, path);
    message = extraction.Finish();
  } catch (const std::bad_alloc&) {
    message = Kiv::PString(kCannotWrite);
  }
}

}  // namespace CDP
