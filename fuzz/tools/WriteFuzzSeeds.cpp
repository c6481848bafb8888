// write_fuzz_seeds CORPUS-FOLDER: writes the binary seeds of the fuzz targets
// that need well-formed protocol data (daemon request streams, transfer
// archives, daemon replies, ".cdp" files) into CORPUS-FOLDER/<target>/,
// built with the system's own writers. Run it after a format changes and
// commit what it wrote; the fuzz targets never run it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/archive/TransferArchive.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADFilterElementAssetID.h"
#include "assetdb/protocol/VADFilterElementBool.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementRange.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "assetdb/protocol/VADFrames.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "fuzz/DaemonFuzzAssets.h"
#include "vaddaemon/AssetRecordWriter.h"
#include "vaddaemon/StoredAsset.h"

namespace {

namespace fs = std::filesystem;
namespace Code = VADRequestCode;
using namespace DaemonFuzzAssets;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTransferToken = 0x5A5A5546;

Bytes Build(const std::function<void(TStream&)>& write) {
  TBuffer buffer;
  write(buffer);
  const Kiv::DynamicBuffer* data = buffer.GetData();
  return Bytes(data->Data(), data->Data() + data->DataLength());
}

Bytes KUIDBody(const KUID& kuid) {
  return Build([&](TStream& s) { WriteKUID(s, kuid); });
}

// One connection's byte stream: the handshake, then frames.
class Session {
 public:
  Session() { VADFrames::EncodeHandshake(false, "/fuzz/UserData/assets.tdx", bytes_); }
  Session& Frame(uint32_t code, uint32_t id, const Bytes& body = {}) {
    Bytes frame;
    VADFrames::EncodeRequest(code, id, body.data(), uint32_t(body.size()), frame);
    bytes_.insert(bytes_.end(), frame.begin(), frame.end());
    return *this;
  }
  Session& Frame(uint32_t code, uint32_t id, const std::function<void(TStream&)>& write) {
    return Frame(code, id, Build(write));
  }
  const Bytes& Stream() const { return bytes_; }

