// Helpers for the install, export, command-host and web tests of the
// daemon: asset folders and archives built with the client's own soup and
// archive code, request bodies, and readers for message batches and entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "assetdb/archive/CDPArchive.h"
#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/archive/CDPExtract.h"
#include "assetdb/protocol/ResultsLog.h"
#include "assetdb/protocol/VADNotification.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/lzss/LZSSEncoder.h"
#include "foundation/soup/ACSChunk.h"
#include "foundation/soup/ACSRawDataCore.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/text/KUID.h"
#include "kiv/DynamicBuffer.h"
#include "tests/support/WireBody.h"
#include "tests/vaddaemon/RawClient.h"

namespace installtest {

namespace fs = std::filesystem;

// The request codes, from the one table client and daemon share, and the
// notification codes.
using namespace VADRequestCode;
constexpr uint32_t kNoteJob = VADNotification::kCodeCommandHostJob;
constexpr uint32_t kNoteResults = VADNotification::kCodeResults;

// Files of an asset folder: relative path -> bytes.
using FileMap = std::map<std::string, std::string>;

inline Kiv::PString N(std::string_view name) {
  return Kiv::PString(name);
}

inline void PutFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string GetFile(const fs::path& path) {
  std::ifstream input(path, std::ios::binary);
  if (!input) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>());
}

// Every regular file below `folder`, relative to it, with its bytes.
inline FileMap FilesBelow(const fs::path& folder) {
  FileMap out;
  std::error_code ignored;
  for (const auto& item : fs::recursive_directory_iterator(folder, ignored)) {
    if (item.is_regular_file())
      out[fs::relative(item.path(), folder).string()] = GetFile(item.path());
  }
  return out;
}

// A body built field by field: Body().K(kuid).U8(1).Str("x").
using Body = VUTest::WireBody;

// The configuration of a test asset.
inline Soup MakeConfig(const KUID& kuid, std::string_view name) {
  Soup config;
  config.SetNamedKUID(N("kuid"), kuid);
  config.SetNamedTag(N("kind"), std::string_view("scenery"));
  config.SetNamedTag(N("username"), name);
  return config;
}

// An asset folder with a text configuration and `files`.
inline void MakeAssetFolder(const fs::path& folder, const KUID& kuid, std::string_view name,
                            const FileMap& files) {
  fs::create_directories(folder);
  ASSERT_TRUE(
      Soup::SaveToFile(Kiv::PString(), (folder / "config.txt").string(), MakeConfig(kuid, name)));
  for (const auto& [path, bytes] : files) PutFile(folder / path, bytes);
}

inline std::string PackLZSS(const std::string& bytes) {
  const std::vector<uint8_t> coded = LZSSEncodeToVector(bytes.data(), bytes.size(), 5);
  const uint32_t size = uint32_t(bytes.size());
  std::string out(reinterpret_cast<const char*>(&size), 4);
  out.append(reinterpret_cast<const char*>(coded.data()), coded.size());
  return out;
}

// Adds a byte tag to `folder`.
inline void AddByteTag(Soup& folder, std::string_view name, const std::string& bytes) {
  folder.Create();
  CoreRef core = ACSRawDataCore::CreateCopy(bytes.data(), uint32_t(bytes.size()));
  ACSChunk* chunk = folder.GetChunk();
  chunk->SetChild(N(name), chunk->CreateChunk(SoupType::kRaw, std::move(core)));
}

// An archive entry: the configuration, "files" from `files` (paths with
// "/" become sub-folders) and "compression" (raw or "LZSS").
inline Soup MakeEntry(const KUID& kuid, std::string_view name, const FileMap& files, bool lzss,
                      std::string_view compressionText = {}) {
  Soup entry = MakeConfig(kuid, name);
  Soup root;
  root.Create();
  for (const auto& [path, bytes] : files) {
    Soup folder = root;
    fs::path parts(path);
    std::vector<std::string> names;
    for (const auto& part : parts) names.push_back(part.string());
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      Soup sub = folder.GetNamedSoup(N(names[i]));
      if (sub.IsNull()) {
        sub.Create();
        folder.SetNamedSoup(N(names[i]), sub);
      }
      folder = sub;
    }
    AddByteTag(folder, names.back(), lzss ? PackLZSS(bytes) : bytes);
  }
  entry.SetNamedSoup(N("files"), root);
  if (!compressionText.empty()) {
    entry.SetNamedTag(N("compression"), compressionText);
  } else if (lzss) {
    entry.SetNamedTag(N("compression"), std::string_view("LZSS"));
  }
  return entry;
}

// Builds and saves an archive with the client's builder.
inline void WriteArchive(const fs::path& path, std::vector<Soup> entries) {
  Soup archive;
  archive.Create();
  for (Soup& entry : entries) {
    Kiv::PString message;
    CDP::AddContent(archive, message, entry);
    ASSERT_TRUE(message.Empty()) << message.Str();
  }
  Kiv::PString message;
  CDP::WriteArchive(archive, message, path.string());
  ASSERT_TRUE(message.Empty()) << message.Str();
}

// The messages of the code-3 notes for `id`, in order.
inline std::vector<ResultMessage> MessagesFor(const std::vector<RawClient::Frame>& notes,
                                              uint32_t id) {
  ResultsLog log;
  for (const RawClient::Frame& note : notes) {
    if (note.word != kNoteResults || note.body.size() < 4) continue;
    BodyReader reader(note.body);
    if (reader.U32() != id) continue;
    Kiv::DynamicBuffer data;
    data.Write(note.body.data() + 4, uint32_t(note.body.size() - 4));
    data.SetPosition(0);
    TBuffer stream(&data);
    EXPECT_TRUE(log.ReadMessages(stream));
  }
  return log.Messages();
}

inline bool HasMessage(const std::vector<ResultMessage>& messages, uint32_t severity,
                       std::string_view part) {
  for (const ResultMessage& message : messages) {
    if (message.severity == severity && message.text.find(part) != std::string::npos) return true;
  }
  return false;
}

// The binary form of `soup` (the empty soup for a null handle).
inline Bytes SoupBytes(const Soup& soup) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  EXPECT_TRUE(BinarySoup::Write(stream, soup));
  return Bytes(data.Data(), data.Data() + data.DataLength());
}

// The asset folders below UserData/local ('.vadtmp-' staging folders too).
inline std::vector<std::string> LocalFolders(const std::string& userData) {
  std::vector<std::string> out;
  std::error_code ignored;
  for (const auto& item : fs::directory_iterator(fs::path(userData) / "local", ignored)) {
    out.push_back(item.path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace installtest
