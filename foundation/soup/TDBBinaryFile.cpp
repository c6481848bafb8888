#include "foundation/soup/TDBBinaryFile.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "foundation/soup/TDBBinarySoup.h"
#include "foundation/stream/TStream.h"

namespace {

constexpr std::align_val_t kBlockAlignment{16};

uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

void TDBBinaryFile::AlignedFree::operator()(uint8_t* p) const {
  ::operator delete(p, kBlockAlignment);
}

MPRef<TDBBinaryFile> TDBBinaryFile::Create() {
  return MPRef<TDBBinaryFile>::Adopt(new TDBBinaryFile);
}

TDBBinaryFile::~TDBBinaryFile() = default;

bool TDBBinaryFile::Fail(BinarySoupError error, uint32_t at, const std::string& what) {
  block_.reset();
  blockSize_ = 0;
  error_ = error;
  faultOffset_ = at;
  faultDetail_ = what;
  LogMessage("BinarySoup::Read> refused: %s: %s (at byte %u of the stream)",
             BinarySoupErrorText(error), what.c_str(), at);
  return false;
}

bool TDBBinaryFile::Read(TStream& stream) {
  // Views read the block in place: it cannot be replaced under them.
  if (block_ && RefCount() > 1) {
    error_ = BinarySoupError::kInUse;
    faultOffset_ = stream.Tell();
    faultDetail_ = "its views are alive";
    LogMessage("BinarySoup::Read> refused: %s", BinarySoupErrorText(error_));
    return false;
  }
  block_.reset();
  blockSize_ = 0;
  version_ = 0;
  error_ = BinarySoupError::kNone;
  faultOffset_ = 0;
  faultDetail_.clear();
  added_.clear();
  removed_.clear();
  hasEdits_ = false;
  ++generation_;

  const uint32_t start = stream.Tell();
  uint8_t header[BinarySoup::kHeaderSize];
  const uint32_t got = TStreamReadBytes(stream, header, sizeof header);
  if (got >= 4 && std::memcmp(header, "ACS$", 4) != 0)
    return Fail(BinarySoupError::kBadMagic, start, "the first bytes are not a binary soup's");
  if (got < sizeof header)
    return Fail(BinarySoupError::kShortHeader, start,
                "only " + std::to_string(got) + " of the 16 header bytes are there");
  version_ = LoadU32(header + 4);
  if (version_ > BinarySoup::kVersion)
    return Fail(BinarySoupError::kBadVersion, start + 4,
                "version " + std::to_string(version_) + " (0 and 1 are known)");
  const int32_t size = static_cast<int32_t>(LoadU32(header + 12));
  if (size == 0) return true;
  if (size < 0)
    return Fail(BinarySoupError::kBadBlockSize, start + 12,
                "the block size " + std::to_string(size) + " is negative");
  const uint32_t here = stream.Tell();
  const uint32_t total = stream.GetSize();
  const uint32_t left = total > here ? total - here : 0;
  if (static_cast<uint32_t>(size) > left)
    return Fail(BinarySoupError::kBadBlockSize, start + 12,
                "the block of " + std::to_string(size) +
                    " bytes runs past the end of the stream (" + std::to_string(left) +
                    " bytes follow the header)");

  block_.reset(static_cast<uint8_t*>(::operator new(size_t(size), kBlockAlignment, std::nothrow)));
  if (!block_)
    return Fail(BinarySoupError::kNoMemory, here,
                "a block of " + std::to_string(size) + " bytes could not be allocated");
  const uint32_t read = stream.Read(block_.get(), static_cast<uint32_t>(size));
  if (read != static_cast<uint32_t>(size))
    return Fail(
        BinarySoupError::kShortBlock, here + read,
        "the stream gave " + std::to_string(read) + " of " + std::to_string(size) + " block bytes");
  const char* problem = "";
  uint32_t offset = 0;
  if (!BinarySoup::ValidateRecords(block_.get(), static_cast<uint32_t>(size), &problem, &offset))
    return Fail(BinarySoupError::kDamagedBlock, here + offset, problem);
  blockSize_ = size;
  return true;
}

ChunkRef TDBBinaryFile::GetRoot() {
  if (!block_ || version_ > BinarySoup::kVersion) return NullTag();
  return TDBBinarySoup::Create(MPRef<TDBBinaryFile>::Share(this), 0,
                               static_cast<uint32_t>(blockSize_), kNoRecord,
                               TDBBinarySoup::kNoList);
}

bool TDBBinaryFile::IsRemoved(uint32_t payload, uint32_t list) const {
  return removed_.count(RemovedKey{payload, list}) != 0;
}

bool TDBBinaryFile::MarkRemoved(uint32_t payload, uint32_t list) {
  if (!removed_.insert(RemovedKey{payload, list}).second) return false;
  Changed();
  return true;
}

const std::vector<TDBBinaryFile::Added>* TDBBinaryFile::AddedTo(uint32_t list) const {
  const auto it = added_.find(list);
  return it != added_.end() ? &it->second : nullptr;
}

void TDBBinaryFile::Add(uint32_t list, Added child) {
  added_[list].push_back(std::move(child));
  Changed();
}

void TDBBinaryFile::RemoveAdded(uint32_t list, size_t index) {
  const auto it = added_.find(list);
  if (it == added_.end() || index >= it->second.size()) return;
  it->second.erase(it->second.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void TDBBinaryFile::Changed() {
  hasEdits_ = true;
  ++generation_;
}