 private:
  Bytes bytes_;
};

void WriteSeed(const fs::path& folder, const std::string& name, const Bytes& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes InstallBody(const char* path, uint8_t callback) {
  return Build([&](TStream& s) {
    s.WriteString(path);
    TStreamWriteU32(s, 0);
    TStreamWriteU8(s, callback);
  });
}

Bytes Filter(const VADFilterElement& element) {
  return Build([&](TStream& s) { WriteFilterElement(s, &element); });
}

Bytes MessageBatchAndResult(uint8_t result) {
  ResultsLog log;
  log.AddResult(ResultsLog::kWarning, AssetSubject(kScenery), "checked");
  return Build([&](TStream& s) {
    log.WriteMessages(s, 0);
    TStreamWriteU8(s, result);
  });
}

Soup Entry(const KUID& kuid, const char* name) {
  Soup entry;
  entry.Create();
  entry.SetNamedKUID(Kiv::PString("kuid"), kuid);
  entry.SetNamedTag(Kiv::PString("kind"), std::string_view("scenery"));
  entry.SetNamedTag(Kiv::PString("username"), std::string_view(name));
  Soup files;
  files.Create();
  entry.SetNamedSoup(Kiv::PString("files"), files);
  return entry;
}

void DaemonSeeds(const fs::path& folder) {
  WriteSeed(folder, "queries",
            Session()
                .Frame(Code::kGetAssetConfig, 1, KUIDBody(kScenery))
                .Frame(Code::kGetAssetInfo, 2,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         TStreamWriteU32(s, 8);
                       })
                .Frame(Code::kGetAssetFolder, 3,
                       [](TStream& s) {
                         WriteKUID(s, kConsist);
                         TStreamWriteU8(s, 0);
                       })
                .Frame(Code::kResolveKUID, 4, KUIDBody(kScenery))
                .Frame(Code::kNewestKUID, 5, KUIDBody(kObsolete))
                .Frame(Code::kGetDescription, 6, KUIDBody(kScenery))
                .Frame(Code::kGetThumbnail, 7,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         TStreamWriteU32(s, 0xF0);
                       })
                .Frame(Code::kGetDependencies, 8,
                       [](TStream& s) {
                         TStreamWriteU32(s, 2);
                         WriteKUID(s, kScenery);
                         WriteKUID(s, kConsist);
                       })
                .Frame(Code::kGetObsoletes, 9, KUIDBody(kConsist))
                .Stream());
  WriteSeed(folder, "values",
            Session()
                .Frame(Code::kSetFavourite, 0,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         TStreamWriteU8(s, 1);
                       })
                .Frame(Code::kSetKeywords, 0,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         s.WriteString("red;old");
                       })
                .Frame(Code::kGenerateKUID, 1)
                .Frame(Code::kLookupUserName, 2, [](TStream& s) { TStreamWriteU32(s, 500); })
                .Frame(Code::kSetLocalData, 0,
                       [](TStream& s) {
                         WriteKUID(s, kConsist);
                         s.WriteString("notes");
                         BinarySoup::Write(s, Entry(kConsist, "n"));
                       })
                .Frame(Code::kGetLocalData, 3,
                       [](TStream& s) {
                         WriteKUID(s, kConsist);
                         s.WriteString("notes");
                       })
                .Frame(Code::kTextureFlag, 4)
                .Frame(Code::kListBuilds, 5)
                .Frame(Code::kWriteSetting, 6,
                       [](TStream& s) {
                         s.WriteString("internet");
                         s.WriteString("language");
                         s.WriteString("de");
                       })
                .Frame(Code::kGetDescription, 7, KUIDBody(kScenery))
                .Frame(Code::kGetOnlineUsername, 8)
                .Frame(Code::kLoginRefused, 0)
                .Frame(Code::kGetCredential, 9)
                .Stream());
  VADFilterElementGroup all;
  all.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kAssetName,
                                                   Kiv::PString("fuzz")));
  all.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kCategoryList,
                                                   Kiv::PString("BIN|CN;-TR")));
  all.Add(
      std::make_unique<VADFilterElementInt>(VADFilterElementInt::kAuthor, 0, 1000, true, false));
  all.Add(std::make_unique<VADFilterElementTimestamp>(VADFilterElementTimestamp::kInstallation, 0,
                                                      INT64_MAX, true, true));
  VADFilterElementGroup either;
  MakeFilterGroup(either, std::make_unique<VADFilterElementBool>(VADFilterElementBool::kObsolete),
                  true);
  auto ids = std::make_unique<VADFilterElementAssetID>(VADFilterElementAssetID::kAssetId);
  ids->Insert(kConsist);
  ids->Insert(kObsolete);
  either.Add(std::move(ids));
  either.Add(std::make_unique<VADFilterElementBool>(VADFilterElementBool::kHasMissingDependencies));
  either.Add(std::make_unique<VADFilterElementString>(VADFilterElementString::kEraList,
                                                      Kiv::PString("1990s")));
  WriteSeed(folder, "search",
            Session()
                .Frame(Code::kSearchAssets, 1)
                .Frame(Code::kSearchAssets, 2, Filter(all))
                .Frame(Code::kSearchAssets, 3, Filter(either))
                .Stream());
  WriteSeed(folder, "install",
            Session()
                .Frame(Code::kInstallFolder, 1, InstallBody(kConsistFolder, 0))
                .Frame(Code::kInstallFolder, 2, InstallBody(kBrokenFolder, 0))
                .Frame(Code::kInstallArchive, 3, InstallBody(kArchive, 0))
                .Frame(Code::kInstallFolder, 4, InstallBody(kSceneryFolder, 1))
                .Frame(Code::kAnswerQuestion, 0,
                       [](TStream& s) {
                         TStreamWriteU32(s, 4);
                         TStreamWriteU32(s, 2);
                       })
                .Frame(Code::kGetAssetInfo, 5,
                       [](TStream& s) {
                         WriteKUID(s, kPacked);
                         TStreamWriteU32(s, 0);
                       })
                .Stream());
  WriteSeed(folder, "edit",
            Session()
                .Frame(Code::kOpenHandle, 1,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         TStreamWriteU8(s, 1);
                       })
                .Frame(Code::kOpenForEdit, 2, [](TStream& s) { TStreamWriteU64(s, 1); })
                .Frame(Code::kCommitAsset, 3,
                       [](TStream& s) {
                         TStreamWriteU64(s, 1);
                         TStreamWriteU32(s, 6);
                       })
                .Frame(Code::kReserveAsset, 4,
                       [](TStream& s) {
                         WriteKUID(s, kNullKUID);
                         TStreamWriteU8(s, 0);
                         s.WriteString("new");
                       })
                .Frame(Code::kRevertAsset, 5, [](TStream& s) { TStreamWriteU64(s, 2); })
                .Frame(Code::kOpenHandle, 6,
                       [](TStream& s) {
                         WriteKUID(s, kConsist);
                         TStreamWriteU8(s, 0);
                       })
                .Frame(Code::kReleaseHandle, 0, [](TStream& s) { TStreamWriteU64(s, 3); })
                .Frame(Code::kDeleteAsset, 7,
                       [](TStream& s) {
                         WriteKUID(s, kConsist);
                         TStreamWriteU8(s, 0);
                       })
                .Stream());
  WriteSeed(folder, "export",
            Session()
                .Frame(Code::kExportEntry, 1,
                       [](TStream& s) {
                         WriteKUID(s, kScenery);
                         TStreamWriteU32(s, 0);
                       })
                .Frame(Code::kExportEntry, 2,
                       [](TStream& s) {
                         WriteKUID(s, kPacked);
                         TStreamWriteU32(s, 0);
                       })
                .Stream());
  const auto validate = [](TStream& s) {
    s.WritePString(Kiv::PString("local"));
    s.WriteString("kuid 500 2");
  };
  WriteSeed(folder, "commandhost",
            Session()
                .Frame(Code::kValidate, 1, validate)
                .Frame(Code::kRegisterCommandHost, 0)
                .Frame(Code::kValidate, 2, validate)
                .Frame(Code::kCommandHostReply, 0, MessageBatchAndResult(1))
                .Frame(Code::kValidate, 3, validate)
                .Frame(Code::kCommandHostReply, 0, Bytes{1, 2, 3})
                .Stream());
  const auto webStart = [](const char* url, uint32_t mode) {
    return Build([=](TStream& s) {
      TStreamWriteU8(s, 0);
      s.WritePString(Kiv::PString(url));
      TStreamWriteU32(s, mode);
      TStreamWriteU32(s, 0xFFFFFFFFu);
      BinarySoup::Write(s, Soup());
    });
  };
  WriteSeed(folder, "web",
            Session()
                .Frame(Code::kStartWebRequest, 1, webStart(kQueryUrl, 2))
                .Frame(Code::kPollWebRequest, 2, [](TStream& s) { TStreamWriteU64(s, 1); })
                .Frame(Code::kStartWebRequest, 3, webStart(kDownloadUrl, 0))
                .Frame(Code::kInstallArchive, 4, InstallBody("../UserData/cache/web/2.cdp", 0))
                .Frame(Code::kForgetWebRequest, 0, [](TStream& s) { TStreamWriteU64(s, 1); })
                .Frame(Code::kNeededItems, 5,
                       [](TStream& s) {
                         TStreamWriteU32(s, 2);
                         for (const KUID& kuid : {kPacked, kScenery}) {
                           WriteKUID(s, kNullKUID);
                           WriteKUID(s, kuid);
                           TStreamWriteU32(s, 100);
                         }
                       })
                .Stream());
  WriteSeed(folder, "repair",
            Session()
                .Frame(Code::kStartRepair, 1, [](TStream& s) { TStreamWriteU32(s, 100); })
                .Frame(Code::kPollRepair, 2)
                .Frame(Code::kStartRepair, 3, [](TStream& s) { TStreamWriteU32(s, 20); })
                .Frame(Code::kRepairDatabase, 0)
                .Stream());
}

