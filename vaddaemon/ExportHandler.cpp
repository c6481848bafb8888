#include "vaddaemon/ExportHandler.h"
#include "assetdb/protocol/VADRequestCodes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPNames.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/lzss/LZSSEncoder.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/FileBeneath.h"
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

// Reads the whole of the open file `fd` of `size` bytes; false when it
// holds another count.
bool ReadWholeFile(int fd, uint64_t size, std::vector<uint8_t>& out) {
  out.resize(size_t(size));
  size_t done = 0;
  for (;;) {
    // One byte more than expected, to see a file that grew.
    uint8_t extra = 0;
    uint8_t* to = done < out.size() ? out.data() + done : &extra;
    const size_t want = done < out.size() ? out.size() - done : 1;
    const ssize_t got = ::read(fd, to, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return done == out.size();
    if (done >= out.size()) return false;
    done += size_t(got);
  }
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

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// An entry of a folder as listed: its name and type (never a link followed).
struct Item {
  std::string name;
  unsigned char type;
};

class FolderPacker {
 public:
  FolderPacker(const Kiv::BeneathFolder& root, const fs::path& rootPath, std::string& error,
               std::vector<std::string>& leftOut)
      : root_(root), rootPath_(rootPath), error_(error), leftOut_(leftOut) {}

  // Fills `files` from the folder open as `folder` (taken over), `relative`
  // below the root and `depth` levels down; false with the error set on
  // failure. Each file is read from the descriptor it was judged on.
  bool Pack(int folder, const std::string& relative, Soup& files, uint32_t depth);

 private:
  bool List(int folder, const std::string& relative, std::vector<Item>& items);
  // Adds the file `name` of the folder open as `folder`; one that turned
  // out to be no plain file (changed since the listing) is left out with a
  // warning.
  bool AddFile(int folder, const std::string& relative, const std::string& name, Soup& files);
  // Why the archive cannot carry `item`, empty when it can.
  std::string Unwritable(const Item& item, const std::string& relative) const;
  std::string LinkReason(const std::string& relative) const;
  void LeaveOut(const std::string& relative, const std::string& why) {
    leftOut_.push_back("The file '" + relative + "' is left out of the archive: " + why + ".");
  }

  const Kiv::BeneathFolder& root_;
  fs::path rootPath_;
  std::string& error_;
  std::vector<std::string>& leftOut_;
  uint64_t total_ = 0;
};

std::string FolderPacker::LinkReason(const std::string& relative) const {
  const Kiv::BeneathFolder::Opened opened = root_.OpenFile(relative);
  if (opened.fd >= 0) ::close(opened.fd);
  return opened.outcome == Kiv::BeneathFolder::Outcome::kLeavesFolder
             ? "it is a link to a file outside the asset folder"
             : "it is a link, and an archive carries only plain files";
}

std::string FolderPacker::Unwritable(const Item& item, const std::string& relative) const {
  if (!CDP::IsValidFileName(item.name)) return "its name has characters an archive does not carry";
  if (item.type == DT_DIR) return std::string();
  if (item.type == DT_LNK) return LinkReason(relative);
  if (item.type == DT_UNKNOWN) return "it cannot be examined";
  if (item.type != DT_REG) return "it is not a plain file";
  if (!CDP::IsAllowedFileType(item.name)) return "an archive carries no file of its type";
  return std::string();
}

bool FolderPacker::List(int folder, const std::string& relative, std::vector<Item>& items) {
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(folder));
  if (!dir) {
    ::close(folder);
    error_ = "the folder '" + (rootPath_ / relative).string() + "' cannot be read";
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    unsigned char type = entry->d_type;
    struct stat info {};
    if (type == DT_UNKNOWN &&
        ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISDIR(info.st_mode)   ? DT_DIR
             : S_ISREG(info.st_mode) ? DT_REG
             : S_ISLNK(info.st_mode) ? DT_LNK
                                     : DT_FIFO;
    }
    items.push_back({name, type});
  }
  if (errno != 0) {
    error_ = "the folder '" + (rootPath_ / relative).string() + "' cannot be read";
    return false;
  }
  std::sort(items.begin(), items.end(),
            [](const Item& a, const Item& b) { return a.name < b.name; });
  return true;
}

bool FolderPacker::Pack(int folder, const std::string& relative, Soup& files, uint32_t depth) {
  files.Create();
  const int own = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  std::vector<Item> items;
  if (own < 0 || !List(folder, relative, items)) {
    if (own >= 0) ::close(own);
    if (error_.empty())
      error_ = "the folder '" + (rootPath_ / relative).string() + "' cannot be read";
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{own};
  for (const Item& item : items) {
    const std::string below = relative + item.name;
    const std::string why = Unwritable(item, below);
    if (!why.empty()) {
      LeaveOut(below, why);
      continue;
    }
    if (item.name.size() > BinarySoup::kMaxNameLength) {
      error_ = "the name of '" + below + "' is longer than " +
               std::to_string(BinarySoup::kMaxNameLength) + " characters";
      return false;
    }
    if (item.type == DT_DIR) {
      if (depth + 1 > kMaxFolderDepth) {
        error_ = "the folder '" + below + "' is nested too deeply (more than " +
                 std::to_string(kMaxFolderDepth) + " levels)";
        return false;
      }
      const int child =
          ::openat(own, item.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        error_ = "the folder '" + (rootPath_ / below).string() + "' cannot be read";
        return false;
      }
      Soup sub;
      if (!Pack(child, below + "/", sub, depth + 1)) return false;
      files.SetNamedSoup(Kiv::PString(item.name), sub);
      continue;
    }
    if (depth == 0 && IsConfigName(item.name)) continue;
    if (!AddFile(own, below, item.name, files)) return false;
  }
  return true;
}

bool FolderPacker::AddFile(int folder, const std::string& relative, const std::string& name,
                           Soup& files) {
  const std::string path = (rootPath_ / relative).string();
  const int fd =
      ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ELOOP) {
    // Turned into a link since the listing: left out as one.
    LeaveOut(relative, LinkReason(relative));
    return true;
  }
  if (fd < 0) {
    error_ = "the file '" + path + "' cannot be read";
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error_ = "the file '" + path + "' cannot be read";
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    LeaveOut(relative, "it is not a plain file");
    return true;
  }
  const uint64_t size = uint64_t(info.st_size);
  if (size > kMaxFileBytes || total_ + size > kMaxEntryBytes) {
    error_ = "the asset's files are too large to be sent as an archive entry";
    return false;
  }
  total_ += size;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fd, size, bytes)) {
    error_ = "the file '" + path + "' cannot be read";
    return false;
  }
  const std::vector<uint8_t> packed = PackBytes(bytes);
  if (packed.empty()) {
    error_ = "the file '" + path + "' cannot be compressed";
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
  Kiv::BeneathFolder root;
  const int top = root.Open(folder.string())
                      ? ::openat(root.Descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                      : -1;
  if (top < 0) {
    error = "the folder '" + folder.string() + "' cannot be read";
    return false;
  }
  FolderPacker packer(root, folder, error, leftOut != nullptr ? *leftOut : ignored);
  if (!packer.Pack(top, std::string(), files, 0)) return false;
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
