#include "vaddaemon/ExportHandler.h"
#include "assetdb/protocol/VADRequestCodes.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPNames.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/AssetFolderEntries.h"
#include "foundation/lzss/LZSSEncoder.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "vaddaemon/AssetConfigReader.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/DaemonRequest.h"
#include "vaddaemon/FolderTree.h"
#include "vaddaemon/RequestRegistry.h"

namespace ExportHandler {

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kLZSSLevel = 5;

bool IsConfigName(const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower == "config.txt" || lower == "config.chump";
}

bool ReadWholeFile(const fs::path& path, uint64_t size, std::vector<uint8_t>& out) {
  std::ifstream input(path, std::ios::binary);
  if (!input) return false;
  out.resize(size_t(size));
  if (size != 0) input.read(reinterpret_cast<char*>(out.data()), std::streamsize(size));
  return input.gcount() == std::streamsize(size) && input.peek() == std::char_traits<char>::eof();
}

// The framed LZSS form: u32 count of decoded bytes, then the coded stream.
std::vector<uint8_t> PackBytes(const std::vector<uint8_t>& bytes) {
  const std::vector<uint8_t> coded = LZSSEncodeToVector(bytes.data(), bytes.size(), kLZSSLevel);
  if (coded.empty()) return coded;
  std::vector<uint8_t> out(4 + coded.size());
  const uint32_t size = uint32_t(bytes.size());
  for (int i = 0; i < 4; ++i) out[size_t(i)] = uint8_t(size >> (8 * i));
  std::memcpy(out.data() + 4, coded.data(), coded.size());
  return out;
}

class FolderPacker {
 public:
  FolderPacker(const fs::path& root, std::string& error, std::vector<std::string>& leftOut)
      : root_(root), error_(error), leftOut_(leftOut) {}

  // Fills `files` from `folder`, `depth` levels below the root; false with
  // the error set on failure.
  bool Pack(const fs::path& folder, Soup& files, uint32_t depth);

 private:
  bool AddFile(const fs::path& path, const std::string& name, Soup& files);
  // Why the archive cannot carry `item`, empty when it can.
  std::string Unwritable(const fs::directory_entry& item) const;
  void LeaveOut(const fs::path& path, const std::string& why) {
    leftOut_.push_back("The file '" + Relative(path) + "' is left out of the archive: " + why +
                       ".");
  }
  std::string Relative(const fs::path& path) const {
    return path.lexically_relative(root_).string();
  }

  fs::path root_;
  std::string& error_;
  std::vector<std::string>& leftOut_;
  uint64_t total_ = 0;
};

std::string FolderPacker::Unwritable(const fs::directory_entry& item) const {
  const std::string name = item.path().filename().string();
  if (!CDP::IsValidFileName(name)) return "its name has characters an archive does not carry";
  std::error_code failure;
  const fs::file_status status = item.symlink_status(failure);
  if (failure) return "it cannot be examined";
  if (fs::is_directory(status)) return std::string();
  if (fs::is_symlink(status)) {
    return LeadsOutOfFolder(root_.string(), item.path().string())
               ? "it is a link to a file outside the asset folder"
               : "it is a link, and an archive carries only plain files";
  }
  if (!fs::is_regular_file(status)) return "it is not a plain file";
  if (!CDP::IsAllowedFileType(name)) return "an archive carries no file of its type";
  return std::string();
}

bool FolderPacker::Pack(const fs::path& folder, Soup& files, uint32_t depth) {
  files.Create();
  std::error_code failure;
  std::vector<fs::directory_entry> items;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
       it.increment(failure)) {
    items.push_back(*it);
  }
  if (failure) {
    error_ = "the folder '" + folder.string() + "' cannot be read";
    return false;
  }
  std::sort(items.begin(), items.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) {
              return a.path() < b.path();
            });
  for (const fs::directory_entry& item : items) {
    const std::string name = item.path().filename().string();
    const std::string why = Unwritable(item);
    if (!why.empty()) {
      LeaveOut(item.path(), why);
      continue;
    }
    const bool isFolder = fs::is_directory(item.symlink_status(failure));
    if (name.size() > BinarySoup::kMaxNameLength) {
      error_ = "the name of '" + Relative(item.path()) + "' is longer than " +
               std::to_string(BinarySoup::kMaxNameLength) + " characters";
      return false;
    }
    if (isFolder) {
      if (depth + 1 > kMaxFolderDepth) {
        error_ = "the folder '" + Relative(item.path()) + "' is nested too deeply (more than " +
                 std::to_string(kMaxFolderDepth) + " levels)";
        return false;
      }
      Soup child;
      if (!Pack(item.path(), child, depth + 1)) return false;
      files.SetNamedSoup(Kiv::PString(name), child);
      continue;
    }
    if (depth == 0 && IsConfigName(name)) continue;
    if (!AddFile(item.path(), name, files)) return false;
  }
  return true;
}