// A transfer archive of `entries`, version 1 or 0.
Bytes TransferArchive(const std::vector<Soup>& entries, uint32_t version) {
  return Build([&](TStream& s) {
    TStreamWriteU32(s, kTransferArchiveMagic);
    TStreamWriteU32(s, version);
    if (version == 1) TStreamWriteFloat(s, kTransferArchiveBuild);
    const uint32_t sizeAt = s.WriteMarker();
    TStreamWriteU32(s, kTransferToken);
    for (const Soup& entry : entries) {
      WriteKUID(s, CDP::GetEntryKUID(entry));
      const uint32_t next = s.WriteMarker();
      BinarySoup::Write(s, entry);
      s.PatchU32(next, s.Tell());
    }
    WriteKUID(s, kNullKUID);
    s.PatchU32(sizeAt, s.Tell());
  });
}

void TransferArchiveSeeds(const fs::path& folder) {
  WriteSeed(folder, "two-v1", TransferArchive({Entry(kScenery, "one"), Entry(kPacked, "two")}, 1));
  WriteSeed(folder, "one-v0", TransferArchive({Entry(kConsist, "three")}, 0));
  WriteSeed(folder, "empty-v1", TransferArchive({}, 1));
}

void ClientReplySeeds(const fs::path& folder) {
  StoredAsset asset;
  asset.kuid = kScenery;
  asset.name = "Fuzz scenery";
  asset.kind = "scenery";
  asset.category = "BIN;TR";
  asset.era = "1990s";
  asset.status[kStatusInstalledLocally] = 1;
  asset.build = 3.7f;
  WriteSeed(folder, "asset-record", Build([&](TStream& s) { WriteAssetRecord(s, &asset, true); }));
  WriteSeed(folder, "unknown-asset-record",
            Build([&](TStream& s) { WriteAssetRecord(s, nullptr, false); }));
  WriteSeed(folder, "kuid-list", Build([](TStream& s) {
              TStreamWriteU32(s, 3);
              for (const KUID& kuid : {kScenery, kConsist, kPacked}) WriteKUID(s, kuid);
            }));
  WriteSeed(folder, "user-name", Build([](TStream& s) {
              TStreamWriteU32(s, 12);
              s.WritePString(Kiv::PString("Fuzzer"));
            }));
  WriteSeed(folder, "web-status", Build([](TStream& s) {
              TStreamWriteU8(s, 1);
              TStreamWriteU32(s, 200);
              TStreamWriteU32(s, 0);
              TStreamWriteU32(s, 1234);
              s.WriteString("/fuzz/UserData/cache/web/1.txt");
              s.WritePString(Kiv::PString());
            }));
}

