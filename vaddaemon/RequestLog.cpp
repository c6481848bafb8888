#include "vaddaemon/RequestLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "assetdb/protocol/VADFilterElement.h"
#include "assetdb/protocol/VADFilterElementGroup.h"
#include "assetdb/protocol/VADFilterElementString.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/base/LogMessage.h"
#include "foundation/diag/OwnLogFile.h"
#include "foundation/stream/TBuffer.h"
#include "foundation/stream/TStreamTyped.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/PString.h"
#include "kiv/String.h"

namespace RequestLog {

namespace {

constexpr uint32_t kWebStart = VADRequestCode::kStartWebRequest;
constexpr uint32_t kInstallArchive = VADRequestCode::kInstallArchive;
constexpr uint32_t kNeededItems = VADRequestCode::kNeededItems;
constexpr uint32_t kSearch = VADRequestCode::kSearchAssets;

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

// A filter as a line of text: a group as "all(...)" or "any(...)", with
// "not " in front when negated, its children separated by ", "; a flag by
// its name; a text test as "name=value" ("name==value" when exact).
std::string FilterText(const VADFilterElement& element) {
  if (element.GetTypeCode() == kFilterTypeGroup) {
    const auto& group = static_cast<const VADFilterElementGroup&>(element);
    std::string text = group.GetNegate() ? "not " : "";
    text += group.GetMatchAll() ? "all(" : "any(";
    for (uint32_t i = 0; i < group.CountChildren(); ++i)
      text += (i == 0 ? "" : ", ") + FilterText(*group.GetChild(i));
    return text + ")";
  }
  std::string text(element.GetFieldName().View());
  if (element.GetTypeCode() == kFilterTypeString) {
    const auto& test = static_cast<const VADFilterElementString&>(element);
    text += (test.IsExact() ? "==" : "=") + Printable(test.GetValue().View());
  } else if (element.GetTypeCode() != kFilterTypeBool) {
    text += "=" + Printable(element.GetValueText().View());
  }
  return text;
}

std::string Details(uint32_t code, const std::vector<uint8_t>& body) {
  Kiv::DynamicBuffer data;
  TBuffer stream(&data);
  stream.Write(body.data(), uint32_t(body.size()));
  stream.Seek(0, SEEK_SET);
  std::string details;
  if (code == kWebStart) {
    uint8_t first = 0;
    Kiv::PString url;
    uint32_t mode = 0;
    if (TStreamReadBytes(stream, &first, 1) != 1) return std::string();
    stream.ReadPString(url);
    TStreamReadU32(stream, mode, 0);
    details = " mode " + std::to_string(mode) + " " + Printable(url.View());
  } else if (code == kInstallArchive) {
    Kiv::String path;
    uint32_t mode = 0;
    stream.ReadString(path);
    TStreamReadU32(stream, mode, 0);
    details = " mode " + std::to_string(mode) + " " + Printable(path);
  } else if (code == kSearch) {
    const std::unique_ptr<VADFilterElement> filter = ReadFilterElement(stream);
    details = filter != nullptr ? " " + FilterText(*filter) : " (none)";
  } else if (code == kNeededItems) {
    uint32_t count = 0;
    TStreamReadU32(stream, count, 0);
    details = " items " + std::to_string(count);
  }
  return stream.GetError() == TStream::kErrorNone ? details : std::string();
}

// The file's descriptor, -1 when the record is off.
int LogFile() {
  static const int fd = []() {
    const char* path = std::getenv("VADDAEMON_REQUEST_LOG");
    if (path == nullptr || *path == '\0') return -1;
    const int opened = OpenOwnLogFile(path, 0600);
    if (opened < 0)
      LogMessage("vaddaemon> the request log \"%s\" cannot be opened; not recording requests",
                 path);
    return opened;
  }();
  return fd;
}

}  // namespace

std::string LineFor(uint32_t code, const std::vector<uint8_t>& body) {
  char head[16];
  std::snprintf(head, sizeof(head), "0x%X", code);
  return head + Details(code, body);
}

void Record(uint32_t code, const std::vector<uint8_t>& body) {
  const int fd = LogFile();
  if (fd < 0) return;
  const std::string line = LineFor(code, body) + "\n";
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  if (::write(fd, line.data(), line.size()) < 0) return;
}

}  // namespace RequestLog