bool FolderPacker::AddFile(const fs::path& path, const std::string& name, Soup& files) {
  std::error_code failure;
  const uintmax_t size = fs::file_size(path, failure);
  if (failure) {
    error_ = "the file '" + path.string() + "' cannot be read";
    return false;
  }
  if (size > kMaxFileBytes || total_ + size > kMaxEntryBytes) {
    error_ = "the asset's files are too large to be sent as an archive entry";
    return false;
  }
  total_ += size;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, size, bytes)) {
    error_ = "the file '" + path.string() + "' cannot be read";
    return false;
  }
  const std::vector<uint8_t> packed = PackBytes(bytes);
  if (packed.empty()) {
    error_ = "the file '" + path.string() + "' cannot be compressed";
    return false;
  }
  CoreRef core = ACSRawDataCore::CreateCopy(packed.data(), uint32_t(packed.size()));
  ACSChunk* chunk = files.GetChunk();
  chunk->SetChild(Kiv::PString(name), chunk->CreateChunk(SoupType::kRaw, std::move(core)));
  return true;
}

void HandleExportEntry(DaemonRequest& request) {
  const KUID kuid = ReadKUID(request.Body());
  uint32_t mask = 0;
  TStreamReadU32(request.Body(), mask, 0);
  if (request.Body().GetError() != TStream::kErrorNone) {
    request.SendMessage(ResultsLog::kError, "The archive entry request is damaged.");
    return;
  }
  auto store = request.Context().Find<AssetStore>();
  if (!store) {
    request.SendMessage(ResultsLog::kError, "The asset database is not open.");
    return;
  }
  Soup entry;
  std::string error;
  std::vector<std::string> leftOut;
  try {
    if (!BuildArchiveEntry(*store, kuid, entry, error, &leftOut)) {
      request.SendMessage(
          ResultsLog::kError,
          "Unable to make an archive entry for " + KUIDToTagString(kuid).Str() + ": " + error + ".",
          &kuid);
      return;
    }
  } catch (const std::bad_alloc&) {
    request.SendMessage(
        ResultsLog::kError,
        "Unable to make an archive entry for " + KUIDToTagString(kuid).Str() + ": out of memory.",
        &kuid);
    return;
  }
  for (const std::string& text : leftOut) request.SendMessage(ResultsLog::kWarning, text, &kuid);
  if (!BinarySoup::Write(request.Reply(), entry)) {
    request.Reply().Reset();
    request.SendMessage(ResultsLog::kError,
                        "Unable to make an archive entry for " + KUIDToTagString(kuid).Str() +
                            ": it cannot be written.",
                        &kuid);
  }
}

void Register(RequestRegistry& registry, DaemonContext& /*context*/) {
  registry.Register(VADRequestCode::kExportEntry, &HandleExportEntry);
}

}  // namespace

bool BuildArchiveEntry(AssetStore& store, const KUID& kuid, Soup& entry, std::string& error,
                       std::vector<std::string>* leftOut) {
  const AssetStore::ReadHold hold = store.HoldForReading(kuid);
  StoredAsset asset;
  if (!store.Find(kuid, &asset) || !asset.Installed()) {
    error = "it is not installed locally";
    return false;
  }
  Soup config;
  if (!store.LoadConfig(kuid, &config)) {
    error = "its configuration cannot be read";
    return false;
  }
  error = ConfigStorageProblem(config);
  if (!error.empty()) return false;
  Soup::Copy(entry, config);
  entry.RemoveNamedTag(CDP::Tag::Files());
  entry.RemoveNamedTag(CDP::Tag::Compression());
  entry.RemoveNamedTag(CDP::Tag::DSID());
  if (CDP::GetEntryKUID(entry).IsNull()) entry.SetNamedKUID(CDP::Tag::KUID(), asset.kuid);
  Soup files;
  const fs::path folder(store.InstalledPath(asset));
  std::vector<std::string> ignored;
  FolderPacker packer(folder, error, leftOut != nullptr ? *leftOut : ignored);
  if (!packer.Pack(folder, files, 0)) return false;
  entry.SetNamedSoup(CDP::Tag::Files(), files);
  entry.SetNamedTag(CDP::Tag::Compression(), std::string_view("LZSS"));
  return true;
}

}  // namespace ExportHandler

VAD_DAEMON_MODULE(DaemonModule{.name = "export",
                               .order = DaemonModule::kOrderInstall,
                               .start = nullptr,
                               .registerHandlers = &ExportHandler::Register,
                               .stop = nullptr});