Bytes ArchiveFile(Soup& archive) {
  return Build([&](TStream& s) { CDP::WriteArchiveToStream(archive, s); });
}

void CDPFileSeeds(const fs::path& folder) {
  Soup archive;
  archive.Create();
  Kiv::PString message;
  for (Soup entry : {Entry(kScenery, "one"), Entry(kPacked, "two")})
    CDP::AddContent(archive, message, entry);
  WriteSeed(folder, "two-entries.cdp", ArchiveFile(archive));
  archive.SetNamedInt(CDP::Tag::PackageVersion(), 2);
  WriteSeed(folder, "newer-version.cdp", ArchiveFile(archive));
  archive.SetNamedInt(CDP::Tag::PackageVersion(), 1);
  archive.SetNamedTag(CDP::Tag::Kind(), std::string_view("ARCHIVE"));
  WriteSeed(folder, "kind-in-capitals.cdp", ArchiveFile(archive));
  archive.SetNamedTag(CDP::Tag::Kind(), std::string_view("scenery"));
  WriteSeed(folder, "not-an-archive.cdp", ArchiveFile(archive));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_fuzz_seeds CORPUS-FOLDER\n");
    return 2;
  }
  const fs::path corpus(argv[1]);
  DaemonSeeds(corpus / "fuzz_daemon_frames");
  TransferArchiveSeeds(corpus / "fuzz_transfer_archive");
  ClientReplySeeds(corpus / "fuzz_client_replies");
  CDPFileSeeds(corpus / "fuzz_cdp_file");
  return 0;
}
